// The envelope drawing: points, labels and texts of both kinds, their places, hit tests and
// dragging; where an edit spreads to; and the control with its preset list.
#include <gtest/gtest.h>

#include <algorithm>

#include <QApplication>
#include <QComboBox>
#include <QMouseEvent>

#include "editors/controls/EnvelopeCtrl.h"
#include "editors/controls/EnvelopeGraph.h"
#include "editors/envelope/EnvelopeHome.h"
#include "model/Keymap.h"
#include "model/Program.h"
#include "platform/Profile.h"
#include "platform/Prompter.h"
#include "support/RecordingEdits.h"

namespace talmeru::test {
namespace {

std::vector<std::string> Texts(const EnvelopeGraph& g) {
    std::vector<std::string> out;
    for (size_t i = 0; i < g.Points().size(); ++i)
        out.push_back(g.PointText(static_cast<int>(i)));
    return out;
}

// 200 x 100 pixels of plot.
EnvelopeGraph Sized(EnvelopeGraph g) {
    g.SetSize(220, 134);
    return g;
}

TEST(EnvelopeGraphTest, PointsOfAnEnvFollowItsGroups) {
    EnvModulator env;
    EnvelopeGraph g;
    EXPECT_TRUE(g.Empty());
    g.Show(&env);
    EXPECT_FALSE(g.Empty());
    // The default ENV; time byte 50 is one second.
    EXPECT_EQ(Texts(g), (std::vector<std::string>{"S0 = (+64)", "A1 = (+0.00 s, +127)",
                                                  "D1 = (+1.00 s, +127)", "R1 = (+0.00 s, +0)"}));
    EXPECT_EQ(g.PointText(4), "");
    env.SetAttackCount(2);
    env.SetDecayCount(3);
    env.SetSegment(1, -5, 255);
    std::vector<std::string> labels;
    for (const EnvelopePoint& p : g.Points())
        labels.push_back(EnvelopeGraph::Label(p));
    EXPECT_EQ(labels, (std::vector<std::string>{"S0", "A1", "A2", "D1", "D2", "D3", "R1"}));
    EXPECT_EQ(g.PointText(2), "A2 = (+5.10 s, -5)");
    // Points lie at the accumulated time.
    EXPECT_EQ(g.Points()[3].time, 0 + 255 + 50);
    EXPECT_EQ(g.Points()[6].time, 305 + 24 + 24);
}

TEST(EnvelopeGraphTest, PointsOfANaturalEnvelope) {
    SampleHeader h;
    EnvelopeGraph g;
    g.Show(&h);
    EXPECT_TRUE(g.Empty());
    EXPECT_TRUE(g.Points().empty());
    h.ResetEnvelope(-6818);
    EXPECT_EQ(Texts(g), (std::vector<std::string>{"S0 = (+0)", "A1 = (+0, r=+0)",
                                                  "D1 = (+0, r=-6818)", "R1 = (+0, r=-2046)"}));
    h.envelope = {{5, 100}, {0, 0}, {-10, 0}, {-20, 0}};
    EXPECT_EQ(g.PointText(1), "A1 = (+100, r=+5)");
    EXPECT_EQ(g.PointText(2), "A2 = (+0, r=+0)");
    // A closing entry is drawn over a nominal span with its slope.
    const auto pts = g.Points();
    EXPECT_EQ(pts[1].level, 500);
    EXPECT_EQ(pts[2].time, 100 + 1000);
    EXPECT_EQ(pts[3].level, 500 - 10 * 1000);
    EXPECT_EQ(pts[4].letter, 'R');
}

TEST(EnvelopeGraphTest, PlacesHitTestsAndPhaseLines) {
    EnvModulator env;
    EnvelopeGraph g = Sized({});
    g.Show(&env);
    const auto pts = g.Points();
    EXPECT_EQ(g.Place(pts[0]).y, 18 + 63 * 100 / 254);
    EXPECT_EQ(g.Place(pts[2]).x, 210);
    EXPECT_EQ(g.Place(pts[3]).y, 68);
    EXPECT_EQ(g.AttackX(), 10);
    EXPECT_EQ(g.ReleaseX(), 210);
    EXPECT_EQ(g.HitTest(212, 20), 2);
    EXPECT_EQ(g.HitTest(10, 18), 1);
    EXPECT_EQ(g.HitTest(110, 50), -1);
    // Coinciding points give the later one.
    env.SetSegment(2, 127, 0);
    EXPECT_EQ(g.HitTest(210, 18), 3);
    EXPECT_TRUE(g.Hover(210, 18));
    EXPECT_FALSE(g.Hover(211, 18));
    SampleHeader empty;
    g.Show(&empty);
    EXPECT_EQ(g.ReleaseX(), -1);
    EXPECT_EQ(g.Hovered(), -1);
}

TEST(EnvelopeGraphTest, DraggingEnvPointsKeepsTheirLimits) {
    EnvModulator env;
    EnvelopeGraph g = Sized({});
    g.Show(&env);
    g.Press(210, 18);  // D1
    EXPECT_EQ(g.Selected(), 2);
    EXPECT_FALSE(g.Drag(210, 18));
    EXPECT_TRUE(g.Drag(110, 68));
    EXPECT_EQ(env.Segments()[1], (EnvSegment{0, 25}));
    // The scale stays while dragging, so the point stays under the pointer.
    EXPECT_EQ(g.Place(g.Points()[2]).x, 110);
    EXPECT_TRUE(g.Drag(110, -500));
    EXPECT_EQ(env.Segments()[1].level, 127);
    g.Release();
    // Only the axis that moved changes: the start level, then a time at its limit.
    g.Press(10, 42);
    EXPECT_EQ(g.Selected(), 0);
    EXPECT_TRUE(g.Drag(10, 1000));
    EXPECT_EQ(env.StartLevel(), -127);
    g.Release();
    env.SetSegment(1, 127, 100);
    env.SetSegment(2, 0, 255);  // the plot now spans 355 steps
    g.Press(g.Place(g.Points()[2]).x, 18);
    EXPECT_TRUE(g.Drag(5000, 18));
    EXPECT_EQ(env.Segments()[1], (EnvSegment{127, 255}));
    EXPECT_EQ(env.Segments()[0], (EnvSegment{127, 0}));
    g.Release();
    g.Press(100, 100);
    EXPECT_EQ(g.Selected(), -1);
    EXPECT_FALSE(g.Drag(120, 80));
}

TEST(EnvelopeGraphTest, DraggingNaturalPointsSetsDurationsAndSlopes) {
    SampleHeader h;
    h.envelope = {{0, 1000}, {0, 0}, {-10, 0}, {-20, 0}};
    EnvelopeGraph g = Sized({});
    g.Show(&h);
    // Spans 1000 + 3 closing entries of 1000: 20 pixels per 400.
    g.Press(60, 18);
    ASSERT_EQ(g.Selected(), 1);
    EXPECT_TRUE(g.Drag(110, 18));
    EXPECT_EQ(h.envelope[0].duration, 2000);
    EXPECT_EQ(h.envelope[0].slope, 0);
    // No entry but a closing one may have a zero duration.
    EXPECT_TRUE(g.Drag(-100, 18));
    EXPECT_EQ(h.envelope[0].duration, 1);
    g.Release();
    h.envelope[0].duration = 2000;
    // A closing entry keeps its zero duration; dragging it down steepens its slope.
    const GraphPixel d1 = g.Place(g.Points()[3]);
    g.Press(d1.x, d1.y);
    ASSERT_EQ(g.Selected(), 3);
    EXPECT_FALSE(g.Drag(d1.x + 30, d1.y));
    EXPECT_TRUE(g.Drag(d1.x, d1.y + 33));
    EXPECT_EQ(h.envelope[2].duration, 0);
    EXPECT_EQ(h.envelope[2].slope, -20);
    g.Release();
    // The natural start point stays at 0.
    g.Press(10, 18);
    EXPECT_FALSE(g.Drag(10, 100));
}

// Every placed label lies inside the control, clear of the other labels, of every point's
// marker and of the boxes asked to be kept clear.
void ExpectLabelsApart(const EnvelopeGraph& g, const std::vector<GraphBox>& boxes,
                       const std::vector<GraphBox>& keepClear) {
    const auto pts = g.Points();
    ASSERT_EQ(boxes.size(), pts.size());
    for (size_t i = 0; i < boxes.size(); ++i) {
        const GraphBox& a = boxes[i];
        if (a.width == 0) continue;
        EXPECT_GE(a.x, 0);
        EXPECT_GE(a.y, 0);
        EXPECT_LE(a.x + a.width, g.Width());
        EXPECT_LE(a.y + a.height, g.Height());
        for (size_t j = i + 1; j < boxes.size(); ++j)
            EXPECT_FALSE(a.Overlaps(boxes[j])) << i << " and " << j;
        for (const EnvelopePoint& p : pts) {
            const GraphPixel at = g.Place(p);
            EXPECT_FALSE(a.Overlaps({at.x - 2, at.y - 2, 5, 5})) << i;
        }
        for (const GraphBox& k : keepClear)
            EXPECT_FALSE(a.Overlaps(k)) << i;
    }
}

TEST(EnvelopeGraphTest, PointLabelsNeverOverlap) {
    EnvModulator env;
    EnvelopeGraph g = Sized({});
    g.Show(&env);
    const std::vector<GraphPixel> sizes(8, GraphPixel{14, 10});
    const std::vector<GraphBox> strip{{0, 0, 220, 14}};
    // A lone point's label sits just above and right of it, unless the strip is in the way.
    auto boxes = g.LabelBoxes(sizes, strip);
    ExpectLabelsApart(g, boxes, strip);
    const GraphPixel s0 = g.Place(g.Points()[0]);
    EXPECT_EQ(boxes[0].x, s0.x + 4);
    EXPECT_EQ(boxes[0].y, s0.y - 13);
    // A1 and D1 at full level under the strip: below their points.
    EXPECT_GT(boxes[1].y, g.Place(g.Points()[1]).y);
    // Points piled on one spot (seven segments of time 0 at one level) all find room.
    env.SetAttackCount(3);
    env.SetDecayCount(3);
    for (int i = 0; i < 7; ++i)
        env.SetSegment(i, 100, 0);
    boxes = g.LabelBoxes(sizes, strip);
    ExpectLabelsApart(g, boxes, strip);
    for (const GraphBox& b : boxes)
        EXPECT_GT(b.width, 0);
    // In a control too small for them some labels are left out, never drawn over another.
    g.SetSize(40, 40);
    boxes = g.LabelBoxes(sizes, strip);
    ExpectLabelsApart(g, boxes, strip);
    EXPECT_TRUE(
        std::any_of(boxes.begin(), boxes.end(), [](const GraphBox& b) { return b.width == 0; }));
}

TEST(EnvelopeGraphTest, TimeAxisInSeconds) {
    const auto texts = [](const std::vector<TimeTick>& ticks) {
        std::vector<std::string> out;
        for (const TimeTick& t : ticks)
            out.push_back(t.text);
        return out;
    };
    EnvModulator env;
    EnvelopeGraph g = Sized({});
    EXPECT_TRUE(g.TimeTicks(40).empty());
    g.Show(&env);
    // The default ENV spans one second over 200 pixels.
    auto ticks = g.TimeTicks(40);
    EXPECT_EQ(texts(ticks),
              (std::vector<std::string>{"0.0 s", "0.2 s", "0.4 s", "0.6 s", "0.8 s", "1.0 s"}));
    EXPECT_EQ(ticks.front().x, 10);
    EXPECT_EQ(ticks[1].x, 50);
    EXPECT_EQ(ticks.back().x, 210);
    EXPECT_EQ(texts(g.TimeTicks(100)), (std::vector<std::string>{"0.0 s", "0.5 s", "1.0 s"}));
    env.SetSegment(1, 127, 255);  // 5.1 s
    EXPECT_EQ(texts(g.TimeTicks(30)).back(), "5 s");
    EXPECT_EQ(texts(g.TimeTicks(40)).back(), "4 s");  // marks every 2 s
    // Natural durations are frames of the sample played at key 60: 88200 a second at pitch 0,
    // half as many an octave up.
    SampleHeader h;
    h.envelope = {{0, 44100}, {0, 0}};
    g.Show(&h);
    EXPECT_DOUBLE_EQ(g.Seconds(44100), 0.5);
    EXPECT_EQ(texts(g.TimeTicks(50)),
              (std::vector<std::string>{"0.0 s", "0.2 s", "0.4 s", "0.6 s"}));
    h.pitch = 12 * 256;
    EXPECT_DOUBLE_EQ(g.Seconds(44100), 1.0);
}

TEST(EnvelopeGraphTest, PointMeanings) {
    EnvModulator env;
    EnvelopeGraph g;
    g.Show(&env);
    EXPECT_EQ(g.PointMeaning(0), "level +0.50, -47.6 dB through Amp");
    EXPECT_EQ(g.PointMeaning(1), "level +1.00, +0.0 dB through Amp");
    EXPECT_EQ(g.PointMeaning(3), "level +0.00, silent through Amp");
    EXPECT_EQ(g.PointMeaning(4), "");
    SampleHeader h;
    h.envelope = {{5, 8820}, {-10, 0}};
    g.Show(&h);
    EXPECT_EQ(g.PointMeaning(0), "");
    EXPECT_EQ(g.PointMeaning(1), "0.100 s, +1.5 dB/s");
    EXPECT_EQ(g.PointMeaning(2), "-3.0 dB/s until the next phase");
}

TEST(EnvelopeHomeTest, EditsReachTheRightHalves) {
    ZedoDatabase bank;
    RecordingEdits edits{bank};
    SampleHeader left, right, mono;
    PairStereo(left, right);
    left.ResetEnvelope(-100);
    SpreadEnvelopeEdit({nullptr, nullptr, &left}, edits);
    EXPECT_EQ(edits.changed, (std::vector<BankObject*>{&left, &right}));
    ASSERT_EQ(right.envelope.size(), 3u);
    EXPECT_EQ(right.envelope[1].slope, -100);
    edits.changed.clear();
    SpreadEnvelopeEdit({nullptr, nullptr, &mono}, edits);
    EXPECT_EQ(edits.changed, std::vector<BankObject*>{&mono});

    Program program;
    Keymap km;
    Layer* l = program.AddLayer(km, false);
    Layer* r = program.AddLayer(km, false);
    ASSERT_TRUE(l && r);
    l->PairWith(*r);
    ASSERT_EQ(l->AddModulator(std::make_unique<EnvModulator>()), 0);
    auto* env = dynamic_cast<EnvModulator*>(l->Modulators().front().get());
    env->SetSegment(0, -99, 77);
    edits.changed.clear();
    SpreadEnvelopeEdit({&program, l, nullptr}, edits);
    EXPECT_EQ(edits.changed, std::vector<BankObject*>{&program});
    ASSERT_EQ(r->Modulators().size(), 1u);
    auto* copied = dynamic_cast<EnvModulator*>(r->Modulators().front().get());
    ASSERT_TRUE(copied);
    EXPECT_EQ(copied->Segments(), env->Segments());
}

class EnvelopeCtrlTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ctrl.resize(220, 134);
        QObject::connect(&ctrl, &CEnvelopeCtrl::envelopeChanged, [this] { ++changes; });
        ctrl.SetNameAsker([this](const std::string& offered) {
            offeredName = offered;
            return typedName;
        });
    }
    void Mouse(QEvent::Type type, QPoint at, Qt::MouseButtons held) {
        QMouseEvent e(type, QPointF(at), QPointF(ctrl.mapToGlobal(at)), Qt::LeftButton, held,
                      Qt::NoModifier);
        QApplication::sendEvent(&ctrl, &e);
    }
    QStringList Items() const {
        QStringList out;
        for (int i = 0; i < list.count(); ++i)
            out << list.itemText(i);
        return out;
    }
    ScriptedPrompter prompter;
    ScopedPrompter scope{prompter};
    Profile settings;
    ZedoDatabase bank;
    RecordingEdits edits{bank};
    std::vector<BankObject*>& recorded = edits.changed;
    CEnvelopeCtrl ctrl{settings, edits, kNaturalEnvelope};
    QComboBox list;
    int changes = 0;
    std::optional<std::string> typedName;
    std::string offeredName;
};

