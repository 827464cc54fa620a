#include "cli/Cli.h"

#include <CLI/CLI.hpp>
#include <filesystem>

#include "cli/BankJson.h"
#include "files/BankFile.h"
#include "model/Listers.h"
#include "model/ZedoDatabase.h"
#include "model/ZedoException.h"
#include "platform/FileUtil.h"
#include "platform/Format.h"
#include "platform/Prompter.h"

namespace talmeru {

namespace {

// Prints what the system would show in a message box to the error stream.
class StreamPrompter : public Prompter {
  public:
    StreamPrompter(std::ostream& err, bool yes) : err_(err), yes_(yes) {}
    void Message(const std::string& text) override { err_ << Trimmed(text) << "\n"; }
    Answer Ask(const std::string& text, Buttons buttons) override {
        Answer a = buttons == Buttons::AbortRetryIgnore ? (yes_ ? Answer::Retry : Answer::Abort)
                                                        : (yes_ ? Answer::Yes : Answer::No);
        err_ << Trimmed(text) << (yes_ ? " [yes]" : " [no]") << "\n";
        return a;
    }
    std::optional<std::string> LocateFile(const std::string& title, const std::string&,
                                          const std::string& wanted) override {
        err_ << title << ": " << wanted << " [not located]\n";
        return std::nullopt;
    }

  private:
    static std::string Trimmed(std::string s) {
        while (!s.empty() && (s.back() == '\n' || s.back() == '\r'))
            s.pop_back();
        return s;
    }
    std::ostream& err_;
    bool yes_;
};

std::string FormatOf(const std::string& path) {
    std::string lower = ToLower(path);
    if (lower.find(".pbf") != std::string::npos) {
        auto data = ReadWholeFile(path, 1 << 16);
        std::string kind = "Pinnacle Bank File";
        if (data && data->size() >= 66)
            kind += Fmt(" (format 0x%04x)", (*data)[64] | ((*data)[65] << 8));
        return kind;
    }
    return "unknown";
}

int Open(ZedoDatabase& db, const std::string& path, std::ostream& err) {
    int rc = OpenBank(db, path, 0);
    if (rc != 0) {
        err << "Could not read file properly.\n";
        return 1;
    }
    return 0;
}

}  // namespace

int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
    CLI::App app{"Talmeru command-line librarian for MA-1 sound banks", "talmeru-cli"};
    app.require_subcommand(1);
    bool yes = false;
    app.add_flag("--yes", yes, "Answer Yes to every question (the default answer is No)");

    std::string bank, kind = "programs", in, outPath;
    int style = 0;
    bool bankPrefix = false;

    auto* info = app.add_subcommand("info", "Show a bank's format, comment and object counts");
    info->add_option("BANK", bank, "Bank file")->required();

    auto* list =
        app.add_subcommand("list", "List a bank's programs, keymaps, samples or wave data");
    list->add_option("BANK", bank, "Bank file")->required();
    list->add_option("KIND", kind, "programs, keymaps, samples or wavedata")
        ->check(CLI::IsMember({"programs", "keymaps", "samples", "wavedata"}));
    list->add_option("--style", style, "Program numbering: 0 from 0, 1 from 1, 2 as A11..H88")
        ->check(CLI::Range(0, 2));
    list->add_flag("--bank-prefix", bankPrefix, "Show program numbers as bank/number");

    auto* dump = app.add_subcommand("dump", "Print the whole bank as JSON");
    dump->add_option("BANK", bank, "Bank file")->required();

    auto* convert = app.add_subcommand("convert", "Open a bank and save it in another format");
    convert->add_option("IN", in, "Bank or import file")->required();
    convert->add_option("OUT", outPath, "Bank file to write; its extension picks the format")
        ->required();

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e, out, err) == 0 ? 0 : 2;
    }

    StreamPrompter prompter(err, yes);
    ScopedPrompter scope(prompter);
    try {
        ZedoDatabase db;
        if (*info) {
            if (Open(db, bank, err)) return 1;
            int programs = 0, keymaps = 0, samples = 0;
            for (int n = 0; n < kSlotCount; ++n) {
                programs += db.GetProgram(n) != nullptr;
                keymaps += db.GetKeymap(n) != nullptr;
                samples += db.GetSampleHeader(n) != nullptr;
            }
            out << "path: " << bank << "\n"
                << "format: " << FormatOf(bank) << "\n"
                << "comment: " << db.Comment() << "\n"
                << "programs: " << programs << "\n"
                << "keymaps: " << keymaps << "\n"
                << "samples: " << samples << "\n"
                << "wave data: " << db.WaveDataCount() << "\n";
            return 0;
        }
        if (*list) {
            if (Open(db, bank, err)) return 1;
            if (kind == "wavedata") {
                for (int i = 0; i < db.WaveDataCount(); ++i) {
                    WaveData* w = db.GetWaveData(i);
                    out << Fmt("%d - %s (%s) base %d, %d links", i, w->DisplayName().c_str(),
                               w->FormatName().c_str(), w->base, static_cast<int>(w->links.size()))
                        << "\n";
                }
                return 0;
            }
            ObjectList items = kind == "keymaps"   ? ListKeymaps(db, -1, false)
                               : kind == "samples" ? ListSampleHeaders(db, -1, kSamplesAll)
                                                   : ListPrograms(db, -1, {bankPrefix, style});
            for (const auto& item : items.items)
                out << item.text << "\n";
            return 0;
        }
        if (*dump) {
            if (Open(db, bank, err)) return 1;
            db.SetPath(std::filesystem::absolute(bank).string());
            out << BankToJson(db).dump(2) << "\n";
            return 0;
        }
        if (*convert) {
            if (Open(db, in, err)) return 1;
            if (SaveBank(db, outPath, 0) != 0) {
                err << "Could not save " << outPath << "\n";
                return 1;
            }
            return 0;
        }
    } catch (const ZedoException& e) {
        err << e.what() << "\n";
        return 1;
    }
    return 2;
}

}  // namespace talmeru
