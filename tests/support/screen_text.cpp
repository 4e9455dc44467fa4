#include "support/screen_text.h"

#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "core/machine.h"
#include "core/memory.h"
#include "support/firmware_driver.h"
#include "support/paths.h"

namespace {

using glyph_key = uint64_t;

// How a firmware lays out its text: the Primo firmware in cells of 6 x 7
// pixels, 42 a row; the CP/M boot ROM and BIOS in cells of 8 x 8, 32 a row.
struct geometry {
    int cell_width;
    int cell_lines;
    int columns;
};
constexpr geometry primo_text{6, 7, 42};
constexpr geometry cpm_text{8, 8, 32};

const geometry& geometry_of_model(int model) { return model == MODEL_CPM ? cpm_text : primo_text; }

struct font_index {
    std::map<glyph_key, char> normal;
    std::map<glyph_key, char> inverted;
};

std::map<std::string, font_index> fonts;

// A cell's pixels, line by line, as one number; each line holds the top
// cell_width bits of its byte.
glyph_key rows_key(const uint8_t* rows, const geometry& g, bool invert)
{
    glyph_key key = 0;
    for (int line = 0; line < g.cell_lines; ++line) {
        const uint8_t bits = static_cast<uint8_t>(invert ? ~rows[line] : rows[line]) >> (8 - g.cell_width);
        key = key << g.cell_width | bits;
    }
    return key;
}

std::string image_bytes(const std::string& image)
{
    std::ifstream bin(firmware_build_path(image + ".bin"), std::ios::binary);
    return {std::istreambuf_iterator<char>(bin), std::istreambuf_iterator<char>()};
}

// The Primo font holds codes 0x00-0x7F and, at font_uu, 0xF1; the CP/M
// font codes 0x20-0x7F.
const font_index& font_for(const std::string& image, const geometry& g)
{
    auto found = fonts.find(image);
    if (found != fonts.end()) return found->second;
    font_index& index = fonts[image];
    const std::string bytes = image_bytes(image);
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    const long font = firmware_label(image, "font");
    const long extra = firmware_label(image, "font_uu");
    const int first = extra < 0 ? 0x20 : 0x00;
    if (font < 0 || bytes.size() < static_cast<size_t>(font) + (0x80 - first) * g.cell_lines) return index;
    auto add = [&](int code, const uint8_t* rows) {
        const glyph_key key = rows_key(rows, g, false);
        if (index.inverted.count(key)) return;   // the full block: the cursor on a space
        index.normal.emplace(key, static_cast<char>(code));
        index.inverted.emplace(rows_key(rows, g, true), static_cast<char>(code));
    };
    // Printable codes first, so that a glyph shared with a symbol reads as
    // the printable one.
    for (int code = 0x20; code < 0x80; ++code) add(code, data + font + (code - first) * g.cell_lines);
    for (int code = first; code < 0x20; ++code) add(code, data + font + code * g.cell_lines);
    if (extra >= 0 && bytes.size() >= static_cast<size_t>(extra) + g.cell_lines) add(0xF1, data + extra);
    return index;
}

struct text_area {
    const uint8_t* base;
    int rows;
};

text_area current_area()
{
    if (machine_model == MODEL_CPM) return {screenptr(), 24};
    if (machine_model != MODEL_C64) return {screenptr(), 27};
    const uint8_t mode = *(screenptr() - 0x500);   // the colour block's mode byte
    if (mode == 2) return {screenptr(), 30};
    return {screenptr() + 0x200, 28};
}

glyph_key cell_key(const text_area& area, const geometry& g, int row, int col)
{
    const int x = col * g.cell_width;
    const uint8_t* top = area.base + row * g.cell_lines * 32 + x / 8;
    uint8_t rows[8];
    for (int line = 0; line < g.cell_lines; ++line) {
        const uint8_t* p = top + line * 32;
        const unsigned pair = static_cast<unsigned>(p[0]) << 8 | (x / 8 < 31 ? p[1] : 0);
        rows[line] = static_cast<uint8_t>(pair >> (8 - x % 8));
    }
    return rows_key(rows, g, false);
}

}  // namespace

std::string screen_text_image_for_model(int model)
{
    if (model == MODEL_C64) return "rom_c64";
    if (model == MODEL_CPM) return "pr_2732";
    if (model >= MODEL_B32 && model <= MODEL_B64) return "rom_b64";
    return "rom_a64";
}

std::vector<std::string> screen_text_lines()
{
    std::vector<std::string> lines;
    if (!screenptr()) return lines;
    const geometry& g = geometry_of_model(machine_model);
    const font_index& font = font_for(screen_text_image_for_model(machine_model), g);
    const text_area area = current_area();
    for (int row = 0; row < area.rows; ++row) {
        std::string line;
        for (int col = 0; col < g.columns; ++col) {
            const glyph_key key = cell_key(area, g, row, col);
            auto n = font.normal.find(key);
            if (n != font.normal.end()) {
                line += n->second;
                continue;
            }
            auto i = font.inverted.find(key);
            line += i != font.inverted.end() ? i->second : '\x01';
        }
        line.erase(line.find_last_not_of(' ') + 1);
        lines.push_back(line);
    }
    return lines;
}

std::string screen_text_dump()
{
    std::ostringstream out;
    for (const auto& line : screen_text_lines()) out << '|' << line << "|\n";
    return out.str();
}

bool screen_shows(const std::string& text)
{
    for (const auto& line : screen_text_lines())
        if (line.find(text) != std::string::npos) return true;
    return false;
}

int screen_cursor_row()
{
    if (!screenptr()) return -1;
    const geometry& g = geometry_of_model(machine_model);
    const font_index& font = font_for(screen_text_image_for_model(machine_model), g);
    const text_area area = current_area();
    for (int row = 0; row < area.rows; ++row)
        for (int col = 0; col < g.columns; ++col) {
            const glyph_key key = cell_key(area, g, row, col);
            if (!font.normal.count(key) && font.inverted.count(key)) return row;
        }
    return -1;
}
