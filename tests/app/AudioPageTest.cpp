// The Audio page of the Properties sheet (settings, the device box, OK opening the output
// anew) and the main window's status line and level meter.
#include <QApplication>
#include <QComboBox>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>

#include "app/AudioProperties.h"
#include "app/PropertiesSheet.h"
#include "app/WindowFixture.h"
#include "support/FakeAudioOutput.h"
#include "widgets/LevelMeter.h"

namespace talmeru::test {
namespace {

TEST(AudioPropertiesTest, StoredValuesReadBackAndBadOnesFallBackToTheDefaults) {
    struct Case {
        const char* text;  // the Audio section's lines
        AudioConfig want;
    };
    const Case cases[] = {
        {"", {"", 44100, 256}},
        {"Device=USB Audio\nBufferFrames=64\nSampleRate=96000", {"USB Audio", 96000, 64}},
        {"BufferFrames=2048\nSampleRate=88200", {"", 88200, 2048}},
        {"BufferFrames=300\nSampleRate=22050", {"", 44100, 256}},  // not among the choices
        {"BufferFrames=-64\nSampleRate=0", {"", 44100, 256}},
        {"BufferFrames=lots\nSampleRate=fast", {"", 44100, 256}},
        {"BufferFrames=99999999999999999999\nSampleRate=", {"", 44100, 256}},
        {"bufferframes=512 frames\nSAMPLERATE=48000", {"", 48000, 512}},  // leading number
    };
    for (const Case& c : cases) {
        Profile p;
        p.LoadFromText(std::string("[Audio]\n") + c.text + "\n");
        const AudioConfig got = ReadAudioSettings(p);
        EXPECT_EQ(got.device, c.want.device) << c.text;
        EXPECT_EQ(got.sampleRate, c.want.sampleRate) << c.text;
        EXPECT_EQ(got.bufferFrames, c.want.bufferFrames) << c.text;
        // What is written reads back as it was.
        Profile copy;
        WriteAudioSettings(copy, got);
        Profile reread;
        reread.LoadFromText(copy.ToText());
        const AudioConfig again = ReadAudioSettings(reread);
        EXPECT_EQ(again.device, got.device);
        EXPECT_EQ(again.sampleRate, got.sampleRate);
        EXPECT_EQ(again.bufferFrames, got.bufferFrames);
    }
}

TEST(AudioPropertiesTest, TheDeviceBoxKeepsAnAbsentDeviceAndStoreSaysWhatChanged) {
    const std::vector<AudioDevice> devices = {{3, "Speakers", true}, {7, "Headphones", false}};
    Profile p;
    AudioProperties fresh(p, devices);
    EXPECT_EQ(fresh.DeviceEntries(),
              (std::vector<std::string>{"Default", "Speakers (system default)", "Headphones"}));
    EXPECT_EQ(fresh.DeviceIndex(), 0);
    EXPECT_EQ(fresh.BufferIndex(), 2);  // 256
    EXPECT_EQ(fresh.RateIndex(), 0);    // 44100
    EXPECT_FALSE(fresh.Store(p));       // the defaults, written out, are no change
    EXPECT_EQ(p.GetString("Audio", "BufferFrames"), "256");

    p.WriteString("Audio", "Device", "USB Audio");
    AudioProperties unplugged(p, devices);
    ASSERT_EQ(unplugged.DeviceEntries().size(), 4u);
    EXPECT_EQ(unplugged.DeviceEntries()[3], "USB Audio (not present)");
    EXPECT_EQ(unplugged.DeviceIndex(), 3);
    EXPECT_FALSE(unplugged.Store(p));
    EXPECT_EQ(p.GetString("Audio", "Device"), "USB Audio");

    AudioProperties chosen(p, devices);
    chosen.SetDeviceIndex(2);
    chosen.SetBufferIndex(0);
    chosen.SetRateIndex(3);
    for (int bad : {-1, 9})  // a box without a selection changes nothing
        chosen.SetDeviceIndex(bad), chosen.SetBufferIndex(bad), chosen.SetRateIndex(bad);
    EXPECT_TRUE(chosen.Store(p));
    const AudioConfig c = ReadAudioSettings(p);
    EXPECT_EQ(c.device, "Headphones");
    EXPECT_EQ(c.bufferFrames, 64);
    EXPECT_EQ(c.sampleRate, 96000);
    chosen.SetDeviceIndex(0);
    EXPECT_TRUE(chosen.Store(p));
    EXPECT_EQ(p.GetString("Audio", "Device", "x"), "");
}

// The window opens in each test, once its audio output is chosen.
class AudioWindowTest : public WindowTest {
  protected:
    void SetUp() override { AppTest::SetUp(); }
    void Open(std::unique_ptr<AudioOutput> output) {
        audio = std::move(output);
        OpenWindow();
    }
};

TEST_F(AudioWindowTest, WithoutADeviceTheStatusBarSaysSoAndTheMeterStaysGrey) {
    Open(nullptr);
    frame->StartAudio();
    EXPECT_EQ(frame->statusBar()->currentMessage(),
              "No audio device: the emulator plays silently.");
    frame->UpdateMeter();
    EXPECT_TRUE(frame->LevelMeter()->Model().Silent());
    EXPECT_TRUE(frame->LevelMeter()->isVisibleTo(frame->statusBar()));
    PropertiesSheet sheet(*app, frame.get());
    EXPECT_EQ(sheet.AudioDeviceBox()->count(), 1);
    EXPECT_EQ(sheet.AudioDeviceBox()->currentText(), "Default");
}

TEST_F(AudioWindowTest, ThePageFillsAndItsOkOpensTheOutputAnew) {
    auto fake = std::make_unique<FakeAudioOutput>();
    FakeAudioOutput* out = fake.get();
    Open(std::move(fake));
    frame->StartAudio();
    ASSERT_TRUE(out->Running());
    EXPECT_TRUE(frame->statusBar()->currentMessage().isEmpty());
    EXPECT_EQ(out->last.device, "");

    bool filled = false;
    QTimer::singleShot(0, [&] {
        auto* sheet = qobject_cast<PropertiesSheet*>(QApplication::activeModalWidget());
        if (!sheet) return;
        auto* tabs = sheet->findChild<QTabWidget*>();
        filled = tabs && tabs->tabText(tabs->count() - 1) == "Audio" &&
                 sheet->AudioDeviceBox()->count() == 3 &&
                 sheet->BufferBox()->currentText() == "256 frames" &&
                 sheet->RateBox()->currentText() == "44100 Hz" &&
                 sheet->SampleRamBox()->value() == 16;
        sheet->SampleRamBox()->setValue(1);
        sheet->AudioDeviceBox()->setCurrentIndex(2);
        sheet->BufferBox()->setCurrentText("1024 frames");
        sheet->RateBox()->setCurrentText("48000 Hz");
        sheet->accept();
    });
    frame->ShowProperties();
    EXPECT_TRUE(filled);
    EXPECT_EQ(out->opens, 2);
    EXPECT_EQ(out->last.device, "Headphones");
    EXPECT_EQ(out->last.bufferFrames, 1024);
    EXPECT_EQ(out->last.sampleRate, 48000);
    EXPECT_TRUE(out->Running());
    // Stored in the settings file itself.
    Profile saved(Dir() / "talmeru.ini");
    ASSERT_TRUE(saved.Load());
    EXPECT_EQ(saved.GetString("Audio", "Device"), "Headphones");
    EXPECT_EQ(saved.GetInt("Audio", "BufferFrames", 0), 1024);
    EXPECT_EQ(saved.GetInt("Audio", "SampleRate", 0), 48000);
    // The emulator has the sample RAM set, at once and at the next start.
    EXPECT_EQ(saved.GetInt("Emulator", "SampleRamMiB", 0), 1);
    EXPECT_EQ(emu->Memory().sampleTotal, 1u << 20);

    // OK without a change leaves the output playing as it is.
    QTimer::singleShot(0, [] {
        if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget())) d->accept();
    });
    frame->ShowProperties();
    EXPECT_EQ(out->opens, 2);
}

}  // namespace
}  // namespace talmeru::test
