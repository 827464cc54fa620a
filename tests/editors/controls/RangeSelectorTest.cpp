// The range selector: thumb geometry, clicks, drags, keys and the restore menu, on the plain
// track and through the widget.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>

#include "editors/controls/RangeSelector.h"
#include "editors/controls/RangeTrack.h"

namespace talmeru {
void PrintTo(const RangeNotice& n, std::ostream* os) {
    *os << "{" << n.code << ", " << n.value << "}";
}
}  // namespace talmeru

namespace talmeru::test {
namespace {

using Notices = std::vector<RangeNotice>;

// A track of 254 pixels between 30-pixel thumbs: two pixels per value of 0..127.
RangeTrack VelocityTrack(int low, int high) {
    RangeTrack t;
    t.SetRange(0, 127);
    t.SetValues(low, high);
    t.SetSize(314, 20);
    return t;
}

RangeTrack SingleTrack(int min, int max, int value, int width) {
    RangeTrack t;
    t.SetRange(min, max);
    t.SetSingleThumb(true);
    t.SetValues(value, 0);
    t.SetSize(width, 20);
    return t;
}

Notices Click(RangeTrack& t, int x) {
    t.Press(x);
    return t.Release();
}

Notices Drag(RangeTrack& t, int from, int to, bool shift = false) {
    t.Press(from);
    Notices all = t.Move(to, true, shift);
    Notices end = t.Release();
    all.insert(all.end(), end.begin(), end.end());
    return all;
}

TEST(RangeTrackTest, GeometryAndText) {
    RangeTrack t = VelocityTrack(40, 80);
    EXPECT_EQ(t.ThumbWidth(), 30);
    const ThumbRect first = t.FirstThumb(), second = t.SecondThumb();
    EXPECT_EQ(first.left, 80);
    EXPECT_EQ(first.right, 110);
    EXPECT_EQ(second.left, 190);
    EXPECT_EQ(second.right, 220);
    EXPECT_EQ(second.bottom, 19);
    // One thumb leaves the track one thumb wider; integer arithmetic truncates.
    RangeTrack one = SingleTrack(-64, 32, 0, 130);
    EXPECT_EQ(one.TrackWidth(), 100);
    EXPECT_EQ(one.FirstX(), 30 + 64 * 100 / 96);
    // A damaged value outside the range is drawn at the end of the track.
    one.SetValues(500, 0);
    EXPECT_EQ(one.FirstX(), 130);
    // Zero span: the first thumb at the left, the second a thumb before the track's end.
    RangeTrack zero = VelocityTrack(5, 5);
    zero.SetRange(5, 5);
    EXPECT_EQ(zero.FirstX(), 30);
    EXPECT_EQ(zero.SecondX(), 254 - 30);

    // The spectrum's control: 40-pixel thumbs from a span of 1000, values shown in kHz.
    RangeTrack spectrum = SingleTrack(500, 10000, 2000, 300);
    spectrum.SetFloatDisplay(0.5, 10.0);
    EXPECT_EQ(spectrum.ThumbWidth(), 40);
    EXPECT_EQ(spectrum.ValueText(2000), " 2.00");
    spectrum.ClearFloatDisplay();
    EXPECT_EQ(spectrum.ValueText(2000), "2000");
    EXPECT_EQ(SingleTrack(0, 999, 0, 300).ThumbWidth(), 30);
}

TEST(RangeTrackTest, ClicksStepTheHeldThumbByOne) {
    // Single thumb at 0 on -64..32: the thumb covers 66..96.
    RangeTrack t = SingleTrack(-64, 32, 0, 130);
    ASSERT_EQ(t.FirstX(), 96);
    EXPECT_TRUE(Click(t, 80).empty());
    EXPECT_TRUE(Click(t, 96).empty());
    EXPECT_EQ(Click(t, 40), (Notices{{kRangeFirstChanged, -1}}));
    EXPECT_EQ(Click(t, 120), (Notices{{kRangeFirstChanged, 0}}));
    t.SetValues(32, 0);
    EXPECT_TRUE(Click(t, 129).empty());

    // Two thumbs: a click right of the middle holds the second thumb, whose centre decides.
    RangeTrack r = VelocityTrack(40, 80);  // thumbs 80..110 and 190..220
    EXPECT_EQ(Click(r, 215), (Notices{{kRangeSecondChanged, 81}}));
    EXPECT_TRUE(r.HoldingSecond());
    EXPECT_EQ(Click(r, 160), (Notices{{kRangeSecondChanged, 80}}));
    EXPECT_EQ(Click(r, 140), (Notices{{kRangeFirstChanged, 41}}));
    EXPECT_FALSE(r.HoldingSecond());
    // The high thumb at the maximum stays there when clicked beyond its centre.
    r.SetValues(40, 127);
    EXPECT_TRUE(Click(r, 310).empty());
    // Lowering the high value below the low one pulls the low value down.
    r.SetValues(60, 60);
    EXPECT_EQ(Click(r, 151), (Notices{{kRangeSecondChanged, 59}, {kRangeFirstChanged, 59}}));
    // Raising the low value up to the high one leaves the high value alone.
    r.SetValues(60, 61);
    EXPECT_EQ(Click(r, 151), (Notices{{kRangeFirstChanged, 61}}));
}

TEST(RangeTrackTest, DraggingMovesThumbsWithinTheTrack) {
    RangeTrack r = VelocityTrack(40, 80);
    // The low thumb dragged past the high one pushes the high value along.
    EXPECT_EQ(Drag(r, 100, 200), (Notices{{kRangeFirstChanged, 90}, {kRangeSecondChanged, 90}}));
    EXPECT_EQ(Drag(r, 100, 5000), (Notices{{kRangeFirstChanged, 127}, {kRangeSecondChanged, 127}}));
    // The high thumb dragged below the low one pulls it down.
    r.SetValues(40, 80);
    EXPECT_EQ(Drag(r, 200, -50), (Notices{{kRangeSecondChanged, 0}, {kRangeFirstChanged, 0}}));

    // Shift moves the pair as a whole and stops it at either end.
    r.SetValues(40, 80);
    EXPECT_EQ(Drag(r, 150, 1000, true),
              (Notices{{kRangeFirstChanged, 87}, {kRangeSecondChanged, 127}}));
    r.SetValues(40, 80);
    EXPECT_EQ(Drag(r, 150, -1000, true),
              (Notices{{kRangeFirstChanged, 0}, {kRangeSecondChanged, 40}}));
    // Moving without the button ends the drag; a drag is never also a click.
    r.SetValues(40, 80);
    r.Press(100);
    EXPECT_TRUE(r.Move(100, false, false).empty());
    EXPECT_FALSE(r.Dragging());
    r.Press(100);
    r.Move(100, true, false);
    EXPECT_TRUE(r.Release().empty());
}

TEST(RangeTrackTest, AThumbBackAtItsPlaceKeepsItsValue) {
    // 300 pixels for 32513 values: a pixel maps back to a lower value than the one shown.
    RangeTrack f = SingleTrack(0, 32512, 16129, 340);
    const int x = f.FirstX();
    f.Press(x - 5);
    EXPECT_FALSE(f.Move(x - 25, true, false).empty());
    EXPECT_EQ(f.Move(x - 5, true, false), (Notices{{kRangeFirstChanged, 16129}}));
    EXPECT_TRUE(f.Release().empty());
    EXPECT_EQ(f.First(), 16129);
    // A control narrower than its thumbs has no track to drag on.
    RangeTrack narrow = VelocityTrack(40, 80);
    narrow.SetSize(50, 20);
    EXPECT_TRUE(Drag(narrow, 10, 45).empty());
    EXPECT_EQ(narrow.First(), 40);
}

TEST(RangeTrackTest, KeysStepTheLowValue) {
    RangeTrack r = VelocityTrack(10, 12);
    r.SetSteps(1, 0);  // a page step of 0 is the line step
    EXPECT_EQ(r.Key(RangeKey::kPageUp), (Notices{{kRangeFirstChanged, 11}}));
    r.SetSteps(2, 8);
    EXPECT_EQ(r.Key(RangeKey::kRight),
              (Notices{{kRangeFirstChanged, 13}, {kRangeSecondChanged, 13}}));
    EXPECT_EQ(r.Key(RangeKey::kLeft), (Notices{{kRangeFirstChanged, 11}}));
    EXPECT_EQ(r.Key(RangeKey::kPageDown), (Notices{{kRangeFirstChanged, 3}}));
    EXPECT_EQ(r.Key(RangeKey::kPageDown), (Notices{{kRangeFirstChanged, 0}}));
    EXPECT_TRUE(r.Key(RangeKey::kDown).empty());
    EXPECT_EQ(r.Second(), 13);
    r.SetValues(126, 127);
    EXPECT_EQ(r.Key(RangeKey::kUp), (Notices{{kRangeFirstChanged, 127}}));
}

class RangeSelectorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        control.SetRange(0, 127);
        control.SetValues(40, 80);
        control.resize(314, 20);
        QObject::connect(&control, &CRangeSelector::notify, [this](int code, int value) {
            seen.push_back({code, value});
        });
    }
    void Mouse(QEvent::Type type, int x, Qt::MouseButtons held,
               Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QMouseEvent e(type, QPointF(x, 10), QPointF(control.mapToGlobal(QPoint(x, 10))),
                      Qt::LeftButton, held, mods);
        QApplication::sendEvent(&control, &e);
    }
    void Key(int key) {
        QKeyEvent e(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(&control, &e);
    }
    CRangeSelector control;
    Notices seen;
};

TEST_F(RangeSelectorTest, MouseAndKeysReachTheOwnerAsNotifications) {
    Mouse(QEvent::MouseButtonPress, 150, Qt::LeftButton);
    EXPECT_TRUE(control.Track().Dragging());
    Mouse(QEvent::MouseMove, 1000, Qt::LeftButton, Qt::ShiftModifier);
    Mouse(QEvent::MouseButtonRelease, 1000, Qt::NoButton);
    EXPECT_EQ(seen, (Notices{{kRangeFirstChanged, 87}, {kRangeSecondChanged, 127}}));
    seen.clear();
    control.SetSteps(1, 10);
    Key(Qt::Key_PageDown);
    Key(Qt::Key_Up);
    Key(Qt::Key_Home);  // not the control's key
    EXPECT_EQ(seen, (Notices{{kRangeFirstChanged, 77}, {kRangeFirstChanged, 78}}));
    EXPECT_EQ(control.First(), 78);
}

TEST_F(RangeSelectorTest, ContextMenuRestoresTheLowValue) {
    control.SetOriginalValue(90);
    control.SetDefaultValue(3);
    auto menu = control.MakeContextMenu();
    auto actions = menu->actions();
    ASSERT_EQ(actions.size(), 2);
    EXPECT_EQ(actions[0]->text(), "Restore Original +90");
    EXPECT_EQ(actions[1]->text(), "Restore Default +3");
    ASSERT_TRUE(actions[1]->isEnabled());
    // The high value stays unless the restored low value passes it.
    actions[1]->trigger();
    EXPECT_EQ(control.Second(), 80);
    EXPECT_EQ(seen, (Notices{{kRangeFirstChanged, 3}}));
    EXPECT_FALSE(control.MakeContextMenu()->actions()[1]->isEnabled());
    actions[0]->trigger();
    EXPECT_EQ(seen.back(), (RangeNotice{kRangeSecondChanged, 90}));
    // A restore never leaves the track.
    control.SetOriginalValue(1000);
    control.MakeContextMenu()->actions()[0]->trigger();
    EXPECT_EQ(control.First(), control.Track().Maximum());
    // The control paints in every state without a display.
    control.setFocus();
    control.grab();
    control.SetSingleThumb(true);
    control.SetFloatDisplay(-1.0, 1.0);
    EXPECT_FALSE(control.grab().isNull());
}

}  // namespace
}  // namespace talmeru::test
