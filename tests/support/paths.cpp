#include "support/paths.h"

std::string testdata_path(const std::string& relative)
{
    return std::string(BREVAN_TESTDATA) + "/" + relative;
}

std::string firmware_build_path(const std::string& name)
{
    return std::string(BREVAN_FIRMWARE_DIR) + "/" + name;
}