TEST_F(EnvelopeCtrlTest, PresetListOfNaturalEnvelopes) {
    // The kind's built-ins are listed before any header is shown.
    ctrl.FillPresetList(list);
    EXPECT_EQ(Items(), (QStringList{"Flat Env", "Percussive Env"}));
    EXPECT_EQ(ctrl.ApplyListChoice(list, 0), 1);
    SampleHeader h;
    h.envelope = {{3, 40}, {0, 0}, {-1, 0}, {-2, 0}};
    ctrl.SetEnvelope(&h);
    ctrl.FillPresetList(list);
    EXPECT_EQ(list.currentIndex(), -1);
    // Cancelling the name dialog stores nothing.
    EXPECT_EQ(ctrl.SavePreset("Offered"), -1);
    EXPECT_EQ(offeredName, "Offered");
    typedName = "Mine";
    EXPECT_EQ(ctrl.SavePreset(""), 0);
    ctrl.FillPresetList(list);
    EXPECT_EQ(Items(), (QStringList{"Flat Env", "Percussive Env", "Mine"}));

    // A built-in, then the stored preset; each change is recorded and the selection cleared.
    list.setCurrentIndex(0);
    EXPECT_EQ(ctrl.ApplyListChoice(list, 0), 0);
    EXPECT_EQ(h.envelope.size(), 3u);
    EXPECT_EQ(h.envelope[1].slope, -6818);
    EXPECT_EQ(list.currentIndex(), -1);
    EXPECT_EQ(ctrl.ApplyListChoice(list, 2), 0);
    EXPECT_EQ(h.envelope.size(), 4u);
    EXPECT_EQ(h.envelope[0].slope, 3);
    EXPECT_EQ(recorded, (std::vector<BankObject*>{&h, &h}));
    EXPECT_EQ(changes, 2);

    list.setCurrentIndex(1);
    EXPECT_EQ(ctrl.DeleteListChoice(list), 1);
    EXPECT_TRUE(prompter.Saw("This preset can not be deleted"));
    // Chosen as a user does: applied, and the selection cleared.
    EXPECT_EQ(ctrl.ApplyListChoice(list, 2), 0);
    EXPECT_EQ(ctrl.DeleteListChoice(list), 0);
    EXPECT_EQ(Items(), (QStringList{"Flat Env", "Percussive Env"}));
    EXPECT_EQ(settings.GetInt("NatEnvPreset", "NumberPresets", -1), 0);
}

