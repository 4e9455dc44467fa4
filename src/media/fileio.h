// Small helpers shared by the modules that read and write binary files: C
// files closed by RAII, whole-file reading and writing, the reasons of
// failures in the words of the user interface, little-endian fields, and
// the header of a mono PCM WAV.
#pragma once
#include <cstdint>
#include <cstdio>
#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

struct file_closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using file_ptr = std::unique_ptr<std::FILE, file_closer>;

// The loaders' way out: the reason into *why (when asked for), false back.
inline bool refuse(std::string* why, const std::string& text)
{
    if (why) *why = text;
    return false;
}

inline uint16_t get_le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

inline uint32_t get_le32(const uint8_t* p)
{
    return get_le16(p) | static_cast<uint32_t>(get_le16(p + 2)) << 16;
}

// Why a file operation failed with the system's error number: our own
// text for the common reasons (missing, no permission, a folder, disk full,
// read-only file system, too large), the system's own text after it in
// parentheses.
std::string file_error_text(int error_number);

// A file written for the user as a whole: the bytes go to a hidden file
// beside it, and only commit() puts that in its place, flushed to the disk,
// so the file always holds either its old or its new contents. A link to a
// file is followed; a new file gets the mode the umask allows, a replaced
// one keeps its mode. Without commit() the temporary file is removed.
class whole_file {
public:
    explicit whole_file(const std::string& path);
    ~whole_file();
    whole_file(const whole_file&) = delete;
    whole_file& operator=(const whole_file&) = delete;
    // Both return false after the first failure, whose reason is error().
    bool write(const void* data, size_t size);
    bool commit();
    const std::string& error() const { return error_; }

private:
    bool fail();
    std::string target_, temp_, error_;
    int fd_ = -1;
    bool failed_ = false;
};

// The whole of path becomes the bytes, through whole_file. Returns true, or
// false with the old file untouched and the reason in why (when given).
bool write_whole_file(const std::string& path, const void* data, size_t size, std::string* why = nullptr);

// Why a file cannot be read, in the words of the user interface; empty when
// it is a regular file.
inline std::string file_unreadable_reason(const char* path)
{
    if (!path || !*path) return "nincs megadva állomány";
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (ec || !std::filesystem::exists(status)) return "nem található";
    if (std::filesystem::is_directory(status)) return "mappa, nem állomány";
    if (!std::filesystem::is_regular_file(status)) return "nem közönséges állomány";
    return {};
}

// Reads a whole regular file of at most `limit` bytes. Returns 1, or 0 with
// the reason in `error`.
inline int read_file(const char* path, size_t limit, std::vector<uint8_t>& out, std::string& error)
{
    out.clear();
    error = file_unreadable_reason(path);
    if (!error.empty()) return 0;
    file_ptr f(std::fopen(path, "rb"));
    if (!f) {
        error = "nem nyitható meg: " + file_error_text(errno);
        return 0;
    }
    uint8_t chunk[65536];
    size_t n = 0;
    while ((n = std::fread(chunk, 1, sizeof chunk, f.get())) > 0) {
        if (out.size() + n > limit) {
            error = "túl nagy (legfeljebb " + std::to_string(limit) + " bájt lehet)";
            out.clear();
            return 0;
        }
        out.insert(out.end(), chunk, chunk + n);
    }
    if (std::ferror(f.get())) {
        error = "nem olvasható: " + file_error_text(errno);
        out.clear();
        return 0;
    }
    return 1;
}

inline void put_le16(uint8_t* p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

inline void put_le32(uint8_t* p, uint32_t v)
{
    put_le16(p, static_cast<uint16_t>(v));
    put_le16(p + 2, static_cast<uint16_t>(v >> 16));
}

constexpr int WAV_HEADER_BYTES = 44;
// The most data a WAV file can hold: its RIFF size field is 32 bits.
constexpr uint64_t WAV_DATA_MAX = 0xFFFFFFFFull - 36;

// Fills the 44-byte header of a mono PCM file holding data_bytes of
// samples of the given width (8 or 16 bits).
inline void wav_header(uint8_t* out, uint32_t rate, int bits, uint32_t data_bytes)
{
    const uint16_t frame = static_cast<uint16_t>(bits / 8);
    std::copy_n("RIFF", 4, out);
    put_le32(out + 4, data_bytes + 36);
    std::copy_n("WAVE", 4, out + 8);
    std::copy_n("fmt ", 4, out + 12);
    put_le32(out + 16, 16);
    put_le16(out + 20, 1);              // PCM
    put_le16(out + 22, 1);              // mono
    put_le32(out + 24, rate);
    put_le32(out + 28, rate * frame);
    put_le16(out + 32, frame);
    put_le16(out + 34, static_cast<uint16_t>(bits));
    std::copy_n("data", 4, out + 36);
    put_le32(out + 40, data_bytes);
}

// "path: reason" for the system's error number in errno.
inline std::string system_error(const std::string& path) { return path + ": " + file_error_text(errno); }
