// The drive folder's jail, and the host folder behind it.
#include "devices/drive_folder.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "devices/diskfs_names.h"
#include "media/fileio.h"

namespace fs = std::filesystem;
using diskfs_names::resolves_inside;
using diskfs_names::safe_name;

drive_entry drive_folder::stat(const std::string& name)
{
    return safe_name(name) ? find(name) : drive_entry{};
}

std::unique_ptr<drive_file> drive_folder::open(const std::string& name, char mode)
{
    if (mode != 'r' && mode != 'w' && mode != 'a') return nullptr;
    const drive_entry e = stat(name);
    // A new name is made inside; a link whose target is missing is not
    // followed, as writing would make the target wherever it points.
    const bool usable = e.file || (mode != 'r' && !e.exists && safe_name(name));
    return usable ? open_checked(name, mode) : nullptr;
}

bool drive_folder::rename(const std::string& from, const std::string& to)
{
    return stat(from).removable && safe_name(to) && !find(to).exists && rename_checked(from, to);
}

bool drive_folder::remove(const std::string& name)
{
    return stat(name).removable && remove_checked(name);
}

bool drive_folder::enter(const std::string& name)
{
    if (!stat(name).folder) return false;
    enter_checked(name);
    return true;
}

namespace {

class host_file final : public drive_file {
public:
    explicit host_file(std::FILE* f) : file_(f) {}
    int get() override { return std::fgetc(file_.get()); }
    bool put(uint8_t value) override { return std::fputc(value, file_.get()) != EOF; }
    bool is_open() const { return file_ != nullptr; }

private:
    file_ptr file_;
};

fs::path folder_of(const std::string& path) { return fs::path(path.empty() ? "." : path); }

}  // namespace

host_folder::host_folder(std::string root) : root_(root), current_(std::move(root)) {}

bool host_folder::available()
{
    std::error_code ec;
    return fs::is_directory(folder_of(current_), ec);
}

std::vector<std::string> host_folder::list()
{
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder_of(current_), ec), end; !ec && it != end; it.increment(ec))
        names.push_back(it->path().filename().string());
    return names;
}

drive_entry host_folder::find(const std::string& name)
{
    const fs::path path = folder_of(current_) / name;
    std::error_code ec;
    const fs::file_status own = fs::symlink_status(path, ec);
    drive_entry e;
    e.exists = fs::exists(own);
    if (!e.exists) return e;
    e.removable = fs::is_regular_file(own) || fs::is_symlink(own);
    const fs::file_status target = fs::status(path, ec);
    e.file = fs::is_regular_file(target) && resolves_inside(path, folder_of(current_));
    e.folder = fs::is_directory(target) && resolves_inside(path, folder_of(root_));
    if (e.file) {
        const uint64_t size = fs::file_size(path, ec);
        e.size = ec ? 0 : size;
    }
    return e;
}

std::unique_ptr<drive_file> host_folder::open_checked(const std::string& name, char mode)
{
    const fs::path path = folder_of(current_) / name;
    auto file = std::make_unique<host_file>(std::fopen(path.c_str(), mode == 'r' ? "rb" : mode == 'w' ? "wb" : "ab"));
    if (!file->is_open()) return nullptr;
    return file;
}

bool host_folder::rename_checked(const std::string& from, const std::string& to)
{
    std::error_code ec;
    fs::rename(folder_of(current_) / from, folder_of(current_) / to, ec);
    return !ec;
}

bool host_folder::remove_checked(const std::string& name)
{
    std::error_code ec;
    return fs::remove(folder_of(current_) / name, ec);
}

void host_folder::enter_checked(const std::string& name) { current_ = (folder_of(current_) / name).string(); }

void host_folder::enter_root()
{
    std::error_code ec;
    if (fs::is_directory(folder_of(root_), ec)) current_ = root_;
}

std::string host_folder::title()
{
    const fs::path folder = folder_of(current_);
    std::string name = folder.filename().string();
    if (name.empty() || name == ".") name = folder.parent_path().filename().string();
    if (name.empty()) name = folder.string();
    return name;
}
