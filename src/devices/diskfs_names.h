// The drive's names: Primo names turned into host names, the patterns they
// may hold, and the checks that keep every name inside the drive folder.
#pragma once
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace diskfs_names {

constexpr size_t MAX_NAME = 260;

enum file_type { TYPE_NONE, TYPE_PRI, TYPE_SEQ, TYPE_PRG };
constexpr char extension_of[4][5] = {"", ".PRI", ".SEQ", ".PRG"};

// A Primo name after conversion: the name itself and its suffixes.
struct primo_name {
    std::string name;
    char mode = 0;   // 'a', 'r', 'w' or 0
    file_type type = TYPE_NONE;
    bool wildcards = false;
};

// The upper-case letter of an ASCII letter, any other byte as it is.
uint8_t upper(uint8_t c);
// Equal but for letter case.
bool iequals(std::string_view a, std::string_view b);
// The host name ends in the type's extension, in any case.
bool has_extension(const std::string& host_name, file_type type);
// The bytes of a name or folder as the drive takes them: at most 260,
// bytes from 0x80 on reduced by 0x40.
std::string primo_text(const uint8_t* text, size_t length);
// The name after any "drive:" and its ",mode" and ",type" suffixes.
primo_name convert_filename(const uint8_t* text, size_t length);
// A name that stays a plain name inside the folder.
bool safe_name(const std::string& name);
// "*" matches the rest, "?" any one character, others the upper-case
// character; a pattern that ends matches only a name that ends there.
bool pattern_matches(const std::string& pattern, const std::string& name);
// The host name without its four-character extension.
std::string base_name(const std::string& host_name);
// Whether path, symbolic links followed, lies inside folder.
bool resolves_inside(const std::filesystem::path& path, const std::filesystem::path& folder,
                     bool folder_itself_too = false);

}  // namespace diskfs_names
