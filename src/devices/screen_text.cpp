// The character set is looked for in the ROM image the model runs, by its
// shape: 96 glyphs of one height (codes 0x20-0x7F), the first blank, nearly
// all others distinct and not blank, and a column of every glyph unused
// (the space between characters); of the places that fit, the one with the
// fewest blank glyphs. That finds our fonts and, in an original ROM, a
// character set stored the same way. Our firmware's own font also holds
// symbols at 0x00-0x1F, just before, and the letter Ű (0xF1), just after.
// Each cell's pixels are then looked up among the glyphs, drawn plain or
// inverted.
#include "devices/screen_text.h"

#include <algorithm>
#include <optional>
#include <unordered_map>

#include "core/machine.h"
#include "core/memory.h"
#include "devices/typing_text.h"

namespace {

constexpr int FIRST_CODE = 0x20;
constexpr int GLYPHS = 96;
constexpr int LINE_BYTES = 32;
constexpr int SCREEN_PIXELS = 256;
constexpr int MAX_ODD_GLYPHS = 4;   // glyphs that may use the spare column (a block, an underline)
constexpr int MIN_DISTINCT = 88;
constexpr int UU_CODE = 0xF1;
constexpr char32_t NO_GLYPH = U'\uFFFD';

struct cell_shape {
    int width;    // pixels
    int height;   // lines
};
// Our firmware's cells, and those of the CP/M console (and of a ROM that
// draws 32 columns).
constexpr cell_shape PRIMO_CELL{6, 7};
constexpr cell_shape WIDE_CELL{8, 8};

// Where the text stands on the display page and how its cells are cut.
struct text_layout {
    const uint8_t* base;   // top line of row 0
    int lines;             // of the text area
    cell_shape cell;
    int rows() const { return lines / cell.height; }
    int columns() const { return SCREEN_PIXELS / cell.width; }
};

struct charset {
    size_t offset;      // of the glyph of 0x20 in the ROM
    int height;         // bytes a glyph
    int shift;          // right shift of a glyph row to the cell's width
    int blank;          // glyphs after the space that are blank
    int distinct;       // glyph shapes
};

struct rom_image {
    const uint8_t* bytes;
    size_t size;
};

rom_image running_rom()
{
    return {source_rom_pointer(), machine_model == MODEL_CPM ? size_t{0x1000} : size_t{0x4000}};
}

// The lines of the page that hold text: the C64's colour mode 0 shows 200
// lines from 16 lines down, mode 2 all 216.
text_layout text_area(cell_shape cell)
{
    uint8_t* page = screenptr();
    if (machine_model == MODEL_C64) {
        if (page[-0x500] == 2) return {page, 216, cell};   // the colour block's mode byte
        return {page + 16 * LINE_BYTES, 200, cell};
    }
    return {page, 192, cell};
}

const uint8_t* glyph_at(const rom_image& rom, size_t offset, int height, int code)
{
    return rom.bytes + offset + static_cast<ptrdiff_t>((code - FIRST_CODE) * height);
}

uint64_t glyph_key(const uint8_t* rows, int height, int shift, cell_shape cell, bool inverted)
{
    const uint64_t mask = (uint64_t{1} << cell.width) - 1;
    uint64_t key = 0;
    for (int r = 0; r < cell.height; ++r) {
        uint64_t bits = r < height ? static_cast<uint64_t>(rows[r] >> shift) & mask : 0;
        if (inverted) bits = ~bits & mask;
        key = key << cell.width | bits;
    }
    return key;
}

// Does a character set of this height start (at code 0x20) at offset?
std::optional<charset> charset_at(const rom_image& rom, size_t offset, int height, int width)
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
        if ((odd_low > MAX_ODD_GLYPHS && odd_high > MAX_ODD_GLYPHS) || blank > MAX_ODD_GLYPHS) return std::nullopt;
    }
    if (static_cast<int>(shapes.size()) < MIN_DISTINCT) return std::nullopt;
    const int shift = width == 8 || odd_low > MAX_ODD_GLYPHS ? 0 : 8 - width;
    return charset{offset, height, shift, blank, static_cast<int>(shapes.size())};
}

