// The emulator on its own, spoken to in raw messages through its devices.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <functional>
#include <thread>

#include "emulator/FactoryRom.h"
#include "emulator/Ma1Emulator.h"
#include "emulator/SevenBit.h"
#include "platform/ByteIO.h"

namespace talmeru::emulator {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Message(uint8_t command, const Bytes& payload = {}) {
    Bytes m = {0xF0, 0x07, 0x21, 0x01, command};
    Bytes packed = Encode7(payload);
    m.insert(m.end(), packed.begin(), packed.end());
    m.push_back(0xF7);
    return m;
}

Bytes Request(int type, int number) {
    Bytes h(22, 0);
    h[0] = uint8_t(type);
    h[2] = uint8_t(number);
    h[3] = uint8_t(number >> 8);
    return h;
}

Bytes SampleMessage(int number, uint32_t block, const Bytes& data) {
    ByteWriter h;
    h.U16(uint16_t(number));
    h.U32(block);
    Bytes m = {0xF0, 0x07, 0x21, 0x01, 0x05};
    Bytes packed = Encode7(h.Data());
    m.insert(m.end(), packed.begin(), packed.end());
    m.insert(m.end(), data.begin(), data.end());
    return m;
}

class Emulator : public ::testing::Test, public MidiInHandler {
  protected:
    void Start(Ma1Settings settings = {}, bool keepLog = true) {
        settings.keepLog = keepLog;
        emu = Ma1Emulator::Create(settings);
        devices = emu->Devices();
        ASSERT_FALSE(devices->OpenOutput(0, out));
        ASSERT_FALSE(devices->OpenInput(0, *this, in));
        in->Start();
    }
    void SetUp() override { Start(); }

    // Sends one message and returns the reply's payload (empty for a malformed reply), or
    // none when there was no reply.
    std::optional<Bytes> Ask(const Bytes& message) {
        replies.clear();
        in->AddBuffer(4000);
        out->SendLong(message);
        emu->Flush();
        in->TakeBackBuffer();
        if (replies.empty()) return std::nullopt;
        const Bytes& r = replies.front();
        if (r.size() < 6 || r.back() != 0xF7) return Bytes{};
        return Decode7(std::span(r).subspan(5, r.size() - 6));
    }
    void OnShortData(uint32_t) override {}
    void OnLongData(Bytes b) override { replies.push_back(std::move(b)); }

