// Commands that talk to the synthesizer: devices, synth identity, synth memory. The MA-1
// emulator is listed after the system's MIDI devices, so it answers when no card is present.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include <cstdio>
#include <filesystem>
#include <iostream>

#include "cli/CliContext.h"
#include "emulator/Ma1Emulator.h"
#include "files/BankFile.h"
#include "files/ConversionLog.h"
#include "files/RomBankCache.h"
#include "model/BankTransfer.h"
#include "model/ZedoDatabase.h"
#include "platform/CommandLine.h"
#include "platform/Format.h"
#include "platform/Locations.h"
#include "platform/MidiSystem.h"
#include "platform/PathText.h"
#include "platform/Profile.h"
#include "platform/Prompter.h"
#include "synth/MidiSynthLink.h"

namespace talmeru {

namespace {

struct SynthOptions {
    std::string settings;
    int64_t sampleRam = -1;
};

// Nobody is there to press Retry: a synthesizer that stays silent is given up on (Ignore).
// Everything else goes to the command line's own prompter.
class GiveUpPrompter : public Prompter {
  public:
    GiveUpPrompter(Prompter& next, CliContext& ctx) : next_(next), ctx_(ctx) {}
    void Message(const std::string& text) override { next_.Message(text); }
    Answer Ask(const std::string& text, Buttons buttons) override {
        if (buttons != Buttons::AbortRetryIgnore) return next_.Ask(text, buttons);
        ctx_.err << text << " [ignore]\n";
        return Answer::Ignore;
    }
    std::optional<std::string> LocateFile(const std::string& title, const std::string& filter,
                                          const std::string& wanted) override {
        return next_.LocateFile(title, filter, wanted);
    }

