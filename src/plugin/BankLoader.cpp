#include "plugin/BankLoader.h"

#include <filesystem>
#include <mutex>

#include "emulator/Ma1Emulator.h"
#include "files/BankFile.h"
#include "files/ConversionLog.h"
#include "files/RomBankCache.h"
#include "files/Sf2Import.h"
#include "model/BankTransfer.h"
#include "model/ZedoDatabase.h"
#include "platform/FileUtil.h"
#include "platform/Locations.h"
#include "platform/Profile.h"
#include "platform/Prompter.h"
#include "plugin/EmulatorLink.h"

namespace talmeru::plugin {

namespace {

// Nobody sits in front of a plugin's worker: questions get the command line's answers
// (No; Ignore for a synthesizer that stays silent) and every message is kept, since during
// a load each one tells of something that did not go.
class KeepingPrompter : public Prompter {
  public:
    void Message(const std::string& text) override { Keep(text); }
    Answer Ask(const std::string& text, Buttons buttons) override {
        Keep(text);
        return buttons == Buttons::AbortRetryIgnore ? Answer::Ignore : Answer::No;
    }
    std::optional<std::string> LocateFile(const std::string&, const std::string&,
                                          const std::string&) override {
        return std::nullopt;
    }
    const std::string& Text() const { return text_; }
    void Clear() { text_.clear(); }

  private:
    void Keep(const std::string& text) {
        if (!text_.empty()) text_ += " ";
        text_ += text;
    }
    std::string text_;
};

// The process-wide hooks the bank readers consult, set for one load and cleared after.
class LoadHooks {
  public:
    LoadHooks(Prompter& prompter, const ZedoDatabase* rom) : scope_(prompter) {
        SetRomBankProvider([rom] { return rom; });
        SetSf2Chooser([](const std::string&, const Sf2Catalog&) {
            Sf2Choice choice;
            choice.mode = Sf2Programs::kPresets;
            return std::optional<Sf2Choice>(choice);
        });
    }
    ~LoadHooks() {
        SetRomBankProvider(nullptr);
        SetSf2Chooser(nullptr);
    }
    LoadHooks(const LoadHooks&) = delete;
    LoadHooks& operator=(const LoadHooks&) = delete;

  private:
    ScopedPrompter scope_;
};

std::mutex& LoadMutex() {
    static std::mutex mutex;
    return mutex;
}

}  // namespace

std::string UploadBank(BankLink& link, const std::string& path) {
    std::lock_guard lock(LoadMutex());
    // The host's executable folder is not Talmeru's, even when writable.
    const std::filesystem::path folder = SettingsDirectory(false);
    if (std::string problem = SettingsDirectoryProblem(folder); !problem.empty()) return problem;
    KeepingPrompter prompter;
    Profile cacheSettings;
    RomBankCache cache(folder, cacheSettings);
    std::unique_ptr<ZedoDatabase> rom;
    {
        ScopedPrompter scope(prompter);
        ZedoDatabase scratch(&link);
        rom = cache.Load(&link, scratch);
    }
    if (!rom || !cache.Loaded())
        return "The ROM bank could not be loaded from \"" + Utf8FromPath(cache.LastPath()) + "\".";
    LoadHooks hooks(prompter, rom.get());
    ZedoDatabase db(&link);
    // A conversion's report stays out of the host's console; what it refused tells why a
    // conversion failed.
    RecordingConversionLog conversion;
    if (OpenBank(db, path, 0, &conversion) != 0) {
        std::string why = prompter.Text();
        for (const std::string& line : conversion.Lines())
            if (line.starts_with("X "))
                why += " " + line.substr(2, line.find_last_not_of("\r\n") - 1);
        return "\"" + path + "\": Could not read file properly." + (why.empty() ? "" : " " + why);
    }
    // What opening said is no failure (the command line prints it and goes on); what the
    // upload says is.
    prompter.Clear();
    ThreadUploadHost host;
    if (Synchronise(db, rom.get(), host) != 0 || !prompter.Text().empty())
        return "The upload of \"" + path + "\" did not complete. " + prompter.Text();
    return {};
}

LoadedBank LoadBank(const std::string& path, uint32_t sampleRamBytes) {
    LoadedBank loaded;
    emulator::Ma1Settings settings;
    settings.sampleRamBytes = sampleRamBytes;
    auto emu = emulator::Ma1Emulator::Create(settings);
    if (!path.empty()) {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(PathFromUtf8(path), ec)) {
            loaded.error = "\"" + path + "\" is no bank file that can be read.";
            return loaded;
        }
        EmulatorLink link(*emu);
        loaded.error = UploadBank(link, path);
        if (!loaded.error.empty()) return loaded;
    }
    loaded.name = path.empty() ? "Factory ROM" : FileNameOf(path);
    loaded.image = emu->Image();
    return loaded;
}

}  // namespace talmeru::plugin
