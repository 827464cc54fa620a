#include <iostream>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "platform/CommandLine.h"
#include "platform/SignalCleanup.h"

int main(int argc, char** argv) {
    talmeru::RemoveTemporaryFilesOnSignals();
    talmeru::UseUtf8Console();
    std::vector<std::string> args = talmeru::Utf8Arguments(argc, argv);
    std::vector<char*> pointers;
    for (std::string& a : args)
        pointers.push_back(a.data());
    pointers.push_back(nullptr);
    return talmeru::RunCli(static_cast<int>(args.size()), pointers.data(), std::cout, std::cerr);
}
