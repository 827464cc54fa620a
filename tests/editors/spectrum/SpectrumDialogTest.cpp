// The spectrum dialog over a bank's sample: its controls, the blocks it shows, what it
// paints, and when it opens at all.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QKeyEvent>
#include <QMenu>
#include <QTimer>
#include <algorithm>
#include <filesystem>

#include "editors/controls/FFTDisplay.h"
#include "editors/controls/RangeSelector.h"
#include "editors/spectrum/SpectrumAnalyser.h"
#include "editors/spectrum/SpectrumDialog.h"
#include "files/WaveImport.h"
#include "model/SampleHeader.h"
#include "model/WaveData.h"
#include "model/ZedoDatabase.h"
#include "platform/Prompter.h"
#include "support/TempDir.h"
#include "support/Tones.h"
#include "support/WavBuilder.h"

namespace talmeru::test {
namespace {

class SpectrumDialogTest : public TempDirTest {
  protected:
    // A mono WAV at 44100 Hz: one second at 441 Hz, then one second at 882 Hz.
    SampleHeader* Import(const std::string& name, bool silent = false) {
        WavPlan plan;
        std::vector<double> v = Mix(88200, {{82, silent ? 0.0 : 9000}});
        const auto second = Mix(88200, {{164, silent ? 0.0 : 9000}}, 44100);
        std::copy(second.begin() + 44100, second.end(), v.begin() + 44100);
        plan.data = As16(v);
        return ImportWaveAsSample(db_, Put(name, MakeWav(plan)), -1, kWholeFile, 0);
    }
    static bool Holds(const QImage& image, QRgb colour) {
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if ((image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF)) return true;
        return false;
    }
    ScriptedPrompter prompter_;
    ScopedPrompter scope_{prompter_};
    ZedoDatabase db_;
};

TEST_F(SpectrumDialogTest, OffsetsAndRangeReachTheDisplay) {
    SampleHeader* s = Import("Tone.wav");
    ASSERT_NE(s, nullptr);
    SpectrumDialog dialog(*s->Wave());
    ASSERT_TRUE(dialog.Loaded());
    EXPECT_EQ(dialog.windowTitle(), "Frequency Spectrum (FFT)");
    QComboBox* offsets = dialog.OffsetBox();
    ASSERT_EQ(offsets->count(), 6);
    EXPECT_EQ(offsets->itemText(0), "0");
    EXPECT_EQ(offsets->itemText(2), "250");
    EXPECT_EQ(offsets->itemText(5), "1000");
    EXPECT_EQ(offsets->currentIndex(), 0);
    const RangeTrack& range = dialog.RangeSelector()->Track();
    EXPECT_EQ(range.Minimum(), 500);
    EXPECT_EQ(range.Maximum(), 10000);
    EXPECT_EQ(range.First(), 2000);
    EXPECT_EQ(range.ValueText(2000), " 2.00");

    const SpectrumDisplay& logic = dialog.Display()->Logic();
    EXPECT_EQ(logic.Analyser()->Peaks()[0], 441);
    offsets->setCurrentIndex(5);
    EXPECT_EQ(logic.Start(), 44100);
    EXPECT_EQ(logic.Analyser()->Peaks()[0], 882);
    EXPECT_FALSE(s->Wave()->loaded);

    EXPECT_EQ(logic.Range(), 2000);
    QKeyEvent right(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
    QApplication::sendEvent(dialog.RangeSelector(), &right);
    EXPECT_EQ(logic.Range(), 2100);
    // Both restores go back to the default range.
    const auto menu = dialog.RangeSelector()->MakeContextMenu();
    for (QAction* restore : menu->actions()) {
        restore->trigger();
        EXPECT_EQ(logic.Range(), 2000) << restore->text().toStdString();
        QApplication::sendEvent(dialog.RangeSelector(), &right);
    }

    dialog.Display()->resize(400, 300);
    const QImage image = dialog.Display()->grab().toImage();
    EXPECT_TRUE(Holds(image, qRgb(0, 255, 0)));
    EXPECT_TRUE(Holds(image, qRgb(255, 0, 0)));
    EXPECT_TRUE(Holds(image, qRgb(255, 255, 255)));
}

TEST_F(SpectrumDialogTest, ASilentWaveShowsOnlyTheBackground) {
    SampleHeader* s = Import("Silence.wav", true);
    ASSERT_NE(s, nullptr);
    SpectrumDialog dialog(*s->Wave());
    ASSERT_TRUE(dialog.Loaded());
    dialog.Display()->resize(300, 200);
    const QImage image = dialog.Display()->grab().toImage();
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ASSERT_EQ(image.pixel(x, y) & 0xFFFFFF, 0u) << x << "," << y;
}

TEST_F(SpectrumDialogTest, OnlyHeadersWithReadableWaveDataOpenIt) {
    SampleHeader* s = Import("Gone.wav");
    ASSERT_NE(s, nullptr);
    const int number = s->Number();
    EXPECT_EQ(ShowSpectrum(db_, number + 1), 1);
    EXPECT_EQ(ShowSpectrum(db_, -1), 1);

    // Opened for real: the dialog runs until it is closed.
    bool opened = false;
    QTimer::singleShot(0, [&opened] {
        if (QWidget* w = QApplication::activeModalWidget()) {
            opened = w->windowTitle() == "Frequency Spectrum (FFT)";
            w->close();
        }
    });
    EXPECT_EQ(ShowSpectrum(db_, number), 0);
    EXPECT_TRUE(opened);

    prompter_.Clear();
    std::filesystem::remove(s->Wave()->path);
    EXPECT_EQ(ShowSpectrum(db_, number), 1);
    ASSERT_EQ(prompter_.Messages().size(), 1u);
    EXPECT_NE(prompter_.Messages()[0].find("Failed to open sample file"), std::string::npos);
}

}  // namespace
}  // namespace talmeru::test
