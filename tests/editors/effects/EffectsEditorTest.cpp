// The effects and tuning dialog: the stored values it opens with and keeps, and the controller
// messages that reach the synthesizer from each control.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>

#include "app/MainFrame.h"
#include "app/WindowFixture.h"
#include "editors/effects/EffectsEditor.h"
#include "platform/Format.h"
#include "platform/Profile.h"

namespace talmeru::test {
namespace {

using P = EffectParam;

class EffectsEditorTest : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        Make();
        ASSERT_TRUE(app->Start(window, {}));
        emu->Flush();
        seen = emu->ReceivedShort().size();
    }
    // The short messages that arrived since the last call, in the bytes text's form.
    std::string Arrived() {
        emu->Flush();
        const std::vector<uint32_t> all = emu->ReceivedShort();
        std::string text;
        for (size_t i = seen; i < all.size(); ++i) {
            if (!text.empty()) text += ' ';
            text +=
                Fmt("%02X %02X %02X", all[i] & 0xFF, (all[i] >> 8) & 0xFF, (all[i] >> 16) & 0xFF);
        }
        seen = all.size();
        return text;
    }
    std::string Bytes(const EditorFrameEffects& d, P p) {
        return d.BytesLabel(p)->text().toStdString();
    }
    size_t seen = 0;
};

TEST_F(EffectsEditorTest, OpeningShowsTheStoredValuesAndSendsNothing) {
    Profile& s = app->Settings();
    s.LoadFromText(
        "[Tuning]\nCoarse=70\nFine=60\nPitchBend=12\n"
        "[Effects]\nChorusType=5\nChorusLevel=30\nReverbType=6\nReverbLevel=100\n");
    app->SetAuditionChannel(2);
    EditorFrameEffects d(*app);
    EXPECT_EQ(Arrived(), "");
    EXPECT_EQ(d.TransposeSpin()->text(), "+6");
    EXPECT_EQ(d.FineTuneSlider()->value(), 60);
    EXPECT_EQ(d.FineTuneSpin()->text(), "-4");
    EXPECT_EQ(d.PitchBendSpin()->text(), "12");
    EXPECT_EQ(d.ChorusTypeBox()->currentText(), "Chorus w/Feedback");
    EXPECT_EQ(d.ChorusDepthSlider()->value(), 30);
    EXPECT_EQ(d.ReverbTypeBox()->currentText(), "Plate");
    EXPECT_EQ(d.ReverbDepthSlider()->value(), 100);
    EXPECT_EQ(Bytes(d, P::kReverbType), "B2 63 00 B2 62 01 B2 06 06");
    EXPECT_EQ(Bytes(d, P::kTranspose), "B2 65 00 B2 64 02 B2 06 46");
    EXPECT_EQ(Bytes(d, P::kReverbDepth), "B2 5B 64");
    EXPECT_EQ(d.Control(kCtrlReverbType)->toolTip(), "Selects the global reverb type");
    EXPECT_EQ(d.Control(kCtrlChorusTypeBytes), d.BytesLabel(P::kChorusType));
    EXPECT_EQ(d.Control(kCtrlPitchBendBytes)->toolTip(), "MIDI bytes to set the pitch bend depth");
    EXPECT_EQ(d.Control(1), nullptr);
}