// Glyphs a few lines high that leave lines blank fit a row or two off their
// place too, so the places that fit are all kept, the likeliest first, and
// the screen decides among them.
constexpr size_t MAX_CANDIDATES = 8;

std::vector<charset> find_charsets(const rom_image& rom, cell_shape cell)
{
    std::vector<charset> found;
    const size_t length = static_cast<size_t>(GLYPHS * cell.height);
    for (size_t offset = 0; offset + length <= rom.size; ++offset)
        if (const auto set = charset_at(rom, offset, cell.height, cell.width)) found.push_back(*set);
    std::stable_sort(found.begin(), found.end(), [](const charset& a, const charset& b) {
        return a.blank != b.blank ? a.blank < b.blank : a.distinct > b.distinct;
    });
    if (found.size() > MAX_CANDIDATES) found.resize(MAX_CANDIDATES);
    return found;
}

// One place a character set may stand, its glyphs as cell keys.
struct glyph_index {
    cell_shape cell;
    std::unordered_map<uint64_t, int> normal, inverted;
};

// The places found in the last ROM; kept while the ROM stays the same.
struct glyph_cache {
    const uint8_t* rom = nullptr;
    uint64_t rom_hash = 0;
    bool builtin = false;
    int model = -1;
    std::vector<glyph_index> places;   // none: no character set found
} cache;

uint64_t hash_of(const rom_image& rom)
{
    uint64_t h = 1469598103934665603ull;
    for (size_t i = 0; i < rom.size; ++i) h = (h ^ rom.bytes[i]) * 1099511628211ull;
    return h;
}

// The codes of a character set in the order they claim a shape: the
// printable ones first, so that a symbol drawn like one reads as it.
glyph_index index_charset(const rom_image& rom, const charset& set, cell_shape cell, bool with_our_extras)
{
    glyph_index index{cell, {}, {}};
    auto add = [&](int code, const uint8_t* g) {
        index.normal.emplace(glyph_key(g, set.height, set.shift, cell, false), code);
        index.inverted.emplace(glyph_key(g, set.height, set.shift, cell, true), code);
    };
    for (int code = FIRST_CODE; code < FIRST_CODE + GLYPHS; ++code) add(code, glyph_at(rom, set.offset, set.height, code));
    if (!with_our_extras) return index;
    const size_t symbols = static_cast<size_t>(FIRST_CODE * set.height);
    const size_t after = set.offset + static_cast<size_t>(GLYPHS * set.height);
    if (after + static_cast<size_t>(set.height) <= rom.size) add(UU_CODE, rom.bytes + after);
    if (set.offset >= symbols)
        for (int code = 0; code < FIRST_CODE; ++code) add(code, rom.bytes + set.offset - symbols + code * set.height);
    return index;
}

const std::vector<glyph_index>& glyph_places()
{
    const rom_image rom = running_rom();
    const uint64_t hash = hash_of(rom);
    const bool builtin = machine_model == MODEL_CPM || memory_rom_is_builtin();
    if (cache.rom == rom.bytes && cache.rom_hash == hash && cache.builtin == builtin && cache.model == machine_model)
        return cache.places;
    cache = glyph_cache{rom.bytes, hash, builtin, machine_model, {}};
    // Ours draw in known cells; an original ROM in the cells its glyphs fit.
    const cell_shape ours = machine_model == MODEL_CPM ? WIDE_CELL : PRIMO_CELL;
    for (const cell_shape cell : {ours, builtin ? ours : WIDE_CELL}) {
        for (const charset& set : find_charsets(rom, cell))
            cache.places.push_back(index_charset(rom, set, cell, builtin && machine_model != MODEL_CPM));
        if (!cache.places.empty()) break;
    }
    return cache.places;
}

uint64_t cell_key(const text_layout& layout, int row, int column)
{
    const cell_shape cell = layout.cell;
    const int x = column * cell.width;
    const uint64_t mask = (uint64_t{1} << cell.width) - 1;
    uint64_t key = 0;
    for (int line = 0; line < cell.height; ++line) {
        const uint8_t* bytes = layout.base + (row * cell.height + line) * LINE_BYTES;
        const int at = x / 8;
        const unsigned pair = static_cast<unsigned>(bytes[at]) << 8 | (at + 1 < LINE_BYTES ? bytes[at + 1] : 0);
        key = key << cell.width | ((pair >> (16 - x % 8 - cell.width)) & mask);
    }
    return key;
}

