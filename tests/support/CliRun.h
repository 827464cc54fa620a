#pragma once
// Runs talmeru-cli in the test's process and keeps what it printed.
#include <sstream>
#include <string>
#include <vector>

#include "cli/Cli.h"

namespace talmeru::test {

struct CliRun {
    int status;
    std::string out, err;
};

inline CliRun Cli(std::vector<std::string> args) {
    args.insert(args.begin(), "talmeru-cli");
    std::vector<const char*> argv;
    for (const auto& a : args)
        argv.push_back(a.c_str());
    std::ostringstream out, err;
    int status = RunCli(static_cast<int>(argv.size()), argv.data(), out, err);
    return {status, out.str(), err.str()};
}

}  // namespace talmeru::test
