#include <gtest/gtest.h>

#include "platform/EventPump.h"
#include "platform/MidiSystem.h"
#include "synth/FakeMidi.h"

namespace talmeru {
namespace {

using namespace std::chrono_literals;
using test::FakeMidiDevices;

struct Collect : MidiInHandler {
    void OnShortData(uint32_t m) override { shorts.push_back(m); }
    void OnLongData(std::vector<uint8_t> b) override { longs.push_back(std::move(b)); }
    std::vector<uint32_t> shorts;
    std::vector<std::vector<uint8_t>> longs;
};

TEST(MidiSystem, SystemDevicesComeFirstThenVirtualOnesInOneNumbering) {
    auto real = std::make_shared<FakeMidiDevices>();
    real->outputs = {"Card Out"};
    real->inputs = {"Card In A", "Card In B"};
    auto virt = std::make_shared<FakeMidiDevices>();
    virt->outputs = {"Virtual Out 1", "Virtual Out 2"};
    virt->inputs = {"Virtual In"};
    MidiSystem midi(real);
    midi.AddVirtualDevices(virt);

    ASSERT_EQ(midi.OutputCount(), 3);
    ASSERT_EQ(midi.InputCount(), 3);
    std::vector<std::string> outs, ins;
    for (int i = 0; i < 3; ++i) {
        MidiOutCaps oc;
        MidiInCaps ic;
        EXPECT_FALSE(midi.GetOutputCaps(i, oc));
        EXPECT_FALSE(midi.GetInputCaps(i, ic));
        outs.push_back(oc.name);
        ins.push_back(ic.name);
    }
    EXPECT_EQ(outs, (std::vector<std::string>{"Card Out", "Virtual Out 1", "Virtual Out 2"}));
    EXPECT_EQ(ins, (std::vector<std::string>{"Card In A", "Card In B", "Virtual In"}));

    // Opening goes to the provider that holds the device, with its own index.
    Collect handler;
    std::unique_ptr<MidiInPort> in;
    EXPECT_FALSE(midi.OpenInput(2, handler, in));
    EXPECT_TRUE(virt->openInputs.contains(0));
    std::unique_ptr<MidiOutPort> out;
    EXPECT_FALSE(midi.OpenOutput(2, out));
    EXPECT_EQ(virt->opens, 2);
    EXPECT_EQ(real->opens, 0);

    MidiOutCaps none;
    EXPECT_EQ(midi.GetOutputCaps(3, none).code, kMidiErrBadDevice);
    EXPECT_EQ(midi.OpenOutput(-1, out).code, kMidiErrBadDevice);
    EXPECT_EQ(out, nullptr);
}

TEST(MidiSystem, WithoutAnyProviderThereAreNoDevices) {
    MidiSystem midi;
    EXPECT_EQ(midi.OutputCount(), 0);
    EXPECT_EQ(midi.InputCount(), 0);
}

TEST(MidiInPort, DeliversOnlyWhileStartedAndSysexOnlyIntoAReceiveBuffer) {
    Collect handler;
    test::FakeInPort port(handler);
    const std::vector<uint8_t> sysex(15, 0x11);

    port.Short(0x90);
    port.AddBuffer(100);
    port.Long(sysex);
    EXPECT_TRUE(handler.shorts.empty());
    EXPECT_TRUE(handler.longs.empty());

    port.Start();
    port.Short(0x403C90);
    port.Long(sysex);
    port.Long(sysex);  // the buffer was used up by the first
    EXPECT_EQ(handler.shorts, std::vector<uint32_t>{0x403C90});
    ASSERT_EQ(handler.longs.size(), 1u);
    EXPECT_EQ(handler.longs[0], sysex);

    port.AddBuffer(10);  // a message longer than the buffer is cut to it
    port.Long(sysex);
    ASSERT_EQ(handler.longs.size(), 2u);
    EXPECT_EQ(handler.longs[1].size(), 10u);

    port.AddBuffer(100);
    port.TakeBackBuffer();
    port.Long(sysex);
    port.AddBuffer(100);
    port.Reset();  // stops and takes the buffer back
    port.Start();
    port.Long(sysex);
    EXPECT_EQ(handler.longs.size(), 2u);
}

TEST(LinkEventQueue, CancelFirstThenRepliesInOrderThenTicks) {
    LinkEventQueue q;
    auto soon = [] { return LinkEventQueue::Clock::now() + 50ms; };
    q.PushReply({1});
    q.PushReply({2});
    q.RequestCancel();
    auto e = q.WaitNext(soon());
    ASSERT_TRUE(e);
    EXPECT_EQ(e->kind, LinkEventQueue::Kind::kCancel);
    e = q.WaitNext(soon());
    ASSERT_TRUE(e);
    EXPECT_EQ(e->data, std::vector<uint8_t>{1});
    q.DropReplies();
    // The cancel was taken once; without a timer nothing more comes.
    EXPECT_FALSE(q.WaitNext(LinkEventQueue::Clock::now() + 5ms));

    q.StartTimer(2ms);
    auto start = LinkEventQueue::Clock::now();
    for (int i = 0; i < 3; ++i) {
        e = q.WaitNext(start + 1s);
        ASSERT_TRUE(e);
        EXPECT_EQ(e->kind, LinkEventQueue::Kind::kTick);
    }
    EXPECT_GE(LinkEventQueue::Clock::now() - start, 6ms);
    q.StopTimer();
    EXPECT_FALSE(q.WaitNext(LinkEventQueue::Clock::now() + 5ms));
}

}  // namespace
}  // namespace talmeru
