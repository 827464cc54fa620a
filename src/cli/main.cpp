#include <iostream>

#include "cli/Cli.h"
#include "platform/SignalCleanup.h"

int main(int argc, char** argv) {
    talmeru::RemoveTemporaryFilesOnSignals();
    return talmeru::RunCli(argc, argv, std::cout, std::cerr);
}
