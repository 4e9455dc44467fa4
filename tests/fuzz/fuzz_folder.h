// A scratch drive folder for the bus and drive fuzz targets, with a file
// and a folder beside it that no name from the machine may reach: each
// run checks that they are untouched and that nothing appeared there.
#pragma once
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace fuzz_folder {

namespace fs = std::filesystem;

inline const fs::path& base()
{
    static const fs::path path = [] {
        const fs::path p = fs::temp_directory_path() / ("brevan-fuzz-" + std::to_string(::getpid()));
        fs::remove_all(p);
        fs::create_directories(p / "disk" / "Sub");
        fs::create_directories(p / "outside");
        std::ofstream(p / "SECRET.PRI") << "secret";
        std::atexit([] { std::error_code ec; fs::remove_all(base(), ec); });
        return p;
    }();
    return path;
}

inline fs::path disk() { return base() / "disk"; }

// Modification times of what lies outside: any entry made or removed
// there, or a write to the file, changes one of them.
struct outside_stamp {
    struct timespec base, outside, secret;
    off_t secret_size;
    bool operator==(const outside_stamp& o) const
    {
        auto same = [](const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; };
        return same(base, o.base) && same(outside, o.outside) && same(secret, o.secret) && secret_size == o.secret_size;
    }
};

inline outside_stamp stamp()
{
    struct stat a{}, b{}, c{};
    ::stat(base().c_str(), &a);
    ::stat((base() / "outside").c_str(), &b);
    ::stat((base() / "SECRET.PRI").c_str(), &c);
    return {a.st_mtim, b.st_mtim, c.st_mtim, c.st_size};
}

inline const outside_stamp& initial_stamp()
{
    static const outside_stamp s = stamp();
    return s;
}

// Puts the drive's sample files back and now and then empties the folder,
// so that it stays small.
inline void prepare()
{
    initial_stamp();
    static unsigned runs = 0;
    std::error_code ec;
    if (++runs % 256 == 0) {
        for (const auto& e : fs::directory_iterator(disk(), ec)) fs::remove_all(e.path(), ec);
        fs::create_directories(disk() / "Sub", ec);
    }
    // Links leading out: to a file, to a missing file, to a folder.
    if (!fs::exists(fs::symlink_status(disk() / "LINK.PRI"))) fs::create_symlink(base() / "SECRET.PRI", disk() / "LINK.PRI", ec);
    if (!fs::exists(fs::symlink_status(disk() / "DANGLING.PRI"))) fs::create_symlink(base() / "gone.PRI", disk() / "DANGLING.PRI", ec);
    if (!fs::exists(fs::symlink_status(disk() / "OUT"))) fs::create_directory_symlink(base() / "outside", disk() / "OUT", ec);
    if (!fs::exists(disk() / "GAME.PRI")) std::ofstream(disk() / "GAME.PRI") << std::string("\xD9\x00\x50\x02\x00" "ab\xC9", 8);
    if (!fs::exists(disk() / "notes.seq")) std::ofstream(disk() / "notes.seq") << "hello";
}

// Stops the run when anything outside the drive folder changed.
inline void check_outside()
{
    if (!(stamp() == initial_stamp())) __builtin_trap();
}

}  // namespace fuzz_folder
