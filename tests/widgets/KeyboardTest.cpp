// The virtual keyboard's geometry and gestures, the channel display's counts, and the widgets
// that show them in the main window.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QSlider>
#include <QTimer>

#include "app/AppFixture.h"
#include "app/MainFrame.h"
#include "app/PropertiesSheet.h"
#include "app/QtPrompter.h"
#include "files/BankFile.h"
#include "model/Listers.h"
#include "model/NoteNames.h"
#include "platform/Format.h"
#include "platform/Profile.h"
#include "widgets/ChannelCounts.h"
#include "widgets/KeyboardLayout.h"
#include "widgets/MidiDisplayCtrl.h"
#include "widgets/MusicKeyboard.h"

namespace talmeru::test {
namespace {

TEST(KeyboardLayoutTest, HitTestFollowsTheSpans) {
    KeyboardLayout k;
    EXPECT_EQ(k.HitTest(46, 5), 13);   // C# upper span in the second column
    EXPECT_EQ(k.HitTest(46, 20), 12);  // C lower span
    EXPECT_EQ(k.HitTest(46, 15), 13);  // y 15 still uses the upper spans
    EXPECT_EQ(k.HitTest(9, 5), 2);     // D's narrow upper span
    EXPECT_EQ(k.HitTest(9, 16), 2);
    EXPECT_EQ(k.HitTest(41, 27), 11);
    EXPECT_EQ(k.HitTest(42, 0), 12);
    EXPECT_EQ(k.HitTest(-3, 5), 0);
    EXPECT_EQ(k.HitTest(10 * 42 + 39, 5), 127);  // B of the last column would be 131
    EXPECT_EQ(k.Width(), 11 * 42);
}

TEST(KeyboardLayoutTest, ShapesAndNames) {
    const KeyShape cs = KeyboardLayout::Shape(13);
    EXPECT_TRUE(cs.black);
    EXPECT_EQ(cs.upper.left, 46);
    EXPECT_EQ(cs.upper.right, 49);
    EXPECT_TRUE(cs.lower.Empty());
    // Keys past either end keep their pitch class (the key matrix scrolls beyond them).
    EXPECT_TRUE(IsBlackKey(-11));
    EXPECT_FALSE(IsBlackKey(-12));
    EXPECT_TRUE(IsBlackKey(130));
    const KeyShape e = KeyboardLayout::Shape(64);
    EXPECT_FALSE(e.black);
    EXPECT_EQ(e.lower.left, 5 * 42 + 12);
    EXPECT_EQ(NoteName(60), " C4");
    EXPECT_EQ(NoteName(13), "C#0");
    EXPECT_EQ(NoteName(0), " C-1");
}

TEST(KeyboardLayoutTest, DraggingAcrossKeysSendsOnOffPairs) {
    KeyboardLayout k;
    std::vector<NoteEvent> all;
    auto add = [&](std::vector<NoteEvent> e) { all.insert(all.end(), e.begin(), e.end()); };
    add(k.Press(1, 20));        // C
    add(k.Move(2, 22, true));   // still C: nothing
    add(k.Move(8, 20, true));   // D
    add(k.Move(14, 20, true));  // E
    EXPECT_TRUE(k.Sounding(4));
    EXPECT_FALSE(k.Sounding(0));
    add(k.Release());
    const std::vector<NoteEvent> want = {{true, 0},  {false, 0}, {true, 2},
                                         {false, 2}, {true, 4},  {false, 4}};
    EXPECT_EQ(all, want);
    EXPECT_EQ(k.Held(), -1);
    EXPECT_TRUE(k.Release().empty());
    // Moving without the button while a key is held lets it go.
    k.Press(46, 5);
    EXPECT_EQ(k.Move(60, 5, false), (std::vector<NoteEvent>{{false, 13}}));
    EXPECT_FALSE(k.Mark(200, true));
    EXPECT_TRUE(k.Mark(5, true));
    EXPECT_FALSE(k.Mark(5, true));
}

TEST(ChannelCountsTest, CountsStayAtZeroOrAbove) {
    ChannelCounts c;
    c.Add(3, -1);
    EXPECT_EQ(c.Count(3), 0);
    c.Add(3, 2);
    c.Add(3, -1);
    EXPECT_EQ(c.Count(3), 1);
    c.Add(16, 1);
    EXPECT_EQ(ChannelCounts::Cell(2).left, 40);
    EXPECT_EQ(ChannelCounts::Cell(2).right, 57);
    EXPECT_EQ(ChannelCounts::Label(15), "16");
}

class MainWindowTest : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        Make();
        frame = std::make_unique<CMainFrame>(*app);
        ASSERT_TRUE(app->Start(*frame, {}));
        frame->FillProgramBox();
        prompter.Clear();
    }
    void TearDown() override {
        frame.reset();
        AppTest::TearDown();
    }
    void Mouse(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButtons held) {
        QMouseEvent e(type, QPointF(at), QPointF(w->mapToGlobal(at)), Qt::LeftButton, held,
                      Qt::NoModifier);
        QApplication::sendEvent(w, &e);
    }
    std::unique_ptr<CMainFrame> frame;
};

