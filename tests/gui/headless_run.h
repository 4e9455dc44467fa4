// Runs the headless program in this process, as `brevan ARGS...` would.
#pragma once
#include <string>
#include <vector>

#include "host/headless/headless.h"

inline int headless_run(std::vector<std::string> args)
{
    args.insert(args.begin(), "brevan");
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    return headless_main(static_cast<int>(args.size()), argv.data());
}