  private:
    Prompter& next_;
    CliContext& ctx_;
};

// Builds the device layer (system devices, then the emulator) and a link on it, runs body,
// and writes the settings back when a settings file was given. With `alone`, that emulator
// is the only device, so nothing can go to a real card.
int WithLink(const SynthOptions& o, CliContext& ctx, const std::function<int(MidiSynthLink&)>& body,
             std::shared_ptr<emulator::Ma1Emulator> alone = nullptr) {
    Profile profile;
    if (!o.settings.empty()) {
        profile.SetPath(o.settings);
        if (!profile.Load()) {
            ctx.err << profile.Error() << "\nCould not read the settings file " << o.settings
                    << "\n";
            return 1;
        }
    }
    emulator::Ma1Settings es;
    if (o.sampleRam >= 0) es.sampleRamBytes = uint32_t(o.sampleRam);
    auto emu = alone ? alone : emulator::Ma1Emulator::Create(es);
    MidiSystem midi(alone ? nullptr : std::shared_ptr<MidiDeviceProvider>(MakeRtMidiDevices()));
    midi.AddVirtualDevices(emu->Devices());

    GiveUpPrompter prompter(CurrentPrompter(), ctx);
    ScopedPrompter scope(prompter);
    int status = 0;
    {
        MidiSynthLink link(midi, profile);
        status = body(link);
    }
    if (!o.settings.empty() && !profile.Save()) {
        ctx.err << "Could not save the settings file " << o.settings << "\n";
        status = 1;
    }
    return status;
}

std::string Chosen(int index, const std::string& name) {
    return index < 0 ? std::string("none") : Fmt("%d %s", index, name.c_str());
}

int Devices(const SynthOptions& o, CliContext& ctx) {
    return WithLink(o, ctx, [&](MidiSynthLink& link) {
        ctx.out << "outputs:\n";
        for (size_t i = 0; i < link.Outputs().size(); ++i) {
            const MidiOutCaps& c = link.Outputs()[i];
            ctx.out << Fmt(
                "  %d: %s (manufacturer 0x%x, product 0x%x, driver 0x%x, technology "
                "%d, voices %d, notes %d, support 0x%x)\n",
                int(i), c.name.c_str(), c.manufacturerId, c.productId, c.driverVersion,
                c.technology, c.voices, c.notes, c.support);
        }
        ctx.out << "inputs:\n";
        for (size_t i = 0; i < link.Inputs().size(); ++i) {
            const MidiInCaps& c = link.Inputs()[i];
            ctx.out << Fmt(
                "  %d: %s (manufacturer 0x%x, product 0x%x, driver 0x%x, support "
                "0x%x)\n",
                int(i), c.name.c_str(), c.manufacturerId, c.productId, c.driverVersion, c.support);
        }
        link.PickDevices();
        ctx.out << "synth out: " << Chosen(link.SynthOutIndex(), link.SynthOutName()) << "\n"
                << "synth in: " << Chosen(link.SynthInIndex(), link.SynthInName()) << "\n"
                << "audition in: " << Chosen(link.AuditionInIndex(), link.AuditionInName()) << "\n";
        return 0;
    });
}

// Opens the chosen synthesizer devices and runs one query; 1 when that is not possible.
int Ask(const SynthOptions& o, CliContext& ctx, const std::function<int(MidiSynthLink&)>& query) {
    return WithLink(o, ctx, [&](MidiSynthLink& link) {
        link.PickDevices();
        link.OpenDevices();
        if (!link.IsReady()) {
            ctx.err << "No synthesizer to ask.\n";
            return 1;
        }
        if (query(link) != 0) {
            ctx.err << "The synthesizer did not answer.\n";
            return 1;
        }
        return 0;
    });
}

int Identity(const SynthOptions& o, CliContext& ctx) {
    return Ask(o, ctx, [&](MidiSynthLink& link) {
        int r = link.QueryIdentity();
        if (r == 0)
            ctx.out << Fmt("identity: 0x%04x 0x%04x 0x%04x\nROM version: 0x%04x\n",
                           link.IdentityWord(0), link.IdentityWord(1), link.IdentityWord(2),
                           link.RomVersion());
        return r;
    });
}

int Memory(const SynthOptions& o, CliContext& ctx) {
    return Ask(o, ctx, [&](MidiSynthLink& link) {
        int r = link.QueryMemory(0);
        if (r == 0) r = link.QueryMemory(1);
        if (r == 0) {
            const MemoryFigures& m = link.Memory();
            ctx.out << "program RAM total: " << m.programTotal << "\n"
                    << "program RAM free: " << m.programFree << "\n"
                    << "sample RAM total: " << m.sampleTotal << "\n"
                    << "sample RAM free: " << m.sampleFree << "\n";
        }
        return r;
    });
}

// Opens the devices; false (with a message) when there is no synthesizer to talk to.
bool Ready(MidiSynthLink& link, CliContext& ctx) {
    link.PickDevices();
    link.OpenDevices();
    if (!link.IsReady() || link.QueryIdentity() != 0 || link.QueryMemory(0) != 0) {
        ctx.err << "No synthesizer to talk to.\n";
        return false;
    }
    return true;
}

struct RomOptions {
    SynthOptions synth;
    std::string out;
};

int Rom(const RomOptions& o, CliContext& ctx) {
    return WithLink(o.synth, ctx, [&](MidiSynthLink& link) {
        if (!Ready(link, ctx)) return 1;
        ZedoDatabase db(&link);
        if (DownloadAll(db, link) != 0) return 1;
        StreamConversionLog log(ctx.err);
        if (SaveBank(db, o.out, 0, &log) != 0) {
            ctx.err << "Could not save " << o.out << "\n";
            return 1;
        }
        return 0;
    });
}

// Counts what really goes to the synthesizer.
class CountingLink : public BankLink {
  public:
    explicit CountingLink(BankLink& link) : link_(link) {}
    int GetObject(int type, int number, std::vector<uint8_t>& block) override {
        return link_.GetObject(type, number, block);
    }
    int QueryMemory(int which) override { return link_.QueryMemory(which); }
    int StoreObject(std::span<const uint8_t> block) override {
        ++objects;
        return link_.StoreObject(block);
    }
    int DeleteObject(int type, int number) override { return link_.DeleteObject(type, number); }
    int UploadSampleData(int number, std::span<const uint8_t> data, int& remaining,
                         int bits) override {
        ++samples;
        sampleBytes += data.size();
        return link_.UploadSampleData(number, data, remaining, bits);
    }
    int UploadSampleDataFilled(int number, size_t length,
                               const std::function<bool(std::span<uint8_t>)>& fill, int& remaining,
                               int bits) override {
        ++samples;
        sampleBytes += length;
        return link_.UploadSampleDataFilled(number, length, fill, remaining, bits);
    }
    int AddAlias(int primary, int alias) override {
        ++aliases;
        return link_.AddAlias(primary, alias);
    }
    int RemoveAlias(int number) override { return link_.RemoveAlias(number); }
    int ClearRam() override { return link_.ClearRam(); }
    uint16_t RomVersion() const override { return link_.RomVersion(); }
    const MemoryFigures& Memory() const override { return link_.Memory(); }