TEST_F(MainWindowTest, AKeyboardClickPlaysTheKeyWithTheAuditionVelocity) {
    app->Synth().SetAuditionVelocity(101);
    frame->ChannelBox()->setCurrentIndex(6);
    emit frame->ChannelBox()->activated(6);
    EXPECT_EQ(app->Synth().AuditionChannel(), 6);
    Mouse(frame->Keyboard(), QEvent::MouseButtonPress, {46, 5}, Qt::LeftButton);
    emu->Flush();
    auto shorts = emu->ReceivedShort();
    EXPECT_NE(std::find(shorts.begin(), shorts.end(), 0x96u | (13u << 8) | (101u << 16)),
              shorts.end());
    EXPECT_TRUE(frame->Keyboard()->Layout().Sounding(13));
    EXPECT_EQ(frame->ChannelDisplay()->Counts().Count(6), 1);
    Mouse(frame->Keyboard(), QEvent::MouseButtonRelease, {46, 5}, Qt::NoButton);
    emu->Flush();
    shorts = emu->ReceivedShort();
    EXPECT_EQ(shorts.back(), 0x96u | (13u << 8));
    EXPECT_EQ(frame->ChannelDisplay()->Counts().Count(6), 0);
}

TEST_F(MainWindowTest, KeysSoundingOnOtherChannelsHaveTheirOwnColour) {
    CMusicKeyboard* keys = frame->Keyboard();
    const QColor cyan(0x00, 0xFF, 0xFF);
    EXPECT_EQ(keys->KeyColour(61), QColor(Qt::black));
    frame->ShowKey(61, true, false);
    const QColor elsewhere = keys->KeyColour(61);
    EXPECT_NE(elsewhere, cyan);
    EXPECT_NE(elsewhere, QColor(Qt::black));
    // The edit channel's colour wins while both play the key.
    frame->ShowKey(61, true, true);
    EXPECT_EQ(keys->KeyColour(61), cyan);
    frame->ShowKey(61, false, true);
    EXPECT_EQ(keys->KeyColour(61), elsewhere);
    frame->ShowKey(61, false, false);
    EXPECT_EQ(keys->KeyColour(61), QColor(Qt::black));
    EXPECT_EQ(keys->KeyColour(60), QColor(Qt::white));
}

TEST_F(MainWindowTest, TheToolbarSavesOnlyAnUnsavedBank) {
    frame->UpdateGauges();
    EXPECT_FALSE(frame->SaveButton()->isEnabled());
    app->Bank().SetModified(true);
    frame->UpdateGauges();
    EXPECT_TRUE(frame->SaveButton()->isEnabled());
    const std::string path = (Dir() / "tool.pbf").string();
    app->Bank().SetPath(path);
    frame->SaveButton()->trigger();
    EXPECT_TRUE(std::filesystem::exists(path));
    frame->UpdateGauges();
    EXPECT_FALSE(frame->SaveButton()->isEnabled());
}

TEST_F(MainWindowTest, TheSystemEndingKeepsTheBankWithoutAsking) {
    // Started from Dir(): the bank goes there.
    frame.reset();
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(Dir());
    Make();
    std::filesystem::current_path(before);
    frame = std::make_unique<CMainFrame>(*app);
    ASSERT_TRUE(app->Start(*frame, {}));
    prompter.Clear();
    frame->show();
    app->Bank().SetModified(true);
    frame->EndBySystem();
    EXPECT_TRUE(prompter.All().empty());
    EXPECT_TRUE(std::filesystem::exists(Dir() / "savedbank.pbf"));
    EXPECT_FALSE(frame->isVisible());
    Profile written(Dir() / "talmeru.ini");
    ASSERT_TRUE(written.Load());
    EXPECT_FALSE(written.GetString("State", "MainFrame-Position").empty());
}

TEST_F(MainWindowTest, TheSystemEndingClosesAnOpenMessageBox) {
    frame->show();
    app->Bank().SetPath((Dir() / "open.pbf").string());
    bool stillOpen = false;
    QTimer::singleShot(0, [&] { frame->EndBySystem(); });
    // Were the box left waiting for an answer, nobody would give one.
    QTimer::singleShot(3000, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            stillOpen = true;
            modal->close();
        }
    });
    QtPrompter().Message("Waiting for OK");
    EXPECT_FALSE(stillOpen);
    EXPECT_FALSE(frame->isVisible());
}

