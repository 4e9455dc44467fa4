#include "support/screen_text.h"

#include <array>
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

struct font_index {
    std::map<glyph_key, char> normal;
    std::map<glyph_key, char> inverted;
};

std::map<std::string, font_index> fonts;

const font_index& font_for(const std::string& image)
{
    auto found = fonts.find(image);
    if (found != fonts.end()) return found->second;
    font_index& index = fonts[image];
    const long address = firmware_label(image, "font");
    std::ifstream bin(firmware_build_path(image + ".bin"), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(bin)), std::istreambuf_iterator<char>());
    if (address < 0 || bytes.size() < static_cast<size_t>(address) + 96 * 8) return index;
    for (int code = 0x20; code < 0x80; ++code) {
        glyph_key key = 0, inv = 0;
        for (int row = 0; row < 8; ++row) {
            const auto b = static_cast<uint8_t>(bytes[address + (code - 0x20) * 8 + row]);
            key = key << 8 | b;
            inv = inv << 8 | static_cast<uint8_t>(~b);
        }
        index.normal.emplace(key, static_cast<char>(code));
        index.inverted.emplace(inv, static_cast<char>(code));
    }
    return index;
}

struct text_area {
    const uint8_t* base;
    int rows;
};

text_area current_area()
{
    if (machine_model != MODEL_C64) return {screenptr(), 24};
    const uint8_t mode = *(screenptr() - 0x500);   // the colour block's mode byte
    if (mode == 2) return {screenptr(), 27};
    return {screenptr() + 0x200, 25};
}

glyph_key cell_key(const uint8_t* cell)
{
    glyph_key key = 0;
    for (int row = 0; row < 8; ++row) key = key << 8 | cell[row * 32];
    return key;
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
    const font_index& font = font_for(screen_text_image_for_model(machine_model));
    const text_area area = current_area();
    for (int row = 0; row < area.rows; ++row) {
        std::string line;
        for (int col = 0; col < 32; ++col) {
            const glyph_key key = cell_key(area.base + row * 256 + col);
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
    const font_index& font = font_for(screen_text_image_for_model(machine_model));
    const text_area area = current_area();
    for (int row = 0; row < area.rows; ++row)
        for (int col = 0; col < 32; ++col) {
            const glyph_key key = cell_key(area.base + row * 256 + col);
            if (!font.normal.count(key) && font.inverted.count(key)) return row;
        }
    return -1;
}