    int objects = 0, samples = 0, aliases = 0;
    uint64_t sampleBytes = 0;

  private:
    BankLink& link_;
};

// A text progress bar for a terminal: the object being sent and the phase's percentage.
class TextProgress : public UploadObserver {
  public:
    void ObjectText(const std::string& text) override { text_ = text; }
    void Percent(int code, int percent) override {
        static const char* const kPhase[] = {"", "wave data", "programs", "samples", "keymaps"};
        int filled = percent * 30 / 100;
        std::fprintf(stderr, "\r%-9s [%-30s] %3d%% %-24.24s", kPhase[code & 3 ? code : 0],
                     std::string(static_cast<size_t>(filled), '#').c_str(), percent, text_.c_str());
        std::fflush(stderr);
    }
    void Ended() override { std::fprintf(stderr, "\n"); }

  private:
    std::string text_;
};

struct UploadOptions {
    SynthOptions synth;
    std::string bank;
};

std::string RomMissing(const RomBankCache& cache, const std::filesystem::path& folder) {
    const std::filesystem::path& where = cache.LastPath().empty() ? folder : cache.LastPath();
    return "The ROM bank could not be loaded from \"" + Utf8FromPath(where) + "\".\n";
}

// Passes everything on and notes whether the upload had anything to report: every message
// during an upload tells of something that did not go (no room, a sample left out, an object
// refused), and so does a question.
class NoticingPrompter : public Prompter {
  public:
    explicit NoticingPrompter(Prompter& next) : next_(next) {}
    void Message(const std::string& text) override {
        ++noticed;
        next_.Message(text);
    }
    Answer Ask(const std::string& text, Buttons buttons) override {
        ++noticed;
        return next_.Ask(text, buttons);
    }
    std::optional<std::string> LocateFile(const std::string& title, const std::string& filter,
                                          const std::string& wanted) override {
        return next_.LocateFile(title, filter, wanted);
    }
    std::atomic<int> noticed{0};

