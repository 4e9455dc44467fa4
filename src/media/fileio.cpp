// Writing files for the user so that a failure never costs the old file,
// and the reasons of failures in Hungarian.
#include "media/fileio.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

struct reason { int error_number; const char* text; };
constexpr reason reasons[] = {
    {ENOENT, "nem található"},
    {EACCES, "nincs hozzá jogosultság"},
    {EPERM, "nincs hozzá jogosultság"},
    {EISDIR, "mappa, nem állomány"},
    {ENOTDIR, "az útvonal egyik tagja nem mappa"},
    {ENOSPC, "megtelt a lemez"},
    {EDQUOT, "elfogyott a lemezkvóta"},
    {EROFS, "csak olvasható fájlrendszeren van"},
    {EFBIG, "túl nagy az állomány"},
    {ENAMETOOLONG, "túl hosszú a név"},
    {EEXIST, "már létezik"},
    {EIO, "olvasási vagy írási hiba a lemezen"},
};

}  // namespace

std::string file_error_text(int error_number)
{
    const char* ours = "nem sikerült";
    for (const reason& r : reasons)
        if (r.error_number == error_number) ours = r.text;
    return std::string(ours) + " (" + std::strerror(error_number) + ")";
}

whole_file::whole_file(const std::string& path)
{
    namespace fs = std::filesystem;
    if (path.empty()) {
        errno = ENOENT;
        fail();
        return;
    }
    std::error_code ec;
    fs::path target = fs::canonical(path, ec);   // through a link to the file itself
    if (ec) target = fs::absolute(path, ec);
    target_ = target.string();
    struct stat old_file {};
    const bool existed = ::stat(target_.c_str(), &old_file) == 0;
    if (existed && S_ISDIR(old_file.st_mode)) {
        errno = EISDIR;
        fail();
        return;
    }
    // Hidden, beside the file: a rename within one folder is atomic.
    std::string hidden = target.filename().string();
    hidden.insert(hidden.begin(), '.');
    hidden.append(".XXXXXX");
    temp_ = (target.parent_path() / hidden).string();
    fd_ = ::mkstemp(temp_.data());
    if (fd_ < 0) {
        temp_.clear();
        fail();
        return;
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
    if (::fchmod(fd_, mode) != 0 && !existed) fail();
}

whole_file::~whole_file()
{
    if (fd_ >= 0) ::close(fd_);
    if (!temp_.empty()) ::unlink(temp_.c_str());
}

bool whole_file::fail()
{
    if (!failed_) error_ = file_error_text(errno ? errno : EIO);
    failed_ = true;
    return false;
}

bool whole_file::write(const void* data, size_t size)
{
    if (failed_) return false;
    const auto* bytes = static_cast<const uint8_t*>(data);
    for (size_t done = 0; done < size;) {
        const ssize_t n = ::write(fd_, bytes + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) errno = ENOSPC;
        if (n <= 0) return fail();
        done += static_cast<size_t>(n);
    }
    return true;
}

bool whole_file::commit()
{
    if (failed_) return false;
    if (::fsync(fd_) != 0) return fail();
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) return fail();
    if (::rename(temp_.c_str(), target_.c_str()) != 0) return fail();
    temp_.clear();
    const std::string folder = std::filesystem::path(target_).parent_path().string();
    if (const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY); dir >= 0) {
        ::fsync(dir);   // the rename itself survives a power cut
        ::close(dir);
    }
    return true;
}

bool write_whole_file(const std::string& path, const void* data, size_t size, std::string* why)
{
    whole_file file(path);
    if (file.write(data, size) && file.commit()) return true;
    if (why) *why = file.error();
    return false;
}
