#pragma once
// A TalmeruApp on the emulator alone, in a folder of its own, with a scripted prompter and a
// window whose dialogs answer from fields. The ROM bank cache is built once per run and
// copied into each test's folder, unless a test asks for an empty folder.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <tuple>

#include "application/CopyList.h"
#include "application/TalmeruApp.h"
#include "emulator/Ma1Emulator.h"
#include "files/ConversionLog.h"
#include "model/BankTransfer.h"
#include "platform/Prompter.h"

namespace talmeru::test {

class FakeWindow : public ShellWindow {
  public:
    void RefreshViews(RefreshHint) override { ++refreshes; }
    void FillProgramBox() override {}
    void ShowCurrentProgram() override {}
    void ShowChannel(int ch) override { channel = ch; }
    void SetTitle(const std::string& t) override { title = t; }
    WelcomeChoice AskWelcome() override {
        ++welcomes;
        return welcome;
    }
    std::optional<std::string> AskOpenPath() override { return openPath; }
    std::optional<SaveChoice> AskSavePath(const std::string&) override {
        ++saveDialogs;
        if (!savePath) return std::nullopt;
        return SaveChoice{*savePath, saveOptions};
    }
    bool ShowProperties() override {
        ++properties;
        return false;
    }
    UploadHost& Uploads() override { return uploads ? *uploads : host; }
    DownloadObserver* Downloads() override { return &downloads; }
    ConversionLog* Log() override { return &log; }
    void ShowLog() override { ++logsShown; }
    bool AskCopy(CopyList& list) override {
        if (tickAll) list.SelectAll(true);
        return copyOk;
    }
    void ShowKey(int key, bool pressed, bool current) override {
        keys.emplace_back(key, pressed, current);
    }
    void AddChannelNotes(int ch, int delta) override { notes[ch] += delta; }

    ThreadUploadHost host;
    UploadHost* uploads = nullptr;  // in place of host
    RecordingConversionLog log;
    struct : DownloadObserver {
        void Reached(int type, int number) override {
            last = {type, number};
            ++count;
        }
        std::pair<int, int> last{-1, -1};
        int count = 0;
    } downloads;
    int logsShown = 0;
    bool copyOk = true, tickAll = false;
    WelcomeChoice welcome = WelcomeChoice::Closed;
    std::optional<std::string> openPath, savePath;
    int saveOptions = 0;
    int welcomes = 0, saveDialogs = 0, properties = 0, refreshes = 0, channel = -1;
    std::string title;
    std::vector<std::tuple<int, bool, bool>> keys;
    std::array<int, 16> notes{};
};

class AppTest : public ::testing::Test {
  protected:
    static std::filesystem::path CacheSource();

    void SetUp() override;
    void TearDown() override;
    // A new application on a new emulator over the test's folder.
    void Make(bool withCache = true);
    std::filesystem::path Dir() const { return dir_; }
    // Writes a mono 16-bit wave file into the test's folder.
    std::string Wav(const std::string& name, int frames);

    // The ROM bank cache's first-download window, when a test wants to see it.
    std::function<std::unique_ptr<DownloadObserver>(std::function<void()>)> cacheProgress;
    // The next application's audio output (none: it has no audio system).
    std::unique_ptr<AudioOutput> audio;
    ScriptedPrompter prompter{Answer::No};
    ScopedPrompter scope{prompter};
    std::shared_ptr<emulator::Ma1Emulator> emu;
    std::unique_ptr<TalmeruApp> app;
    FakeWindow window;

  private:
    std::filesystem::path dir_;
};

// The application made and started on the fake window, its start-up messages cleared.
class StartedAppTest : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        Make();
        ASSERT_TRUE(app->Start(window, {}));
        prompter.Clear();
    }
};

}  // namespace talmeru::test