TEST_F(EnvelopeCtrlTest, DraggingAnEnvRecordsTheProgram) {
    Program program;
    EnvModulator env;
    ctrl.SetEnvelope(&env, {&program, nullptr, nullptr});
    ctrl.FillPresetList(list);
    EXPECT_EQ(list.count(), 0);
    Mouse(QEvent::MouseButtonPress, {210, 18}, Qt::LeftButton);
    Mouse(QEvent::MouseMove, {110, 68}, Qt::LeftButton);
    Mouse(QEvent::MouseButtonRelease, {110, 68}, Qt::NoButton);
    EXPECT_EQ(env.Segments()[1], (EnvSegment{0, 25}));
    EXPECT_EQ(recorded, std::vector<BankObject*>{&program});
    EXPECT_EQ(changes, 1);
    // Moving without the button changes nothing.
    Mouse(QEvent::MouseMove, {10, 18}, Qt::NoButton);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(ctrl.Graph().Hovered(), 1);
    EXPECT_FALSE(ctrl.grab().isNull());
    ctrl.ClearEnvelope();
    EXPECT_TRUE(ctrl.Graph().Empty());
    EXPECT_FALSE(ctrl.grab().isNull());
}

TEST_F(EnvelopeCtrlTest, ADamagedCountIsReportedWhenListing) {
    EnvModulator env;
    ctrl.SetEnvelope(&env);
    settings.WriteString("ModEnvPreset", "NumberPresets", "-3");
    settings.WriteString("ModEnvPreset", "Preset0", FormatModulatorPreset("Kept", ShapeOf(env)));
    ctrl.FillPresetList(list);
    EXPECT_EQ(Items(), QStringList{"Kept"});
    ASSERT_EQ(prompter.Messages().size(), 1u);
    EXPECT_NE(prompter.Messages()[0].find("[ModEnvPreset]"), std::string::npos);
}

}  // namespace
}  // namespace talmeru::test
