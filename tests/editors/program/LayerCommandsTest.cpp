// The layer editor's commands on the selected layers and the columns of its pages.
#include <gtest/gtest.h>

#include "editors/program/LayerCommands.h"
#include "model/ZedoDatabase.h"
#include "platform/Prompter.h"
#include "support/RecordingEdits.h"

namespace talmeru::test {
namespace {

class LayerCommandsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        mono = bank.CreateKeymap("Mono", 1);
        left = bank.CreateKeymap("Pair L", 2);
        right = bank.CreateKeymap("Pair R", 3);
        PairStereo(*left, *right);
        program = bank.CreateProgram("Test", 5);
    }

    ScriptedPrompter prompter;
    ScopedPrompter scope{prompter};
    ZedoDatabase bank;
    Keymap *mono = nullptr, *left = nullptr, *right = nullptr;
    Program* program = nullptr;
    RecordingEdits edits{bank};
    std::vector<BankObject*>& recorded = edits.changed;
    LayerCommands commands{edits, 5};
};

TEST_F(LayerCommandsTest, DuplicateStaysWithinThirtyTwoLayers) {
    program->AddLayer(*left, true);  // 0, 1
    for (int i = 2; i < 31; ++i)
        program->AddLayer(*mono, false);
    EXPECT_TRUE(commands.CanDuplicate({5}));
    EXPECT_FALSE(commands.CanDuplicate({0}));
    EXPECT_FALSE(commands.CanDuplicate({4, 5}));
    EXPECT_FALSE(commands.CanDuplicate({}));
    ASSERT_EQ(commands.Duplicate({5}), 0);
    EXPECT_EQ(program->LayerCount(), 32);
    EXPECT_EQ(recorded, std::vector<BankObject*>{program});
    EXPECT_NE(commands.Duplicate({5}), 0);
    EXPECT_TRUE(prompter.Saw("Error creating layer"));
    EXPECT_EQ(program->LayerCount(), 32);
}

TEST_F(LayerCommandsTest, DeleteTakesPartnersAlongWhereverTheySit) {
    program->AddLayer(*mono, false);  // 0
    program->AddLayer(*mono, false);  // 1
    program->AddLayer(*mono, false);  // 2
    program->AddLayer(*mono, false);  // 3
    program->GetLayer(1)->delay = 11;
    program->GetLayer(3)->PairWith(*program->GetLayer(0));  // left half above its partner
    program->GetLayer(2)->delay = 22;
    ASSERT_EQ(commands.Delete({0, 3}), 0);
    ASSERT_EQ(program->LayerCount(), 2);
    EXPECT_EQ(program->GetLayer(0)->delay, 11);
    EXPECT_EQ(program->GetLayer(1)->delay, 22);
    EXPECT_EQ(program->GetLayer(1)->Index(), 1);
    EXPECT_FALSE(commands.CanDelete({7}));
}

TEST_F(LayerCommandsTest, JoinNeedsCompatibleMonoLayersAndSplitUndoesIt) {
    Keymap* other = bank.CreateKeymap("Other", 4);
    Layer* a = program->AddLayer(*mono, false);
    Layer* b = program->AddLayer(*other, false);
    program->AddLayer(*left, true);  // 2, 3
    a->SetPan(0);
    b->SetPan(31);
    b->Amp().SetGain(-3);
    EXPECT_TRUE(commands.CanJoin({0, 1}));
    EXPECT_FALSE(commands.CanJoin({0, 2}));
    EXPECT_FALSE(commands.CanJoin({0}));
    EXPECT_NE(commands.Join({0, 1}), 0);
    EXPECT_TRUE(prompter.Saw(kJoinRefused));
    EXPECT_EQ(a->StereoState(), kMono);

    b->Amp().SetGain(a->Amp().Gain());
    // The order of selection decides the left half.
    EXPECT_NE(commands.Join({1, 0}), 0);
    ASSERT_EQ(commands.Join({0, 1}), 0);
    EXPECT_EQ(a->StereoState(), kStereoLeft);
    EXPECT_EQ(a->Partner(), b);
    EXPECT_EQ(mono->stereoRole, kStereoLeft);
    EXPECT_EQ(mono->chained, other);
    EXPECT_EQ(other->stereoRole, kStereoRight);

    EXPECT_TRUE(commands.CanSplit({0, 3}));
    EXPECT_FALSE(commands.CanSplit({}));
    program->AddLayer(*mono, false);
    EXPECT_FALSE(commands.CanSplit({0, 4}));
    ASSERT_EQ(commands.Split({1, 2}), 0);
    EXPECT_EQ(a->StereoState(), kMono);
    EXPECT_EQ(program->GetLayer(3)->StereoState(), kMono);
}

TEST_F(LayerCommandsTest, DuplicatedKeymapsArePlayedByTheirLayers) {
    program->AddLayer(*mono, false);     // 0
    program->AddLayer(*left, true);      // 1, 2
    program->AddLayer(*mono, false);     // 3
    program->GetLayer(3)->keymap = 400;  // none: left alone
    ASSERT_EQ(commands.DuplicateKeymaps({2, 0, 3}), 0);
    Keymap* copy = bank.GetKeymap(program->GetLayer(0)->keymap);
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, mono);
    EXPECT_EQ(copy->Name(), "Mono1");
    EXPECT_TRUE(copy->marked);
    Keymap* leftCopy = bank.GetKeymap(program->GetLayer(1)->keymap);
    Keymap* rightCopy = bank.GetKeymap(program->GetLayer(2)->keymap);
    ASSERT_NE(leftCopy, nullptr);
    ASSERT_NE(rightCopy, nullptr);
    EXPECT_NE(leftCopy, left);
    EXPECT_EQ(leftCopy->chained, rightCopy);
    EXPECT_EQ(rightCopy->stereoRole, kStereoRight);
    EXPECT_EQ(program->GetLayer(3)->keymap, 400);
    EXPECT_EQ(recorded.back(), program);

    // With no free keymap slot the command says so.
    for (int n = 0; n < kSlotCount; ++n)
        if (!bank.GetKeymap(n)) bank.CreateKeymap("Filler", n);
    EXPECT_NE(commands.DuplicateKeymaps({0}), 0);
    EXPECT_TRUE(prompter.Saw("Couldn't duplicate keymap"));
}