    std::shared_ptr<Ma1Emulator> emu;
    std::shared_ptr<MidiDeviceProvider> devices;
    std::unique_ptr<MidiOutPort> out;
    std::unique_ptr<MidiInPort> in;
    std::vector<Bytes> replies;
};

TEST_F(Emulator, ItsDevicesAndAnswers) {
    MidiOutCaps oc;
    MidiInCaps ic;
    EXPECT_FALSE(devices->GetOutputCaps(0, oc));
    EXPECT_EQ(oc.name, "TBS Pro Main Synth Out (emulated)");
    EXPECT_FALSE(devices->GetInputCaps(1, ic));
    EXPECT_EQ(ic.name, "TBS Pro External MIDI In (emulated)");
    EXPECT_TRUE(devices->GetInputCaps(2, ic));

    EXPECT_EQ(Ask(Message(0x0A)), (Bytes{0x01, 0x00, 0x03, 0x01, 0x20, 0x01}));
    auto sizes = Ask(Message(0x0B));
    ASSERT_TRUE(sizes);
    ByteReader r(*sizes);
    EXPECT_EQ(r.U32(), 256u << 10);
    EXPECT_EQ(r.U32(), 16u << 20);

    auto header = Ask(Message(0x01, Request(1, 0)));
    ASSERT_TRUE(header);
    Bytes rom = *emu->Object(1, 0);
    EXPECT_EQ(*header, Bytes(rom.begin(), rom.begin() + 22));
    EXPECT_EQ(Ask(Message(0x02, *header)), emu->Object(1, 0));
    EXPECT_EQ(Ask(Message(0x01, Request(1, 511))), Bytes(22, 0));
    EXPECT_EQ(Ask(Message(0x01, Request(4, 0))), Bytes(22, 0));  // holds no type 4
}

TEST_F(Emulator, ProgramRamIsAccountedAndRefusedWhenFull) {
    Ma1Settings small;
    small.programRamBytes = 100;
    Start(small);
    Bytes a = ObjectBlock(3, 7, "A", Bytes(40, 1));  // 62 bytes
    Bytes b = ObjectBlock(3, 8, "B", Bytes(30, 2));  // 52 bytes
    Ask(Message(0x03, a));
    EXPECT_EQ(emu->Memory().programFree, 38u);
    Ask(Message(0x03, b));
    EXPECT_FALSE(emu->InRam(3, 8));
    EXPECT_EQ(emu->Refused(), 1);

    Bytes smaller = ObjectBlock(3, 7, "A2", Bytes(10, 3));  // replaces A: its room comes back
    Ask(Message(0x03, smaller));
    EXPECT_EQ(emu->Object(3, 7), smaller);
    EXPECT_EQ(emu->Memory().programFree, 68u);
    Ask(Message(0x03, b));
    EXPECT_EQ(emu->Memory().programFree, 16u);

    Ask(Message(0x04, Request(3, 7)));
    Ask(Message(0x04, Request(3, 0)));  // a ROM object stays
    EXPECT_FALSE(emu->InRam(3, 7));
    EXPECT_TRUE(emu->Object(3, 0));
    EXPECT_EQ(emu->Memory().programFree, 48u);
    auto free = Ask(Message(0x0C));
    ASSERT_TRUE(free);
    EXPECT_EQ(ByteReader(*free).U32(), 48u);
}

TEST_F(Emulator, SampleRamAliasesAndClearRam) {
    Ma1Settings small;
    small.sampleRamBytes = 5000;
    Start(small);
    Ask(SampleMessage(1, 3000, Bytes(3000, 9)));
    EXPECT_EQ(emu->Memory().sampleFree, 2000u);
    Ask(SampleMessage(2, 2500, Bytes(2500, 9)));  // does not fit
    EXPECT_FALSE(emu->SampleData(2));
    Ask(SampleMessage(1, 4000, Bytes(4000, 8)));  // replacing frees the old block first
    EXPECT_EQ(emu->SampleData(1)->front(), 8);
    EXPECT_EQ(emu->Memory().sampleFree, 1000u);

    Ask(Message(0x06, Bytes{1, 0, 3, 0}));
    Ask(Message(0x06, Bytes{2, 0, 4, 0}));  // 2 holds no data
    EXPECT_EQ(emu->AliasOf(3), 1);
    EXPECT_FALSE(emu->AliasOf(4));
    Ask(Message(0x07, Bytes{3, 0}));
    EXPECT_FALSE(emu->AliasOf(3));
    EXPECT_TRUE(emu->SampleData(1));

    Ask(Message(0x03, ObjectBlock(1, 3, "K", Bytes(6, 0))));
    Ask(Message(0x0D));
    EXPECT_FALSE(emu->SampleData(1));
    EXPECT_FALSE(emu->InRam(1, 3));
    EXPECT_EQ(emu->Memory().sampleFree, 5000u);
    EXPECT_EQ(emu->Memory().programFree, emu->Memory().programTotal);
}

// Each step handed over directly does what its message does on a card as small: the same
// objects, samples, aliases, free RAM and refusals.
TEST_F(Emulator, DirectHandOverDoesWhatItsMessageDoes) {
    Ma1Settings small;
    small.programRamBytes = 100;
    small.sampleRamBytes = 5000;
    Start(small);
    auto direct = Ma1Emulator::Create(small);
    const Bytes a = ObjectBlock(3, 7, "A", Bytes(40, 1)), b = ObjectBlock(3, 8, "B", Bytes(50, 2));
    const Bytes alien = ObjectBlock(9, 1, "x", {});
    auto data = [](int number, size_t size, uint8_t value) {
        return [=](Ma1Emulator& e) {
            return e.SampleDataDirect(number, size, [value](std::span<uint8_t> block) {
                std::fill(block.begin(), block.end(), value);
                return true;
            });
        };
    };
    struct Step {
        const char* what;
        Bytes message;
        std::function<bool(Ma1Emulator&)> hand;
        bool kept;
    };
    const std::vector<Step> steps = {
        {"store", Message(0x03, a), [&](Ma1Emulator& e) { return e.StoreDirect(a); }, true},
        {"no room", Message(0x03, b), [&](Ma1Emulator& e) { return e.StoreDirect(b); }, false},
        {"no such type", Message(0x03, alien), [&](Ma1Emulator& e) { return e.StoreDirect(alien); },
         false},
        {"delete", Message(0x04, Request(3, 7)),
         [](Ma1Emulator& e) { return e.DeleteDirect(3, 7), true; }, true},
        {"room again", Message(0x03, b), [&](Ma1Emulator& e) { return e.StoreDirect(b); }, true},
        {"sample data", SampleMessage(1, 3000, Bytes(3000, 9)), data(1, 3000, 9), true},
        {"no sample room", SampleMessage(2, 2500, Bytes(2500, 7)), data(2, 2500, 7), false},
        {"no such number", SampleMessage(600, 10, Bytes(10, 1)), data(600, 10, 1), false},
        {"alias", Message(0x06, Bytes{1, 0, 3, 0}),
         [](Ma1Emulator& e) { return e.AddAliasDirect(1, 3); }, true},
        {"alias of nothing", Message(0x06, Bytes{2, 0, 4, 0}),
         [](Ma1Emulator& e) { return e.AddAliasDirect(2, 4); }, false},
        {"replaced data", SampleMessage(1, 4000, Bytes(4000, 8)), data(1, 4000, 8), true},
        {"alias removed", Message(0x07, Bytes{3, 0}),
         [](Ma1Emulator& e) { return e.RemoveAliasDirect(3), true; }, true},
        {"data removed", Message(0x07, Bytes{1, 0}),
         [](Ma1Emulator& e) { return e.RemoveAliasDirect(1), true; }, true},
        {"sample again", SampleMessage(4, 1500, Bytes(1500, 5)), data(4, 1500, 5), true},
        {"clear", Message(0x0D), [](Ma1Emulator& e) { return e.ClearRamDirect(), true; }, true},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        const int refused = direct->Refused();
        Ask(step.message);
        EXPECT_EQ(step.hand(*direct), step.kept);
        EXPECT_EQ(direct->Refused() - refused, step.kept ? 0 : 1);
        EXPECT_EQ(direct->Refused(), emu->Refused());
        const Ma1Memory m = emu->Memory(), d = direct->Memory();
        EXPECT_EQ(std::pair(d.programFree, d.sampleFree), std::pair(m.programFree, m.sampleFree));
        for (int n : {1, 2, 3, 4, 7, 8}) {
            EXPECT_EQ(direct->Object(3, n), emu->Object(3, n));
            EXPECT_EQ(direct->SampleData(n), emu->SampleData(n));
            EXPECT_EQ(direct->AliasOf(n), emu->AliasOf(n));
        }
    }
}

TEST_F(Emulator, BadMessagesAreRefusedNotFatal) {
    Bytes lying = ObjectBlock(3, 1, "x", Bytes(50, 0));
    lying.resize(40);
    const std::vector<Bytes> bad = {
        {},
        {0xF0, 0x07, 0x21},
        {0xF0, 0x41, 0x10, 0x42, 0x0A, 0xF7},        // another maker's head
        {0xF0, 0x07, 0x21, 0x01, 0x01, 0x00, 0x00},  // no end byte
        {0xF0, 0x07, 0x21, 0x01, 0x01, 0x00, 0xF7},  // header request without a header
        {0xF0, 0x07, 0x21, 0x01, 0x05, 0x00, 0xF7},  // sample data without its header
        SampleMessage(1, 2000, Bytes(100, 1)),       // fewer data than the block says
        SampleMessage(600, 10, Bytes(10, 1)),        // no such sample number
        Message(0x03, Bytes(10, 3)),                 // shorter than an object header
        Message(0x03, ObjectBlock(9, 1, "x", {})),   // no such type
        Message(0x03, lying),                        // says 50 body bytes, has 18
        Message(0x7E),
    };
    for (const auto& m : bad)
        EXPECT_FALSE(Ask(m));
    EXPECT_EQ(emu->Refused(), int(bad.size()));
    EXPECT_EQ(emu->Memory().programFree, emu->Memory().programTotal);
    EXPECT_EQ(emu->Memory().sampleFree, emu->Memory().sampleTotal);
    EXPECT_TRUE(Ask(Message(0x0A)));  // still answering
}

}  // namespace
}  // namespace talmeru::emulator

