#include "cli/Cli.h"

#include <exception>

#include "cli/CliContext.h"
#include "emulator/RomWaves.h"
#include "files/BankFile.h"
#include "files/BankFormats.h"
#include "files/ConversionLog.h"
#include "files/Sf2Export.h"
#include "files/Sf2Import.h"
#include "model/ZedoException.h"
#include "platform/Prompter.h"

namespace talmeru {

namespace {

// Prints what the system would show in a message box to the error stream; questions are
// answered by the --yes policy, which is read when the question comes.
class StreamPrompter : public Prompter {
  public:
    explicit StreamPrompter(CliContext& ctx) : ctx_(ctx) {}
    void Message(const std::string& text) override { ctx_.err << Trimmed(text) << "\n"; }
    Answer Ask(const std::string& text, Buttons buttons) override {
        bool yes = ctx_.yes;
        Answer a = buttons == Buttons::AbortRetryIgnore ? (yes ? Answer::Retry : Answer::Abort)
                                                        : (yes ? Answer::Yes : Answer::No);
        ctx_.err << Trimmed(text) << (yes ? " [yes]" : " [no]") << "\n";
        return a;
    }
    std::optional<std::string> LocateFile(const std::string& title, const std::string&,
                                          const std::string& wanted) override {
        ctx_.err << title << ": " << wanted << " [not located]\n";
        return std::nullopt;
    }

  private:
    static std::string Trimmed(std::string s) {
        while (!s.empty() && (s.back() == '\n' || s.back() == '\r'))
            s.pop_back();
        return s;
    }
    CliContext& ctx_;
};

}  // namespace

bool OpenForCli(ZedoDatabase& db, const std::string& path, CliContext& ctx) {
    StreamConversionLog log(ctx.err);
    if (OpenBank(db, path, 0, &log) != 0) {
        if (!BankFormatToOpen(path))
            ctx.err << "\"" << path << "\" does not end in the extension of a bank format.\n";
        ctx.err << "\"" << path << "\": Could not read file properly.\n";
        return false;
    }
    return true;
}

int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
    CliContext ctx{out, err};
    CLI::App app{"Talmeru command-line librarian for MA-1 sound banks", "talmeru-cli"};
    app.require_subcommand(1);
    app.add_flag("--yes", ctx.yes, "Answer Yes to every question (the default answer is No)");
    app.add_option("--sf2-programs", ctx.sf2Programs,
                   "How a SoundFont becomes programs: instruments (one program each) or presets "
                   "(General MIDI numbers, drum kits from 128)")
        ->check(CLI::IsMember({"instruments", "presets"}));
    // Options of the whole command may stand after the subcommand's name.
    app.fallthrough();
    AddBankCommands(app, ctx);
    AddSynthCommands(app, ctx);
    AddRenderCommand(app, ctx);

    StreamPrompter prompter(ctx);
    ScopedPrompter scope(prompter);
    SetRomBankProvider([&ctx] { return CliRomBank(ctx); });
    // A SoundFont written here plays ROM samples from the emulator's stand-ins.
    SetRomSampleSource([] { return emulator::RomWaves(); });
    SetSf2Chooser([&ctx](const std::string&, const Sf2Catalog&) {
        Sf2Choice choice;
        choice.mode =
            ctx.sf2Programs == "presets" ? Sf2Programs::kPresets : Sf2Programs::kInstruments;
        return std::optional<Sf2Choice>(choice);
    });
    struct Unset {
        ~Unset() {
            SetRomBankProvider(nullptr);
            SetRomSampleSource(nullptr);
            SetSf2Chooser(nullptr);
        }
    } unset;
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // A word where a command was wanted leaves only "A subcommand is required".
        if (const auto rest = app.remaining(true); !rest.empty() && e.get_exit_code() != 0)
            err << "talmeru-cli: \"" << rest.front() << "\" is no command or option here.\n";
        return app.exit(e, out, err) == 0 ? 0 : 2;
    } catch (const ZedoException& e) {
        err << e.what() << "\n";
        return 1;
    } catch (const std::exception& e) {
        // Whatever went wrong, the command ends with its reason instead of an abort.
        err << "talmeru-cli: " << e.what() << "\n";
        return 1;
    } catch (...) {
        err << "talmeru-cli: an unexpected error ended the command\n";
        return 1;
    }
    return ctx.status;
}

}  // namespace talmeru
