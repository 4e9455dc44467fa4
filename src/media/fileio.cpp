// File helpers that need the operating system: writing a file so that it
// is always either the old or the new one.
#include "media/fileio.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

std::string system_error(const std::string& path)
{
    return path + " (" + std::strerror(errno) + ")";
}

namespace {

bool fail_replace(int fd, const std::string& temp, const std::string& path, std::string* error)
{
    if (errno == 0) errno = EIO;
    if (error) *error = system_error(path);
    if (fd >= 0) ::close(fd);
    ::unlink(temp.c_str());
    return false;
}

}  // namespace

// Writes the bytes to path through a new file beside it that is renamed
// over it at the end: readers see the old or the new contents, never a mix.
bool write_file_replacing(const std::string& path, const uint8_t* bytes, size_t size, std::string* error)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path target = fs::canonical(path, ec);   // through a link to the file itself
    if (ec) target = fs::absolute(path, ec);
    struct stat old_file {};
    const bool existed = ::stat(target.c_str(), &old_file) == 0;
    // Hidden, beside the image: a rename within one folder is atomic.
    std::string hidden = target.filename().string();
    hidden.insert(hidden.begin(), '.');
    hidden.append(".XXXXXX");
    std::string temp = (target.parent_path() / hidden).string();
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        if (error) *error = system_error(path);
        return false;
    }
    mode_t mode = 0;
    if (existed) {
        mode = old_file.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    // A foreign owner's mode may not be ours to copy; the file is ours then.
    if (::fchmod(fd, mode) != 0 && !existed) return fail_replace(fd, temp, path, error);
    for (size_t done = 0; done < size;) {
        const ssize_t n = ::write(fd, bytes + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) errno = ENOSPC;
        if (n <= 0) return fail_replace(fd, temp, path, error);
        done += static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0) return fail_replace(fd, temp, path, error);
    if (::close(fd) != 0) return fail_replace(-1, temp, path, error);
    if (::rename(temp.c_str(), target.c_str()) != 0) return fail_replace(-1, temp, path, error);
    if (const int dir = ::open(target.parent_path().c_str(), O_RDONLY | O_DIRECTORY); dir >= 0) {
        ::fsync(dir);   // the rename itself survives a power cut
        ::close(dir);
    }
    return true;
}

