// Commands on bank files: info, list, dump, convert, extract, import-wav.
#include <filesystem>
#include <memory>

#include "cli/BankJson.h"
#include "cli/CliContext.h"
#include "files/BankFile.h"
#include "files/BankFormats.h"
#include "files/ConversionLog.h"
#include "files/Exports.h"
#include "files/Pbf.h"
#include "files/WavWaveData.h"
#include "files/WaveImport.h"
#include "model/Listers.h"
#include "model/ZedoDatabase.h"
#include "platform/ByteIO.h"
#include "platform/ByteSink.h"
#include "platform/FileUtil.h"
#include "platform/Format.h"

namespace talmeru {

namespace {

int Info(const std::string& bank, CliContext& ctx) {
    ZedoDatabase db;
    if (!OpenForCli(db, bank, ctx)) return 1;
    int programs = 0, keymaps = 0, samples = 0;
    for (int n = 0; n < kSlotCount; ++n) {
        programs += db.GetProgram(n) != nullptr;
        keymaps += db.GetKeymap(n) != nullptr;
        samples += db.GetSampleHeader(n) != nullptr;
    }
    ctx.out << "path: " << bank << "\n"
            << "format: " << DescribeBankFile(bank) << "\n"
            << "comment: " << db.Comment() << "\n"
            << "programs: " << programs << "\n"
            << "keymaps: " << keymaps << "\n"
            << "samples: " << samples << "\n"
            << "wave data: " << db.WaveDataCount() << "\n";
    return 0;
}

struct ListOptions {
    std::string bank;
    std::string kind = "programs";
    int style = 0;
    bool bankPrefix = false;
};

int List(const ListOptions& o, CliContext& ctx) {
    ZedoDatabase db;
    if (!OpenForCli(db, o.bank, ctx)) return 1;
    if (o.kind == "wavedata") {
        for (int i = 0; i < db.WaveDataCount(); ++i) {
            WaveData* w = db.GetWaveData(i);
            ctx.out << Fmt("%d - %s (%s) base %d, %d links", i, w->DisplayName().c_str(),
                           w->FormatName().c_str(), w->base, static_cast<int>(w->links.size()))
                    << "\n";
        }
        return 0;
    }
    ObjectList items = o.kind == "keymaps"   ? ListKeymaps(db, -1, false)
                       : o.kind == "samples" ? ListSampleHeaders(db, -1, kSamplesAll)
                                             : ListPrograms(db, -1, {o.bankPrefix, o.style});
    for (const auto& item : items.items)
        ctx.out << item.text << "\n";
    return 0;
}

int Dump(const std::string& bank, CliContext& ctx) {
    ZedoDatabase db;
    if (!OpenForCli(db, bank, ctx)) return 1;
    db.SetPath(Utf8FromPath(std::filesystem::absolute(PathFromUtf8(bank))));
    ctx.out << BankToJson(db).dump(2) << "\n";
    return 0;
}

// A bank written by comparing with the ROM bank is not written without it (the reason has
// been said).
bool RomReadyToSave(const std::string& out, CliContext& ctx) {
    const BankFormat* format = BankFormatToSave(out);
    if (!format || !format->startsFromRom || RomBankForFiles()) return true;
    ctx.err << "Could not save " << out << "\n";
    return false;
}

struct ConvertOptions {
    std::string in, out, rom;
    bool writeWavs = false;
};

// A ROM bank given on the command line stands in for the cache while it lives.
class RomFromFile {
  public:
    RomFromFile(const ZedoDatabase* rom, CliContext& ctx) : ctx_(ctx) {
        if (rom) SetRomBankProvider([rom] { return rom; });
    }
    ~RomFromFile() {
        SetRomBankProvider([&ctx = ctx_] { return CliRomBank(ctx); });
    }
    RomFromFile(const RomFromFile&) = delete;
    RomFromFile& operator=(const RomFromFile&) = delete;

