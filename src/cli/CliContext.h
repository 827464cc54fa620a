#pragma once
// What every talmeru-cli command shares: the output streams, the answer policy for
// questions, and the exit status the command leaves.
#include <CLI/CLI.hpp>
#include <memory>
#include <ostream>
#include <string>

namespace talmeru {

namespace emulator {
class Ma1Emulator;
}
class ZedoDatabase;

struct CliContext {
    std::ostream& out;
    std::ostream& err;
    bool yes = false;
    // How SoundFonts become programs: "instruments" (one program each) or "presets".
    std::string sf2Programs = "instruments";
    int status = 0;
};

// Opens a bank file into db; on failure says so on err and returns false.
bool OpenForCli(ZedoDatabase& db, const std::string& path, CliContext& ctx);

// Each group of commands registers its subcommands; a subcommand's callback runs it and
// sets ctx.status.
void AddBankCommands(CLI::App& app, CliContext& ctx);

// The ROM bank from the cache, built from the synthesizer (the emulator when there is no
// card) on first use; what sysex bank files and K2000 imports start from.
const ZedoDatabase* CliRomBank(CliContext& ctx);
void AddSynthCommands(CLI::App& app, CliContext& ctx);
// Opens a bank file and synchronises it to emu, talking to that emulator alone, as
// `synth upload` does; 0, or 1 with the reason said on ctx.err.
int UploadToEmulator(std::shared_ptr<emulator::Ma1Emulator> emu, const std::string& bank,
                     CliContext& ctx);
// talmeru-cli render: a MIDI file played by a fresh emulator into a WAV file.
void AddRenderCommand(CLI::App& app, CliContext& ctx);

}  // namespace talmeru