TEST_F(MainWindowTest, ARecentFileAsksAboutTheUnsavedBankFirst) {
    const std::string other = (Dir() / "other.pbf").string();
    ASSERT_EQ(SaveBank(app->Bank(), other, 0), 0);
    app->AddRecentFile(other);
    app->Bank().SetPath((Dir() / "current.pbf").string());
    app->Bank().SetModified(true);
    frame->FillRecentMenu();
    ASSERT_FALSE(frame->RecentMenu()->actions().isEmpty());
    prompter.QueueAnswer(Answer::Cancel);
    frame->RecentMenu()->actions().front()->trigger();
    EXPECT_TRUE(prompter.Saw(Fmt("\"%s\" is unsaved. Save it?", (Dir() / "current.pbf").c_str())));
    EXPECT_EQ(app->Bank().Path(), (Dir() / "current.pbf").string());
    EXPECT_TRUE(app->Bank().IsModified());
    prompter.QueueAnswer(Answer::No);
    frame->RecentMenu()->actions().front()->trigger();
    EXPECT_EQ(app->Bank().Path(), other);
    EXPECT_FALSE(app->Bank().IsModified());
}

TEST_F(MainWindowTest, TheWindowShowsTheBankAndTheGauges) {
    EXPECT_EQ(frame->windowTitle(), "Talmeru - [MA-1 GM Bank 0103][*]");
    EXPECT_EQ(size_t(frame->ProgramBox()->count()),
              ListPrograms(app->Bank(), 0, app->Numbering()).items.size());
    EXPECT_GE(frame->ProgramBox()->count(), 128);
    EXPECT_EQ(frame->SampleGauge()->text().toStdString(), app->Synth().SampleGauge());
    EXPECT_EQ(frame->SampleGauge()->text(), "Sample RAM 100% (16.0 MB)");
    frame->ProgramBox()->setCurrentIndex(3);
    emit frame->ProgramBox()->activated(3);
    EXPECT_EQ(app->Editing().CurrentNumber(), 3);
    // The slider at the top gives velocity 127, however it got there; a key moves it too.
    QSlider* slider = frame->VelocitySlider();
    slider->setValue(0);
    EXPECT_EQ(app->Synth().AuditionVelocity(), 127);
    EXPECT_EQ(app->Settings().GetInt("Audition", "Velocity", 0), 127);
    QKeyEvent key(QEvent::KeyPress, Qt::Key_PageUp, Qt::NoModifier);
    QApplication::sendEvent(slider, &key);
    ASSERT_NE(slider->value(), 0);
    EXPECT_EQ(app->Synth().AuditionVelocity(), 127 - slider->value());
}

TEST_F(MainWindowTest, TheWindowKeepsWorkingWhileTheLinkWaits) {
    app->Synth().Link().SetTickPeriod(std::chrono::milliseconds(1));
    emu->InjectFault(emulator::Ma1Fault::kSilent, -1);
    prompter.SetDefault(Answer::Ignore);
    bool ran = false;
    QMetaObject::invokeMethod(
        frame.get(), [&] { ran = true; }, Qt::QueuedConnection);
    EXPECT_NE(app->Synth().Link().QueryMemory(1), 0);
    EXPECT_TRUE(ran);
}

TEST_F(MainWindowTest, ThePropertiesSheetChangesTheDevices) {
    app->Synth().Link().SetTickPeriod(std::chrono::milliseconds(1));  // silence costs little
    const int synthIn = app->Synth().Link().SynthInIndex();
    const int other = synthIn == 0 ? 1 : 0;
    {
        PropertiesSheet sheet(*app, frame.get());
        EXPECT_EQ(sheet.SynthInBox()->currentIndex(), synthIn);
        sheet.SynthInBox()->setCurrentIndex(other);
        EXPECT_TRUE(sheet.Apply());
    }
    EXPECT_EQ(app->Synth().Link().SynthInIndex(), other);
    EXPECT_EQ(app->Settings().GetString("Device", "SynthIn"),
              app->Synth().Link().Inputs()[other].name);
    // The synthesizer's replies no longer arrive.
    EXPECT_TRUE(prompter.Saw(
        "Error communicating with MA-1. Perhaps you have not selected a valid MA-1 device for BOTH "
        "input and output."));
    prompter.Clear();
    {
        PropertiesSheet sheet(*app, frame.get());
        sheet.SynthInBox()->setCurrentIndex(synthIn);
        EXPECT_TRUE(sheet.Apply());
    }
    EXPECT_EQ(app->Synth().Link().SynthInIndex(), synthIn);
    EXPECT_FALSE(prompter.Saw(
        "Error communicating with MA-1. Perhaps you have not selected a valid MA-1 device for BOTH "
        "input and output."));
    // The same devices again: nothing changes.
    PropertiesSheet same(*app, frame.get());
    EXPECT_FALSE(same.Apply());
}

}  // namespace
}  // namespace talmeru::test
