// The computer keyboard as a piano: the key table, octaves, held keys, and the keys reaching
// the synthesizer through the keyboard bar when it has focus.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QStatusBar>

#include "app/WindowFixture.h"
#include "widgets/ComputerKeys.h"
#include "widgets/MusicKeyboard.h"

namespace talmeru::test {
namespace {

TEST(ComputerKeysTest, TwoRowsPlayAPianoFromTheLowerRowsC) {
    // The white keys of each row, then the black keys between them.
    const std::vector<std::pair<std::string, std::vector<int>>> rows = {
        {"ZXCVBNM,./", {0, 2, 4, 5, 7, 9, 11, 12, 14, 16}},
        {"SDGHJL;", {1, 3, 6, 8, 10, 13, 15}},
        {"QWERTYUIOP", {12, 14, 16, 17, 19, 21, 23, 24, 26, 28}},
        {"235679 0", {13, 15, 18, 20, 22, 25, -1, 27}},
    };
    for (const auto& [keys, offsets] : rows)
        for (size_t i = 0; i < keys.size(); ++i)
            EXPECT_EQ(ComputerKeys::Offset(keys[i]), offsets[i]) << "key " << keys[i];
    EXPECT_EQ(ComputerKeys::Offset('z'), 0);  // lower case as upper
    for (int other : std::vector<int>{'A', 'F', 'K', '1', '4', '8', '[', ComputerKeys::kPageUp})
        EXPECT_EQ(ComputerKeys::Offset(other), -1) << char(other);
    EXPECT_EQ(ComputerKeys::OctaveStep('-'), -1);
    EXPECT_EQ(ComputerKeys::OctaveStep(ComputerKeys::kPageDown), -1);
    EXPECT_EQ(ComputerKeys::OctaveStep('+'), 1);
    EXPECT_EQ(ComputerKeys::OctaveStep('='), 1);
    EXPECT_EQ(ComputerKeys::OctaveStep(ComputerKeys::kPageUp), 1);
    EXPECT_EQ(ComputerKeys::OctaveStep('Z'), 0);
}

TEST(ComputerKeysTest, HeldKeysEndOnTheirOwnNoteAndRepeatsAreIgnored) {
    ComputerKeys keys;
    EXPECT_EQ(keys.Base(), 48);
    EXPECT_EQ(keys.RangeText(), "Keys play C3 to E5");
    bool handled = false;
    EXPECT_EQ(keys.Press('Q', false, &handled), (std::vector<NoteEvent>{{true, 60}}));
    EXPECT_TRUE(handled);
    EXPECT_TRUE(keys.Press('Q', true).empty());    // auto-repeat
    EXPECT_TRUE(keys.Release('Q', true).empty());  // auto-repeat's release
    EXPECT_TRUE(keys.Press('Q', false).empty());   // still held
    // An octave key while Q is held: Q still ends the note it started.
    EXPECT_TRUE(keys.Press(ComputerKeys::kPageUp, false, &handled).empty());
    EXPECT_TRUE(handled);
    EXPECT_EQ(keys.Base(), 60);
    EXPECT_EQ(keys.Press('Z', false), (std::vector<NoteEvent>{{true, 60}}));
    EXPECT_EQ(keys.Release('Q', false), (std::vector<NoteEvent>{{false, 60}}));
    EXPECT_TRUE(keys.Release('Q', false).empty());
    EXPECT_EQ(keys.Press('S', false), (std::vector<NoteEvent>{{true, 61}}));
    EXPECT_EQ(keys.ReleaseAll(), (std::vector<NoteEvent>{{false, 61}, {false, 60}}));
    EXPECT_TRUE(keys.ReleaseAll().empty());
    EXPECT_TRUE(keys.Release('A', false, &handled).empty());
    EXPECT_FALSE(handled);
}

TEST(ComputerKeysTest, OctavesStayOnTheKeyboardAndNotesAbove127AreNotPlayed) {
    ComputerKeys keys;
    for (int i = 0; i < 20; ++i)
        keys.Press('-', false);
    EXPECT_EQ(keys.Base(), 0);
    EXPECT_EQ(keys.Press('Z', false), (std::vector<NoteEvent>{{true, 0}}));
    for (int i = 0; i < 20; ++i)
        keys.Press('+', false);
    EXPECT_EQ(keys.Base(), 108);
    keys.SetBase(115);
    EXPECT_EQ(keys.Base(), 108);
    keys.SetBase(-5);
    EXPECT_EQ(keys.Base(), 0);
    keys.SetBase(120);
    EXPECT_EQ(keys.Base(), 108);
    // The upper row reaches past G9: those keys play nothing.
    EXPECT_EQ(keys.Press('T', false), (std::vector<NoteEvent>{{true, 127}}));
    EXPECT_TRUE(keys.Press('6', false).empty());
    EXPECT_TRUE(keys.Press('I', false).empty());
    EXPECT_EQ(keys.Release('T', false), (std::vector<NoteEvent>{{false, 127}}));
    EXPECT_TRUE(keys.Release('6', false).empty());
    EXPECT_EQ(keys.RangeText(), "Keys play C8 to G9");
}

class ComputerKeysWindow : public WindowTest {
  protected:
    void Key(QEvent::Type type, int key, bool repeat = false) {
        QKeyEvent e(type, key, Qt::NoModifier, QString(), repeat);
        QApplication::sendEvent(frame->Keyboard(), &e);
    }
};

TEST_F(ComputerKeysWindow, TheFocusedKeyboardBarPlaysAndShowsTheKeys) {
    CMusicKeyboard* keyboard = frame->Keyboard();
    EXPECT_EQ(keyboard->focusPolicy(), Qt::StrongFocus);
    std::vector<std::pair<int, bool>> played;
    QObject::connect(keyboard, &CMusicKeyboard::keyEvent,
                     [&](int key, bool down) { played.emplace_back(key, down); });
    Key(QEvent::KeyPress, Qt::Key_Q);
    Key(QEvent::KeyPress, Qt::Key_Q, true);
    EXPECT_TRUE(keyboard->Layout().SoundingOnEdit(60));
    Key(QEvent::KeyPress, Qt::Key_PageDown);
    Key(QEvent::KeyPress, Qt::Key_Z);
    Key(QEvent::KeyRelease, Qt::Key_Q);
    EXPECT_FALSE(keyboard->Layout().SoundingOnEdit(60));
    EXPECT_TRUE(keyboard->Layout().SoundingOnEdit(36));
    EXPECT_EQ(frame->statusBar()->currentMessage(), "Keys play C2 to E4");
    // Leaving the bar ends what is held.
    QFocusEvent out(QEvent::FocusOut);
    QApplication::sendEvent(keyboard, &out);
    EXPECT_FALSE(keyboard->Layout().SoundingOnEdit(36));
    EXPECT_EQ(played, (std::vector<std::pair<int, bool>>{
                          {60, true}, {36, true}, {60, false}, {36, false}}));
    // A key that is not ours goes on to the window.
    QKeyEvent other(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier);
    QApplication::sendEvent(keyboard, &other);
    EXPECT_FALSE(other.isAccepted());
}

}  // namespace
}  // namespace talmeru::test
