#include "support/screen_text.h"

#include <sstream>

#include "devices/screen_text.h"

std::vector<std::string> screen_text_lines()
{
    std::vector<std::string> lines;
    for (const auto& row : screen_text_cells()) {
        std::string line;
        for (const screen_cell& cell : row) line += cell.code < 0 ? '\x01' : static_cast<char>(cell.code);
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
    const auto rows = screen_text_cells();
    for (size_t r = 0; r < rows.size(); ++r)
        for (const screen_cell& cell : rows[r])
            if (cell.inverted) return static_cast<int>(r);
    return -1;
}
