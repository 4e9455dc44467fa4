// The character set is looked for in the ROM image the model runs, by its
// shape: 96 glyphs of one height (codes 0x20-0x7F), the first blank, nearly
// all others distinct and not blank, and a column of every glyph unused
// (the space between characters). That finds our fonts and, in an original
// ROM, a character set stored the same way. Each cell's pixels are then
// looked up among the glyphs, drawn plain or inverted.
#include "devices/screen_text.h"

#include <array>
#include <cstring>
#include <optional>
#include <unordered_map>

#include "core/machine.h"
#include "core/memory.h"
#include "devices/typing_text.h"

namespace {

constexpr int FIRST_CODE = 0x20;
constexpr int GLYPHS = 96;
constexpr int LINE_BYTES = 32;
constexpr int MAX_ODD_GLYPHS = 4;   // glyphs that may use the spare column (a block, an underline)
constexpr int MIN_DISTINCT = 88;
constexpr char32_t NO_GLYPH = U'\uFFFD';

// Where the text stands on the display page and how its cells are cut.
struct text_layout {
    const uint8_t* base;   // top line of row 0
    int rows, columns;
    int cell_width;        // pixels
    int cell_height;       // lines
    int row_bytes;         // from one text row to the next
};

struct charset {
    size_t offset;      // of the glyph of 0x20 in the ROM
    int height;         // bytes a glyph
    int shift;          // right shift of a glyph row to the cell's width
};

text_layout layout_of_running_firmware()
{
    const int rows_8x8 = 24;
    if (machine_model == MODEL_C64) {
        const uint8_t mode = *(screenptr - 0x500);   // the colour block's mode byte
        if (mode == 2) return {screenptr, 27, 32, 8, 8, 256};
        return {screenptr + 0x200, 25, 32, 8, 8, 256};
    }
    return {screenptr, rows_8x8, 32, 8, 8, 256};
}

struct rom_image {
    const uint8_t* bytes;
    size_t size;
};

rom_image running_rom()
{
    return {source_rom_pointer(), machine_model == MODEL_CPM ? size_t{0x1000} : size_t{0x4000}};
}

const uint8_t* glyph_at(const rom_image& rom, size_t offset, int height, int code)
{
    return rom.bytes + offset + static_cast<size_t>((code - FIRST_CODE) * height);
}

uint64_t glyph_key(const uint8_t* rows, int height, int shift, int cell_height, int width, bool inverted)
{
    const uint64_t mask = (uint64_t{1} << width) - 1;
    uint64_t key = 0;
    for (int r = 0; r < cell_height; ++r) {
        uint64_t bits = r < height ? static_cast<uint64_t>(rows[r] >> shift) & mask : 0;
        if (inverted) bits = ~bits & mask;
        key = key << width | bits;
    }
    return key;
}

// Does a character set of this height start (at code 0x20) at offset?
// Returns the shift of its rows for cells of the width.
std::optional<int> charset_at(const rom_image& rom, size_t offset, int height, int width)
{
    const uint8_t* space = glyph_at(rom, offset, height, FIRST_CODE);
    for (int r = 0; r < height; ++r)
        if (space[r]) return std::nullopt;
    // The unused column: the low bits (rows kept at the left) or the high ones.
    const uint8_t spare_low = width < 8 ? static_cast<uint8_t>((1 << (8 - width)) - 1) : 0x01;
    const uint8_t spare_high = width < 8 ? static_cast<uint8_t>(0xFF << width) : 0x80;
    int odd_low = 0, odd_high = 0, blank = 0;
    std::unordered_map<uint64_t, int> shapes;
    for (int code = FIRST_CODE + 1; code < FIRST_CODE + GLYPHS; ++code) {
        const uint8_t* g = glyph_at(rom, offset, height, code);
        uint8_t used = 0;
        uint64_t shape = 0;
        for (int r = 0; r < height; ++r) {
            used |= g[r];
            shape = shape << 8 | g[r];
        }
        odd_low += (used & spare_low) != 0;
        odd_high += (used & spare_high) != 0;
        blank += used == 0;
        ++shapes[shape];
        if (odd_low > MAX_ODD_GLYPHS && odd_high > MAX_ODD_GLYPHS) return std::nullopt;
    }
    if (blank > MAX_ODD_GLYPHS || static_cast<int>(shapes.size()) < MIN_DISTINCT) return std::nullopt;
    if (width == 8) return 0;
    return odd_low <= MAX_ODD_GLYPHS ? 8 - width : 0;
}

std::optional<charset> find_charset(const rom_image& rom, const text_layout& layout)
{
    const int other = layout.cell_height == 8 ? 7 : 8;
    for (const int height : {layout.cell_height, other}) {
        const size_t length = static_cast<size_t>(GLYPHS * height);
        for (size_t offset = 0; offset + length <= rom.size; ++offset)
            if (const auto shift = charset_at(rom, offset, height, layout.cell_width))
                return charset{offset, height, *shift};
    }
    return std::nullopt;
}

// The glyphs of the last character set found, as cell keys; kept while the
// ROM and the cell shape stay the same.
struct glyph_index {
    const uint8_t* rom = nullptr;
    uint64_t rom_hash = 0;
    int width = 0, height = 0;
    bool found = false;
    std::unordered_map<uint64_t, int> normal, inverted;
};
glyph_index index;

uint64_t hash_of(const rom_image& rom)
{
    uint64_t h = 1469598103934665603ull;
    for (size_t i = 0; i < rom.size; ++i) h = (h ^ rom.bytes[i]) * 1099511628211ull;
    return h;
}

const glyph_index& glyphs_for(const text_layout& layout)
{
    const rom_image rom = running_rom();
    const uint64_t hash = hash_of(rom);
    if (index.rom == rom.bytes && index.rom_hash == hash && index.width == layout.cell_width &&
        index.height == layout.cell_height)
        return index;
    index = glyph_index{};
    index.rom = rom.bytes;
    index.rom_hash = hash;
    index.width = layout.cell_width;
    index.height = layout.cell_height;
    const std::optional<charset> set = find_charset(rom, layout);
    if (!set) return index;
    index.found = true;
    // The blank cell is a space, drawn inverted the cursor on a space.
    for (int code = FIRST_CODE + GLYPHS - 1; code >= FIRST_CODE; --code) {
        const uint8_t* g = glyph_at(rom, set->offset, set->height, code);
        index.normal[glyph_key(g, set->height, set->shift, layout.cell_height, layout.cell_width, false)] = code;
        index.inverted[glyph_key(g, set->height, set->shift, layout.cell_height, layout.cell_width, true)] = code;
    }
    return index;
}

uint64_t cell_key(const text_layout& layout, int row, int column)
{
    const int x = column * layout.cell_width;
    const uint64_t mask = (uint64_t{1} << layout.cell_width) - 1;
    uint64_t key = 0;
    for (int line = 0; line < layout.cell_height; ++line) {
        const uint8_t* bytes = layout.base + row * layout.row_bytes + line * LINE_BYTES;
        const int at = x / 8;
        const unsigned pair = static_cast<unsigned>(bytes[at]) << 8 | (at + 1 < LINE_BYTES ? bytes[at + 1] : 0);
        key = key << layout.cell_width | ((pair >> (16 - x % 8 - layout.cell_width)) & mask);
    }
    return key;
}

// The B font draws these codes as the Hungarian letters of the B keyboard.
struct letter { uint8_t code; char32_t shown; };
constexpr letter b_letters[] = {
    {0x40, U'É'}, {0x5B, U'ó'}, {0x5C, U'Ö'}, {0x5D, U'Á'}, {0x5E, U'Ü'}, {0x5F, U'ú'},
    {0x60, U'é'}, {0x7B, U'ő'}, {0x7C, U'ö'}, {0x7D, U'á'}, {0x7E, U'ü'}, {0x7F, U'ű'},
};

char32_t shown_as(int code)
{
    if (code < 0) return NO_GLYPH;
    if (machine_model >= MODEL_B32 && machine_model <= MODEL_B64)
        for (const letter& l : b_letters)
            if (l.code == code) return l.shown;
    if (code == 0x7F) return U'█';
    return static_cast<char32_t>(code);
}

}  // namespace

