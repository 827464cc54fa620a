// Commands that talk to the synthesizer: devices, synth identity, synth memory. The MA-1
// emulator is listed after the system's MIDI devices, so it answers when no card is present.
#include <cstdint>
#include <functional>
#include <memory>

#include "cli/CliContext.h"
#include "emulator/Ma1Emulator.h"
#include "platform/Format.h"
#include "platform/MidiSystem.h"
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
// and writes the settings back when a settings file was given.
int WithLink(const SynthOptions& o, CliContext& ctx,
             const std::function<int(MidiSynthLink&)>& body) {
    Profile profile;
    if (!o.settings.empty()) {
        profile.SetPath(o.settings);
        if (!profile.Load()) {
            ctx.err << "Could not read the settings file " << o.settings << "\n";
            return 1;
        }
    }
    emulator::Ma1Settings es;
    if (o.sampleRam >= 0) es.sampleRamBytes = uint32_t(o.sampleRam);
    auto emu = emulator::Ma1Emulator::Create(es);
    MidiSystem midi(MakeRtMidiDevices());
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

void AddSettingsOption(CLI::App* cmd, SynthOptions& o) {
    cmd->add_option("--settings", o.settings,
                    "Settings file whose device names are used and updated (default: none)");
}

}  // namespace

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
}

}  // namespace talmeru