TEST(LayerFieldsTest, FieldsWriteTheirLayerBytes) {
    Layer layer;
    EXPECT_TRUE(SetFieldValue(layer, FieldId::kVelocityRange, 20, 0));
    EXPECT_TRUE(SetFieldValue(layer, FieldId::kVelocityRange, 100, 1));
    EXPECT_TRUE(SetFieldValue(layer, FieldId::kVelocityRange, 300, 1));
    EXPECT_EQ(layer.velocityLow, 20);
    EXPECT_EQ(layer.velocityHigh, 127);
    EXPECT_FALSE(SetFieldValue(layer, FieldId::kVelocityRange, 127, 1));
    EXPECT_EQ(FieldValue(layer, FieldId::kNaturalEnvelope), 1);
    SetFieldValue(layer, FieldId::kNaturalEnvelope, 0);
    EXPECT_EQ(layer.flags, Layer::kFlagNoNaturalEnvelope);
    SetFieldValue(layer, FieldId::kGain, -100);
    EXPECT_EQ(layer.Amp().Gain(), -64);
    SetFieldValue(layer, FieldId::kHeadroom2, 2);
    EXPECT_EQ(layer.Amp().Tag() & 0x0F, 0x08);
    EXPECT_EQ(SpinText(FieldId::kHeadroom2, 2), "6");
    EXPECT_EQ(SpinText(FieldId::kDelay, 2), "2");
    SetFieldValue(layer, FieldId::kFilter2Type, 4);
    EXPECT_EQ(layer.Filter2().Tag(), 20);
    SetFieldValue(layer, FieldId::kFilter2Frequency, 0x1280);
    EXPECT_EQ(FieldValue(layer, FieldId::kFilter2Frequency), 0x1380);
    SetFieldValue(layer, FieldId::kFilter2KeyTrack, -127);
    EXPECT_EQ(layer.Filter2().KeyTracking(), -127);
    SetFieldValue(layer, FieldId::kAmpKeyTracking, 60);
    EXPECT_EQ(layer.Amp().KeyTracking(), 48);
    SetFieldValue(layer, FieldId::kPanMode, 2);
    SetFieldValue(layer, FieldId::kPan, 7);
    EXPECT_EQ(layer.panByte, 0x47);
    EXPECT_EQ(FieldChoices(FieldId::kExclusiveZone).front(), "Off");
    EXPECT_EQ(FieldChoices(FieldId::kExclusiveZone).back(), "31");
    EXPECT_EQ(FieldChoices(FieldId::kPanMode)[2], "RevAuto");

    EXPECT_FALSE(FieldEnabled(layer, FieldId::kFilter1Frequency));
    EXPECT_TRUE(FieldEnabled(layer, FieldId::kFilter2Frequency));
    Layer leftHalf, rightHalf;
    leftHalf.PairWith(rightHalf);
    EXPECT_TRUE(FieldEnabled(rightHalf, FieldId::kPan));
    EXPECT_FALSE(FieldEnabled(rightHalf, FieldId::kGain));
}

TEST(LayerFieldsTest, PagesAndHeldSteps) {
    EXPECT_EQ(PageFields(LayerPage::kAmp).size(), 8u);
    EXPECT_EQ(PageFields(LayerPage::kFilter)[4].id, FieldId::kFilter2Type);
    EXPECT_EQ(FieldOf(FieldId::kDelay).maximum, 32767);
    EXPECT_EQ(FieldBlock(PageFields(LayerPage::kAmp)[0].id), 3);
    EXPECT_EQ(FieldBlock(PageFields(LayerPage::kPitch)[0].id), 0);
    EXPECT_EQ(HoldStep(1999), 1);
    EXPECT_EQ(HoldStep(2000), 10);
    EXPECT_EQ(HoldStep(4500), 100);
    EXPECT_EQ(HoldStep(6000), 1000);
}

TEST(LayerFieldsTest, AnEditOfALeftHalfReachesTheRightHalf) {
    Program program;
    Keymap k;
    k.SetNumber(3);
    Keymap r;
    r.SetNumber(4);
    PairStereo(k, r);
    Layer* leftHalf = program.AddLayer(k, true);
    Layer* rightHalf = program.GetLayer(1);
    ZedoDatabase bank;
    RecordingEdits edits{bank};
    SetFieldValue(*leftHalf, FieldId::kCoarseTune, 12);
    LayerChanged(*leftHalf, edits);
    EXPECT_EQ(rightHalf->Pitch().CoarseTune(), 12);
    EXPECT_EQ(rightHalf->Pan(), 31);
    EXPECT_EQ(rightHalf->keymap, 4);
    EXPECT_EQ(edits.changed, std::vector<BankObject*>{&program});
}

}  // namespace
}  // namespace talmeru::test