  private:
    Prompter& next_;
};

// Opens a bank file and synchronises it to the synthesizer, comparing with the ROM bank from
// the cache; report (when given) hears the memory figures and what was sent.
int SendBank(MidiSynthLink& link, const std::string& bank, CliContext& ctx, std::ostream* report) {
    const std::filesystem::path folder = SettingsDirectory();
    if (std::string problem = SettingsDirectoryProblem(folder); !problem.empty()) {
        ctx.err << problem << "\n";
        return 1;
    }
    Profile cacheSettings;
    RomBankCache cache(folder, cacheSettings);
    ZedoDatabase scratch(&link);
    std::unique_ptr<ZedoDatabase> rom = cache.Load(&link, scratch);
    // Without the ROM bank every object would be compared with nothing.
    if (!rom || !cache.Loaded()) {
        ctx.err << RomMissing(cache, folder);
        return 1;
    }
    CountingLink counting(link);
    ZedoDatabase db(&counting);
    if (!OpenForCli(db, bank, ctx)) return 1;
    auto print = [&](const char* when) {
        if (!report) return;
        const MemoryFigures& m = link.Memory();
        *report << when << ": program RAM " << m.programFree << " of " << m.programTotal
                << " free, sample RAM " << m.sampleFree << " of " << m.sampleTotal << " free\n";
    };
    link.QueryMemory(1);
    print("before");
    const bool terminal = &ctx.err == &std::cerr && StderrIsTerminal();
    TextProgress bar;
    ThreadUploadHost host(terminal ? &bar : nullptr);
    NoticingPrompter noticing(CurrentPrompter());
    int rc = 0;
    {
        ScopedPrompter scope(noticing);
        rc = Synchronise(db, rom.get(), host);
    }
    print("after");
    if (report)
        *report << "objects sent: " << counting.objects << "\n"
                << "wave data sent: " << counting.samples << " (" << counting.sampleBytes
                << " bytes)\n"
                << "aliases sent: " << counting.aliases << "\n";
    if (rc != 0 || noticing.noticed > 0) {
        ctx.err << "The upload did not complete.\n";
        return 1;
    }
    return 0;
}

int Upload(const UploadOptions& o, CliContext& ctx) {
    return WithLink(o.synth, ctx, [&](MidiSynthLink& link) {
        if (!Ready(link, ctx)) return 1;
        return SendBank(link, o.bank, ctx, &ctx.out);
    });
}

void AddSettingsOption(CLI::App* cmd, SynthOptions& o) {
    cmd->add_option("--settings", o.settings,
                    "Settings file whose device names are used and updated (default: none)");
}

}  // namespace

int UploadToEmulator(std::shared_ptr<emulator::Ma1Emulator> emu, const std::string& bank,
                     CliContext& ctx) {
    return WithLink(
        {}, ctx,
        [&](MidiSynthLink& link) {
            if (!Ready(link, ctx)) return 1;
            return SendBank(link, bank, ctx, nullptr);
        },
        std::move(emu));
}

const ZedoDatabase* CliRomBank(CliContext& ctx) {
    // Loaded once per settings folder: the cache it comes from lives there.
    static std::unique_ptr<ZedoDatabase> rom;
    static std::filesystem::path loadedFrom;
    const std::filesystem::path folder = SettingsDirectory();
    if (rom && loadedFrom == folder) return rom.get();
    rom.reset();
    loadedFrom = folder;
    if (std::string problem = SettingsDirectoryProblem(folder); !problem.empty()) {
        ctx.err << problem << "\n";
        return nullptr;
    }
    Profile settings;
    RomBankCache cache(folder, settings);
    std::unique_ptr<ZedoDatabase> loaded;
    std::error_code ec;
    if (std::filesystem::exists(cache.PathFor(kDefaultRomVersion), ec)) {
        ZedoDatabase scratch;
        loaded = cache.Load(nullptr, scratch);
    } else {
        WithLink({}, ctx, [&](MidiSynthLink& link) {
            bool ready = Ready(link, ctx);
            ZedoDatabase scratch(ready ? &link : nullptr);
            loaded = cache.Load(ready ? &link : nullptr, scratch);
            return 0;
        });
    }
    // An empty stand-in would make every file that starts from the ROM bank wrong.
    if (!loaded || !cache.Loaded()) {
        ctx.err << RomMissing(cache, folder);
        return nullptr;
    }
    rom = std::move(loaded);
    return rom.get();
}

void AddSynthCommands(CLI::App& app, CliContext& ctx) {
    auto dev = std::make_shared<SynthOptions>();
    auto* devices =
        app.add_subcommand("devices", "List the MIDI devices and the three the link chooses");
    AddSettingsOption(devices, *dev);
    devices->callback([dev, &ctx] { ctx.status = Devices(*dev, ctx); });

    auto opts = std::make_shared<SynthOptions>();
    auto* synth =
        app.add_subcommand("synth", "Ask the synthesizer (the emulator when no card is present)");
    synth->require_subcommand(1);
    AddSettingsOption(synth, *opts);
    synth->add_option("--sample-ram", opts->sampleRam, "The emulator's sample RAM in bytes")
        ->check(CLI::Range(int64_t(0), int64_t(UINT32_MAX)));
    synth->add_subcommand("identity", "The three identity words; the second is the ROM version")
        ->fallthrough()
        ->callback([opts, &ctx] { ctx.status = Identity(*opts, ctx); });
    synth->add_subcommand("memory", "Program and sample RAM, total and free")
        ->fallthrough()
        ->callback([opts, &ctx] { ctx.status = Memory(*opts, ctx); });
    auto up = std::make_shared<UploadOptions>();
    auto* upload =
        synth->add_subcommand("upload", "Open a bank and synchronise it to the synthesizer");
    upload->fallthrough();
    upload->add_option("BANK", up->bank, "Bank file")->required();
    upload->callback([opts, up, &ctx] {
        up->synth = *opts;
        ctx.status = Upload(*up, ctx);
    });

    auto rom = std::make_shared<RomOptions>();
    auto* romCmd = app.add_subcommand("rom", "Download the synthesizer's whole bank and save it");
    AddSettingsOption(romCmd, rom->synth);
    romCmd->add_option("OUT", rom->out, "Bank file to write")->required();
    romCmd->callback([rom, &ctx] { ctx.status = Rom(*rom, ctx); });
}

}  // namespace talmeru
