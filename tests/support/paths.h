// Where tests find shared data and build outputs.
#pragma once
#include <string>

std::string testdata_path(const std::string& relative);   // ../shared/testdata/...
std::string firmware_build_path(const std::string& name);  // build/firmware/...

#include <filesystem>

// A fresh, empty folder for one test, removed with the object.
class scratch_folder {
public:
    explicit scratch_folder(const std::string& tag);
    ~scratch_folder();
    scratch_folder(const scratch_folder&) = delete;
    scratch_folder& operator=(const scratch_folder&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};