// How the Primo's fonts draw the codes that are not ASCII: the Hungarian
// letters, and the symbols of ours.
struct shown { uint8_t code; char32_t as; };
constexpr shown primo_shown[] = {
    {0x40, U'É'}, {0x5B, U'ó'}, {0x5C, U'Ö'}, {0x5D, U'Á'}, {0x5E, U'Ü'}, {0x5F, U'ú'},
    {0x60, U'é'}, {0x7B, U'ő'}, {0x7C, U'ö'}, {0x7D, U'á'}, {0x7E, U'ü'}, {0x7F, U'ű'},
    {UU_CODE, U'Ű'}, {0x1E, U'í'},
    {0x00, U'·'}, {0x03, U'×'}, {0x05, U'÷'}, {0x07, U'°'}, {0x08, U'←'}, {0x09, U'±'},
    {0x0B, U'¬'}, {0x0E, U'┌'}, {0x0F, U'┐'}, {0x10, U'└'}, {0x11, U'┘'}, {0x12, U'─'},
    {0x13, U'│'}, {0x14, U'┼'}, {0x15, U'├'}, {0x16, U'┤'}, {0x17, U'┬'}, {0x18, U'┴'},
    {0x19, U'█'}, {0x1A, U'▒'}, {0x1B, U'£'}, {0x1C, U'↑'}, {0x1D, U'→'}, {0x1F, U'↓'},
};

char32_t shown_as(int code)
{
    if (code < 0) return NO_GLYPH;
    if (machine_model == MODEL_CPM) return code == 0x7F ? U'█' : static_cast<char32_t>(code);
    for (const shown& s : primo_shown)
        if (s.code == code) return s.as;
    return code < FIRST_CODE ? NO_GLYPH : static_cast<char32_t>(code);
}

}  // namespace

namespace {

// A solid cell is the cursor on a space, even where a glyph is solid too.
uint64_t solid_key(cell_shape cell)
{
    const int bits = cell.width * cell.height;
    return bits >= 64 ? ~uint64_t{0} : (uint64_t{1} << bits) - 1;
}

screen_cell read_cell(const glyph_index* found, const text_layout& layout, int row, int column)
{
    const uint64_t key = cell_key(layout, row, column);
    if (key == solid_key(layout.cell)) return {FIRST_CODE, true};
    if (found) {
        if (const auto n = found->normal.find(key); n != found->normal.end()) return {n->second, false};
        if (const auto i = found->inverted.find(key); i != found->inverted.end()) return {i->second, true};
    }
    return {key == 0 ? FIRST_CODE : -1, false};
}

// The place whose glyphs read the most of the screen's drawn cells; on a
// blank screen the likeliest.
const glyph_index* best_place()
{
    const std::vector<glyph_index>& places = glyph_places();
    const glyph_index* best = nullptr;
    int best_read = -1;
    for (const glyph_index& place : places) {
        const text_layout layout = text_area(place.cell);
        int read = 0;
        for (int r = 0; r < layout.rows(); ++r)
            for (int c = 0; c < layout.columns(); ++c)
                if (cell_key(layout, r, c) != 0 && read_cell(&place, layout, r, c).code >= 0) ++read;
        if (read > best_read) best = &place, best_read = read;
    }
    return best;
}

}  // namespace

std::vector<std::vector<screen_cell>> screen_text_cells()
{
    std::vector<std::vector<screen_cell>> rows;
    const glyph_index* found = best_place();
    const text_layout layout = text_area(found ? found->cell : machine_model == MODEL_CPM ? WIDE_CELL : PRIMO_CELL);
    for (int r = 0; r < layout.rows(); ++r) {
        std::vector<screen_cell>& row = rows.emplace_back();
        for (int c = 0; c < layout.columns(); ++c) row.push_back(read_cell(found, layout, r, c));
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
