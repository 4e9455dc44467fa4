#include "support/paths.h"

std::string testdata_path(const std::string& relative)
{
    return std::string(BREVAN_TESTDATA) + "/" + relative;
}

std::string firmware_build_path(const std::string& name)
{
    return std::string(BREVAN_FIRMWARE_DIR) + "/" + name;
}

#include <unistd.h>

scratch_folder::scratch_folder(const std::string& tag)
    : path_(std::filesystem::temp_directory_path() / ("brevan-" + tag + "-" + std::to_string(::getpid())))
{
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
}

scratch_folder::~scratch_folder()
{
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}