  private:
    CliContext& ctx_;
};

int Convert(const ConvertOptions& o, CliContext& ctx) {
    ZedoDatabase rom;
    if (!o.rom.empty() && !OpenForCli(rom, o.rom, ctx)) return 1;
    RomFromFile supply(o.rom.empty() ? nullptr : &rom, ctx);
    ZedoDatabase db;
    // An import reports what became of each object on the error stream.
    StreamConversionLog log(ctx.err);
    if (OpenBank(db, o.in, 0, &log) != 0) {
        ctx.err << "\"" << o.in << "\": Could not read file properly.\n";
        return 1;
    }
    if (!RomReadyToSave(o.out, ctx)) return 1;
    // So does an export, for what its format cannot hold.
    if (SaveBank(db, o.out, o.writeWavs ? kSaveWriteWavs : 0, &log) != 0) {
        ctx.err << "Could not save " << o.out << "\n";
        return 1;
    }
    return 0;
}

struct ExportOptions {
    std::string bank, out;
};

// A report or WAV written over the bank it comes from would lose the bank.
bool WouldReplace(const std::string& in, const std::string& out, const char* what,
                  CliContext& ctx) {
    if (!SameFile(in, out)) return false;
    ctx.err << "The " << what << " would replace " << in << ".\n";
    return true;
}

int Export(const ExportOptions& o, CliContext& ctx) {
    if (WouldReplace(o.bank, o.out, "exported file", ctx)) return 1;
    ZedoDatabase db;
    if (!OpenForCli(db, o.bank, ctx)) return 1;
    std::string lower = ToLower(o.out);
    bool ins = lower.size() >= 4 && lower.compare(lower.size() - 4, 4, ".ins") == 0;
    return (ins ? ExportInstrumentDefinition(db, o.out) : ExportBankReport(db, o.out)) == 0 ? 0 : 1;
}

struct ExtractOptions {
    std::string bank, out;
    int sample = 0;
};

int Extract(const ExtractOptions& o, CliContext& ctx) {
    if (WouldReplace(o.bank, o.out, "WAV file", ctx)) return 1;
    ZedoDatabase db;
    if (!OpenForCli(db, o.bank, ctx)) return 1;
    SampleHeader* s = db.GetSampleHeader(o.sample);
    if (!s) {
        ctx.err << "There is no sample " << o.sample << " in " << o.bank << "\n";
        return 1;
    }
    WaveData* left = s->Wave();
    if (!left || left->IsRom() || !left->valid) {
        ctx.err << "Sample " << o.sample << " has no wave data to extract.\n";
        return 1;
    }
    WaveData* right = nullptr;
    if (s->stereoRole == kStereoLeft && s->chained)
        right = static_cast<SampleHeader*>(s->chained)->Wave();
    if (right && (right->IsRom() || !right->valid)) right = nullptr;
    // The sources are checked before the file is made; the data go into it in pieces.
    if (left->CheckSource() != 0 || (right && right->CheckSource() != 0)) return 1;
    bool shown = false;
    AtomicWrite written = ReplaceFileThroughSink(
        o.out, [&](ByteSink& out) { return WriteWav(out, *left, right, shown); });
    if (!written) {
        if (!shown) ctx.err << written.text << "\nCould not write " << o.out << "\n";
        return 1;
    }
    return 0;
}

struct ImportWavOptions {
    std::string bank, out;
    std::vector<std::string> waves;
};

int ImportWavs(const ImportWavOptions& o, CliContext& ctx) {
    ZedoDatabase db;
    if (o.bank != "-" && !OpenForCli(db, o.bank, ctx)) return 1;
    for (const auto& wav : o.waves) {
        Program* p = BuildProgramFromWave(db, wav, false, nullptr);
        if (!p) {
            ctx.err << "Could not build a program from " << wav << "\n";
            return 1;
        }
        ctx.out << p->Number() << " - " << p->Name() << "\n";
    }
    if (!RomReadyToSave(o.out, ctx)) return 1;
    StreamConversionLog log(ctx.err);
    if (SaveBank(db, o.out, 0, &log) != 0) {
        ctx.err << "Could not save " << o.out << "\n";
        return 1;
    }
    return 0;
}

}  // namespace

void AddBankCommands(CLI::App& app, CliContext& ctx) {
    auto bank = std::make_shared<std::string>();
    auto* info = app.add_subcommand("info", "Show a bank's format, comment and object counts");
    info->add_option("BANK", *bank, "Bank file")->required();
    info->callback([bank, &ctx] { ctx.status = Info(*bank, ctx); });

    auto list = std::make_shared<ListOptions>();
    auto* listCmd =
        app.add_subcommand("list", "List a bank's programs, keymaps, samples or wave data");
    listCmd->add_option("BANK", list->bank, "Bank file")->required();
    listCmd->add_option("KIND", list->kind, "programs, keymaps, samples or wavedata")
        ->check(CLI::IsMember({"programs", "keymaps", "samples", "wavedata"}));
    listCmd->add_option("--style", list->style, "Program numbering: 0 from 0, 1 from 1, 2 as A11")
        ->check(CLI::Range(0, 2));
    listCmd->add_flag("--bank-prefix", list->bankPrefix, "Show program numbers as bank/number");
    listCmd->callback([list, &ctx] { ctx.status = List(*list, ctx); });

    auto dumpBank = std::make_shared<std::string>();
    auto* dump = app.add_subcommand("dump", "Print the whole bank as JSON");
    dump->add_option("BANK", *dumpBank, "Bank file")->required();
    dump->callback([dumpBank, &ctx] { ctx.status = Dump(*dumpBank, ctx); });

    auto conv = std::make_shared<ConvertOptions>();
    auto* convert = app.add_subcommand("convert", "Open a bank and save it in another format");
    convert->add_option("IN", conv->in, "Bank or import file")->required();
    convert->add_option("OUT", conv->out, "Bank file to write; its extension picks the format")
        ->required();
    convert->add_flag("--write-wavs", conv->writeWavs,
                      "Write every RAM sample as a WAV file in OUT's folder (.pbf only)");
    convert->add_option("--rom", conv->rom,
                        "MA-1 ROM bank (.pbf, as talmeru-cli rom writes it) that a K2000 (.krz) "
                        "import starts from");
    convert->callback([conv, &ctx] { ctx.status = Convert(*conv, ctx); });

    auto exp = std::make_shared<ExportOptions>();
    auto* exportCmd = app.add_subcommand(
        "export", "Write a Cakewalk instrument file (OUT.ins) or a text report (OUT.txt)");
    exportCmd->add_option("BANK", exp->bank, "Bank file")->required();
    exportCmd->add_option("OUT", exp->out, "File to write: .ins or .txt")
        ->required()
        ->check(CLI::Validator(
            [](const std::string& name) -> std::string {
                std::string lower = ToLower(name);
                auto ends = [&](const char* ext) {
                    return lower.size() >= 4 && lower.compare(lower.size() - 4, 4, ext) == 0;
                };
                return ends(".ins") || ends(".txt") ? "" : "the file to write must end in .ins or .txt";
            },
            "FILE.ins|FILE.txt"));
    exportCmd->callback([exp, &ctx] { ctx.status = Export(*exp, ctx); });

    auto ext = std::make_shared<ExtractOptions>();
    auto* extract = app.add_subcommand("extract", "Write a sample's wave data as a WAV file");
    extract->add_option("BANK", ext->bank, "Bank file")->required();
    extract->add_option("SAMPLE", ext->sample, "Sample header number")
        ->required()
        ->check(CLI::Range(0, kSlotCount - 1));
    extract->add_option("OUT", ext->out, "WAV file to write")->required();
    extract->callback([ext, &ctx] { ctx.status = Extract(*ext, ctx); });

    auto imp = std::make_shared<ImportWavOptions>();
    auto* import =
        app.add_subcommand("import-wav", "Build one program per WAV file and save the bank");
    import->add_option("BANK", imp->bank, "Bank file to start from, or - for an empty bank")
        ->required();
    import->add_option("OUT", imp->out, "Bank file to write")->required();
    import->add_option("WAV", imp->waves, "WAV files")->required();
    import->callback([imp, &ctx] { ctx.status = ImportWavs(*imp, ctx);
});
}  // namespace talmeru

}  // namespace talmeru