std::vector<std::vector<screen_cell>> screen_text_cells()
{
    std::vector<std::vector<screen_cell>> rows;
    if (!screenptr) return rows;
    const text_layout layout = layout_of_running_firmware();
    const glyph_index& glyphs = glyphs_for(layout);
    const uint64_t blank = 0;
    // A solid cell is the cursor on a space, even where a glyph is solid too.
    const int bits = layout.cell_width * layout.cell_height;
    const uint64_t solid = bits >= 64 ? ~uint64_t{0} : (uint64_t{1} << bits) - 1;
    for (int r = 0; r < layout.rows; ++r) {
        std::vector<screen_cell>& row = rows.emplace_back();
        for (int c = 0; c < layout.columns; ++c) {
            const uint64_t key = cell_key(layout, r, c);
            if (key == solid) {
                row.push_back({FIRST_CODE, true});
            } else if (const auto n = glyphs.normal.find(key); n != glyphs.normal.end()) {
                row.push_back({n->second, false});
            } else if (const auto i = glyphs.inverted.find(key); i != glyphs.inverted.end()) {
                row.push_back({i->second, true});
            } else {
                row.push_back({key == blank ? FIRST_CODE : -1, false});
            }
        }
    }
    return rows;
}

std::vector<std::string> screen_text_utf8()
{
    std::vector<std::string> lines;
    for (const auto& row : screen_text_cells()) {
        std::string line;
        for (const screen_cell& cell : row) append_utf8(line, shown_as(cell.code));
        line.erase(line.find_last_not_of(' ') + 1);
        lines.push_back(std::move(line));
    }
    return lines;
}
