#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "emulator/SevenBit.h"
#include "platform/FileUtil.h"
#include "platform/Profile.h"
#include "platform/Prompter.h"
#include "synth/Sysex.h"
#include "synth/SysexFileLink.h"

namespace talmeru {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(PackSysex, KnownPatternsAndSizes) {
    EXPECT_EQ(PackSysex(Bytes{0x61, 0x62, 0x63}), (Bytes{0x30, 0x58, 0x4C, 0x30}));
    EXPECT_EQ(BuildMessage(0x01, Bytes{0x61, 0x62, 0x63}),
              (Bytes{0xF0, 0x07, 0x21, 0x01, 0x01, 0x30, 0x58, 0x4C, 0x30, 0xF7}));
    EXPECT_EQ(PackSysex(Bytes(7, 0xFF)), Bytes(8, 0x7F));
    EXPECT_EQ(BuildMessage(0x0A), (Bytes{0xF0, 0x07, 0x21, 0x01, 0x0A, 0xF7}));
    EXPECT_EQ(PackSysex(Bytes{0x80}), (Bytes{0x40, 0x00}));
    EXPECT_EQ(PackSysex(Bytes(8, 0)).size(), 10u);
    EXPECT_EQ(PackedSize(3494), 3994u);  // the largest reply that fits 4000 bytes
}

// The link's coding and the emulator's are written apart; each must read the other's.
TEST(PackSysex, RoundTripsAndAgreesWithTheEmulator) {
    ScriptedPrompter quiet;
    ScopedPrompter scope(quiet);
    std::mt19937 rng(7);
    for (size_t n = 0; n < 300; n += (n < 20 ? 1 : 37)) {
        Bytes payload(n);
        for (auto& b : payload)
            b = uint8_t(rng());
        Bytes message = BuildMessage(0x02, payload);
        ASSERT_EQ(message.size(), 6 + (8 * n + 6) / 7);
        for (size_t i = 5; i + 1 < message.size(); ++i)
            ASSERT_LT(message[i], 0x80);
        Bytes back;
        ASSERT_EQ(UnpackSysex(message, n, back), 0) << n;
        EXPECT_EQ(back, payload);
        EXPECT_EQ(emulator::Decode7(PackSysex(payload)), payload);
        EXPECT_EQ(emulator::Encode7(payload), PackSysex(payload));
    }
    EXPECT_TRUE(quiet.All().empty());
}

TEST(UnpackSysex, JudgesTheEndByteOnly) {
    ScriptedPrompter prompter;
    ScopedPrompter scope(prompter);
    Bytes out;
    Bytes reply = BuildMessage(0x0B, Bytes{1, 2, 3, 4, 5, 6, 7, 8});
    reply[1] = 0x40;  // head bytes are not examined
    EXPECT_EQ(UnpackSysex(reply, 8, out), 0);
    EXPECT_EQ(out, (Bytes{1, 2, 3, 4, 5, 6, 7, 8}));

    Bytes early = reply;
    early.resize(9);
    early.back() = 0xF7;
    EXPECT_EQ(UnpackSysex(early, 8, out), 2);
    Bytes open = reply;
    open.pop_back();
    EXPECT_EQ(UnpackSysex(open, 8, out), 2);
    Bytes longer = reply;
    longer.back() = 0x00;  // the 0xF7 comes one byte too late
    longer.push_back(0xF7);
    EXPECT_EQ(UnpackSysex(longer, 8, out), 2);
    Bytes inner = reply;
    inner[7] = 0xF7;  // right length, but an end byte inside the payload
    EXPECT_EQ(UnpackSysex(inner, 8, out), 2);
    EXPECT_EQ(UnpackSysex(Bytes{}, 0, out), 2);
    EXPECT_EQ(UnpackSysex(Bytes{0xF0, 0x07, 0x21, 0x01, 0x0D, 0xF7}, 0, out), 0);

    EXPECT_EQ(prompter.Messages(),
              (std::vector<std::string>{"Sysex message from MA-1 was shorter than expected!",
                                        "Sysex message from MA-1 was not terminated!",
                                        "Sysex message from MA-1 was not terminated!",
                                        "Received 0xF7 before expected",
                                        "Sysex message from MA-1 was not terminated!"}));
}

TEST(SysexFileLink, WritesTheMessagesTheMidiLinkWouldSend) {
    namespace fs = std::filesystem;
    fs::path path = fs::temp_directory_path() / "talmeru-syxlink.syx";
    Profile settings;
    settings.WriteString("Options", "Convert15Bit", "1");
    Bytes object = {3, 0, 5, 0, 2, 0, 'P', 'i', 'a', 'n', 'o',  0,
                    0, 0, 0, 0, 0, 0, 0,   0,   0,   0,   0xAA, 0xBB};
    {
        SysexFileLink link(path, settings);
        ASSERT_TRUE(link.IsOpen());
        EXPECT_TRUE(link.HasSampleRam());
        EXPECT_TRUE(link.Convert15Bit());
        EXPECT_EQ(link.StoreObject(object), 0);
        link.SendShort(0xFF, 0, 0, 0);
        int remaining = 5000;
        EXPECT_EQ(link.UploadSampleData(7, Bytes{0xFD, 0xFF}, remaining, 16), 0);
        EXPECT_EQ(remaining, 5000 - 1026);
        Bytes block;
        EXPECT_EQ(link.GetObject(3, 5, block), kNoSuchObject);
        EXPECT_EQ(link.QueryMemory(0), 0);
        EXPECT_EQ(link.QueryMemory(2), 1);
        EXPECT_TRUE(link.Close());
    }
    auto file = ReadWholeFile(path);
    ASSERT_TRUE(file);
    Bytes expected = BuildMessage(0x03, object);
    expected.insert(expected.end(), {0xFF, 0, 0, 0});
    Bytes header = {7, 0, 0x02, 0x04, 0, 0};  // sample 7, block 1026
    Bytes sample = BuildMessage(0x05, header);
    sample.pop_back();                          // raw data follow, with no end byte
    sample.insert(sample.end(), {0xFF, 0xFF});  // -3 halved is -1
    sample.resize(sample.size() + 1024, 0);
    expected.insert(expected.end(), sample.begin(), sample.end());
    EXPECT_EQ(*file, expected);
    fs::remove(path);

    SysexFileLink nowhere(fs::temp_directory_path() / "no-such-dir" / "x.syx", settings);
    EXPECT_FALSE(nowhere.IsOpen());
    EXPECT_EQ(nowhere.SendSysex(expected), 1);
}

}  // namespace
}  // namespace talmeru