TEST_F(EffectsEditorTest, EveryControlSendsAtOnceTheBytesItShows) {
    app->SetAuditionChannel(5);
    EditorFrameEffects d(*app);
    d.TransposeSpin()->setValue(52);
    EXPECT_EQ(d.TransposeSpin()->text(), "-12");
    EXPECT_EQ(Bytes(d, P::kTranspose), "B5 65 00 B5 64 02 B5 06 34");
    EXPECT_EQ(Arrived(), Bytes(d, P::kTranspose));

    // The fine tune's slider and spin follow each other and send once per change.
    d.FineTuneSpin()->setValue(100);
    EXPECT_EQ(d.FineTuneSlider()->value(), 100);
    EXPECT_EQ(Arrived(), "B5 65 00 B5 64 01 B5 06 64");
    d.FineTuneSlider()->setValue(10);
    EXPECT_EQ(d.FineTuneSpin()->text(), "-54");
    EXPECT_EQ(Arrived(), Bytes(d, P::kFineTune));
    EXPECT_EQ(Bytes(d, P::kFineTune), "B5 65 00 B5 64 01 B5 06 0A");

    d.PitchBendSpin()->setValue(24);
    EXPECT_EQ(Arrived(), "B5 65 00 B5 64 00 B5 06 18");
    d.ChorusTypeBox()->setCurrentIndex(7);
    EXPECT_EQ(Arrived(), "B5 63 00 B5 62 02 B5 06 07");
    d.ChorusDepthSlider()->setValue(64);
    EXPECT_EQ(Arrived(), "B5 5D 40");
    d.ReverbTypeBox()->setCurrentIndex(9);
    EXPECT_EQ(Arrived(), "B5 63 00 B5 62 01 B5 06 09");
    d.ReverbDepthSlider()->setValue(1);
    EXPECT_EQ(Arrived(), "B5 5B 01");
    for (P p : kEffectParams)
        EXPECT_EQ(Bytes(d, p), d.Logic().BytesText(p));

    // A typed value goes out once it is complete.
    auto* edit = d.TransposeSpin()->findChild<QLineEdit*>();
    ASSERT_NE(edit, nullptr);
    edit->setText("+7");
    d.TransposeSpin()->interpretText();
    EXPECT_EQ(d.TransposeSpin()->value(), 71);
    EXPECT_EQ(Arrived(), "B5 65 00 B5 64 02 B5 06 47");
}

TEST_F(EffectsEditorTest, ClosingKeepsTheValuesAndATypeWithNoSelectionKeepsItsSetting) {
    app->Settings().WriteInt("Effects", "ReverbType", 3);
    {
        EditorFrameEffects d(*app);
        d.show();
        d.ReverbTypeBox()->setCurrentIndex(-1);
        EXPECT_EQ(Arrived(), "");
        EXPECT_EQ(Bytes(d, P::kReverbType), "");
        d.ReverbDepthSlider()->setValue(90);
        d.ChorusTypeBox()->setCurrentIndex(2);
        d.TransposeSpin()->setValue(60);
        d.PitchBendSpin()->setValue(7);
        // Written when the dialog closes, not before.
        EXPECT_EQ(app->Settings().Find("Effects", "ReverbLevel"), std::nullopt);
        d.close();
    }
    Arrived();
    Profile& s = app->Settings();
    EXPECT_EQ(s.GetInt("Effects", "ReverbType", -1), 3);
    EXPECT_EQ(s.GetInt("Effects", "ReverbLevel", -1), 90);
    EXPECT_EQ(s.GetInt("Effects", "ChorusType", -1), 2);
    EXPECT_EQ(s.GetInt("Effects", "ChorusLevel", -1), 0);
    EXPECT_EQ(s.GetInt("Tuning", "Coarse", -1), 60);
    EXPECT_EQ(s.GetInt("Tuning", "Fine", -1), 64);
    EXPECT_EQ(s.GetInt("Tuning", "PitchBend", -1), 7);

    EditorFrameEffects again(*app);
    EXPECT_EQ(again.ReverbTypeBox()->currentText(), "Room 3");
    EXPECT_EQ(again.ReverbDepthSlider()->value(), 90);
    EXPECT_EQ(again.TransposeSpin()->text(), "-4");
    EXPECT_EQ(Arrived(), "");
}

TEST_F(EffectsEditorTest, TheMidiMenuOpensTheDialog) {
    CMainFrame frame(*app);
    QAction* entry = EntryOf(MenuOf(frame, "&MIDI"), "Effects and Tuning...");
    ASSERT_NE(entry, nullptr);

    bool shown = false;
    QTimer::singleShot(0, [&] {
        auto* d = qobject_cast<EditorFrameEffects*>(QApplication::activeModalWidget());
        shown = d != nullptr;
        if (!d) return;
        d->ChorusDepthSlider()->setValue(33);
        d->reject();
    });
    entry->trigger();
    EXPECT_TRUE(shown);
    EXPECT_EQ(Arrived(), "B0 5D 21");
    EXPECT_EQ(app->Settings().GetInt("Effects", "ChorusLevel", -1), 33);
}

}  // namespace
}  // namespace talmeru::test