namespace talmeru::emulator {
namespace {

double RenderRms(Ma1Emulator& emu, int frames) {
    std::vector<float> l(static_cast<size_t>(frames)), r(static_cast<size_t>(frames));
    emu.Render(l.data(), r.data(), frames);
    double sum = 0;
    for (float x : l)
        sum += double(x) * x;
    return std::sqrt(sum / frames);
}

TEST_F(Emulator, KeepsItsLogOfMessagesOnlyWhenAsked) {
    for (bool keep : {false, true}) {
        Start({}, keep);
        out->SendShort(0x90 | 60 << 8 | 100 << 16);
        ASSERT_TRUE(Ask(Message(0x0A)));
        emu->Flush();
        EXPECT_EQ(emu->ReceivedShort().size(), keep ? 1u : 0u);
        EXPECT_EQ(emu->ReceivedSysex().size(), keep ? 1u : 0u);
        EXPECT_EQ(emu->ReceivedSysexSizes().size(), keep ? 1u : 0u);
    }
}

TEST_F(Emulator, PlaysItsRomAndWhatIsStoredOverIt) {
    out->SendShort(0x90 | 60 << 8 | 100 << 16);
    EXPECT_GT(RenderRms(*emu, 4410), 1e-3);
    out->SendShort(0xB0 | 120 << 8);  // all sound off
    RenderRms(*emu, 441);
    // A program of no layers stored over ROM program 0 plays nothing on the next note.
    Ask(Message(0x03, ObjectBlock(3, 0, "Silent", Bytes{0, 0, 0, 0})));
    out->SendShort(0x90 | 60 << 8 | 100 << 16);
    EXPECT_EQ(RenderRms(*emu, 4410), 0.0);
    // Deleted again, the ROM's program plays.
    Ask(Message(0x04, Request(3, 0)));
    out->SendShort(0x90 | 62 << 8 | 100 << 16);
    EXPECT_GT(RenderRms(*emu, 4410), 1e-3);
}

TEST_F(Emulator, StoresWhileItPlaysNeitherRaceNorStall) {
    std::atomic<bool> stop{false};
    std::thread audio([&] {
        while (!stop)
            RenderRms(*emu, 256);
    });
    for (int i = 0; i < 100; ++i) {
        Bytes data(2000, uint8_t(i));
        out->SendLong(SampleMessage(300, 2000, data));
        out->SendLong(Message(0x03, ObjectBlock(3, i % 3, "P", Bytes{0, 0, 0, 0})));
        out->SendShort(0x90 | (40 + i % 40) << 8 | 100 << 16);
        if (i % 2) out->SendShort(0x80 | (40 + (i + 5) % 40) << 8);
    }
    stop = true;
    audio.join();
    EXPECT_LE(emu->AudioStats().activeVoices, 64);
}

}  // namespace
}  // namespace talmeru::emulator
