#pragma once
// What every talmeru-cli command shares: the output streams, the answer policy for
// questions, and the exit status the command leaves.
#include <CLI/CLI.hpp>
#include <ostream>
#include <string>

namespace talmeru {

class ZedoDatabase;

struct CliContext {
    std::ostream& out;
    std::ostream& err;
    bool yes = false;
    int status = 0;
};

// Opens a bank file into db; on failure says so on err and returns false.
bool OpenForCli(ZedoDatabase& db, const std::string& path, CliContext& ctx);

// Each group of commands registers its subcommands; a subcommand's callback runs it and
// sets ctx.status.
void AddBankCommands(CLI::App& app, CliContext& ctx);
void AddSynthCommands(CLI::App& app, CliContext& ctx);

}  // namespace talmeru
