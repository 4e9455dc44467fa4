// The drive's names: conversion, patterns and the folder checks.
#include "devices/diskfs_names.h"

#include <algorithm>
#include <cstring>

namespace diskfs_names {

namespace fs = std::filesystem;

uint8_t upper(uint8_t c) { return c >= 'a' && c <= 'z' ? static_cast<uint8_t>(c - 0x20) : c; }

bool iequals(std::string_view a, std::string_view b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return upper(static_cast<uint8_t>(x)) == upper(static_cast<uint8_t>(y));
           });
}

bool has_extension(const std::string& host_name, file_type type)
{
    return host_name.size() > 4 && iequals(std::string_view(host_name).substr(host_name.size() - 4), extension_of[type]);
}

// The bytes of a name or folder as the drive takes them: at most 260,
// bytes from 0x80 on reduced by 0x40.
std::string primo_text(const uint8_t* text, size_t length)
{
    std::string out;
    for (size_t i = 0; i < length && i < MAX_NAME; ++i)
        out += static_cast<char>(text[i] >= 0x80 ? text[i] - 0x40 : text[i]);
    return out;
}

primo_name convert_filename(const uint8_t* text, size_t length)
{
    const auto colon = static_cast<const uint8_t*>(std::memchr(text, ':', length));
    if (colon) {
        length -= static_cast<size_t>(colon + 1 - text);
        text = colon + 1;
    }
    const std::string all = primo_text(text, length);
    primo_name n;
    const size_t comma = all.find(',');
    n.name = all.substr(0, comma);
    for (size_t at = comma; at != std::string::npos && at + 1 < all.size(); at = all.find(',', at + 1)) {
        switch (upper(static_cast<uint8_t>(all[at + 1]))) {
        case 'A': n.mode = 'a'; break;
        case 'R': n.mode = 'r'; break;
        case 'W': n.mode = 'w'; break;
        case 'P': n.type = TYPE_PRI; break;
        case 'S': n.type = TYPE_SEQ; break;
        default: break;
        }
    }
    n.wildcards = n.name.find_first_of("?*") != std::string::npos;
    return n;
}

// A name that stays a plain name inside the folder.
bool safe_name(const std::string& name)
{
    return !name.empty() && name.find_first_of(std::string_view("/\\\0", 3)) == std::string::npos &&
           name.find("..") == std::string::npos;
}

// "*" matches the rest, "?" any one character, others the upper-case
// character; a pattern that ends matches only a name that ends there.
bool pattern_matches(const std::string& pattern, const std::string& name)
{
    size_t i = 0;
    for (; i < pattern.size(); ++i) {
        const auto p = static_cast<uint8_t>(pattern[i]);
        if (p == '*') return true;
        if (i >= name.size()) return false;
        if (p != '?' && upper(p) != upper(static_cast<uint8_t>(name[i]))) return false;
    }
    return i == name.size();
}

std::string base_name(const std::string& host_name) { return host_name.substr(0, host_name.size() - 4); }

// Whether path, symbolic links followed, lies inside folder.
bool resolves_inside(const fs::path& path, const fs::path& folder, bool folder_itself_too)
{
    std::error_code ec;
    const fs::path root = fs::canonical(folder, ec);
    if (ec) return false;
    const fs::path target = fs::weakly_canonical(path, ec);
    if (ec) return false;
    const auto [r, t] = std::mismatch(root.begin(), root.end(), target.begin(), target.end());
    return r == root.end() && (t != target.end() || folder_itself_too);
}

}  // namespace diskfs_names
