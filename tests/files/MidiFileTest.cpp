#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "files/MidiFile.h"
#include "support/MidiFileBuilder.h"

namespace talmeru {
namespace {

using test::MidiImage;
using test::MidiTrack;

std::string Refusal(const std::vector<uint8_t>& bytes) {
    try {
        ReadMidi(bytes);
    } catch (const MidiFileError& e) {
        return e.what();
    }
    return "(read without complaint)";
}

// Format 1 at 480 ticks per quarter: the tempo track halves the quarter note at tick 960,
// and the notes of the other track follow it.
TEST(MidiFile, TimesFollowTheTempoMapOfAnyTrackAndTracksMergeInOrder) {
    MidiImage img;
    img.tracks.push_back(MidiTrack()
                             .Delta(0)
                             .Tempo(500000)
                             .Delta(480)
                             .Bytes({0xB0, 7, 100})
                             .Delta(480)
                             .Tempo(250000)
                             .Delta(960)
                             .End());
    img.tracks.push_back(MidiTrack()
                             .Delta(480)
                             .Bytes({0x90, 60, 100})
                             .Delta(480)
                             .Bytes({0x80, 60, 0})
                             .Delta(480)
                             .Bytes({0x90, 62, 90})
                             .Delta(0)
                             .End());
    MidiSong song = ReadMidi(img.Build());
    EXPECT_EQ(song.format, 1);
    EXPECT_EQ(song.trackCount, 2);
    struct Want {
        uint64_t tick;
        double seconds;
        int track;
        uint32_t message;
    };
    const std::vector<Want> want = {{480, 0.5, 0, 0x6407B0},
                                    {480, 0.5, 1, 0x643C90},
                                    {960, 1.0, 1, 0x003C80},
                                    {1440, 1.25, 1, 0x5A3E90}};
    ASSERT_EQ(song.events.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(song.events[i].tick, want[i].tick) << i;
        EXPECT_DOUBLE_EQ(song.events[i].seconds, want[i].seconds) << i;
        EXPECT_EQ(song.events[i].track, want[i].track) << i;
        EXPECT_EQ(song.events[i].message, want[i].message) << i;
    }
    // The tempo track ends last, at tick 1920.
    EXPECT_DOUBLE_EQ(song.lengthSeconds, 1.5);

    // SMPTE time: 25 frames of 40 ticks are 1000 ticks a second, whatever the tempo says.
    img.division = 0xE728;
    song = ReadMidi(img.Build());
    EXPECT_DOUBLE_EQ(song.events[3].seconds, 1.44);
    EXPECT_DOUBLE_EQ(song.lengthSeconds, 1.92);
}

// Running status carries over data bytes (and over meta events), for messages of one and of
// two data bytes; a track without its end-of-track event ends at its chunk's end.
TEST(MidiFile, RunningStatusAndAMissingEndOfTrack) {
    MidiImage img;
    img.format = 0;
    img.tracks.push_back(MidiTrack()
                             .Delta(0)
                             .Bytes({0x91, 60, 100})
                             .Delta(10)
                             .Bytes({64, 101})
                             .Delta(0)
                             .Bytes({0xFF, 0x01, 0x02, 'h', 'i'})
                             .Delta(10)
                             .Bytes({67, 0})
                             .Delta(5)
                             .Bytes({0xC2, 5})
                             .Delta(5)
                             .Bytes({6}));
    MidiSong song = ReadMidi(img.Build());
    std::vector<uint32_t> messages;
    for (const MidiEvent& e : song.events)
        messages.push_back(e.message);
    EXPECT_EQ(messages, (std::vector<uint32_t>{0x643C91, 0x654091, 0x004391, 0x0005C2, 0x0006C2}));
    EXPECT_EQ(song.events.back().tick, 30u);
    EXPECT_DOUBLE_EQ(song.lengthSeconds, 30.0 / 960.0);
}

// Every kind of channel message, with its status and then in running status: a kind read
// with one data byte too many or too few takes the bytes of the events after it.
TEST(MidiFile, EveryKindOfChannelMessageTakesItsOwnDataBytes) {
    MidiImage img;
    MidiTrack& t = img.tracks.emplace_back();
    std::vector<uint32_t> want;
    for (const std::vector<uint8_t>& m : test::EveryChannelMessage(5)) {
        uint32_t packed = 0;
        for (size_t i = 0; i < m.size(); ++i)
            packed |= uint32_t(m[i]) << (8 * i);
        for (bool running : {false, true}) {
            t.Delta(7).Message(m, running);
            want.push_back(packed);
        }
    }
    t.Delta(0).End();
    MidiSong song = ReadMidi(img.Build());
    std::vector<uint32_t> messages;
    for (const MidiEvent& e : song.events)
        messages.push_back(e.message);
    EXPECT_EQ(messages, want);
    EXPECT_EQ(song.events.back().tick, 7 * want.size());
}

TEST(MidiFile, SystemExclusiveMessagesArriveWholeAndF0First) {
    MidiImage img;
    img.tracks.push_back(MidiTrack()
                             .Delta(0)
                             .Sysex(0xF0, {0x7E, 0x7F, 0x09, 0x01, 0xF7})
                             // A message in three packets: it counts when it is complete.
                             .Delta(10)
                             .Sysex(0xF0, {0x43, 0x10})
                             .Delta(10)
                             .Sysex(0xF7, {0x4C, 0x00})
                             .Delta(10)
                             .Sysex(0xF7, {0x7F, 0xF7})
                             // An escape that carries a whole message, and one that carries
                             // a bare real-time byte (not for the synthesizer).
                             .Delta(10)
                             .Sysex(0xF7, {0xF0, 0x01, 0xF7})
                             .Delta(10)
                             .Sysex(0xF7, {0xF8})
                             // Left open, then ended by a channel message.
                             .Delta(10)
                             .Sysex(0xF0, {0x44})
                             .Delta(0)
                             .Bytes({0x90, 60, 1})
                             .Delta(0)
                             .End());
    MidiSong song = ReadMidi(img.Build());
    ASSERT_EQ(song.events.size(), 5u);
    using Bytes = std::vector<uint8_t>;
    EXPECT_EQ(song.events[0].sysex, (Bytes{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}));
    EXPECT_EQ(song.events[1].sysex, (Bytes{0xF0, 0x43, 0x10, 0x4C, 0x00, 0x7F, 0xF7}));
    EXPECT_EQ(song.events[1].tick, 30u);
    EXPECT_EQ(song.events[2].sysex, (Bytes{0xF0, 0x01, 0xF7}));
    EXPECT_EQ(song.events[3].sysex, (Bytes{0xF0, 0x44}));
    EXPECT_EQ(song.events[4].message, 0x013C90u);
    EXPECT_FALSE(song.events[4].IsSysex());
}

// Other chunks are skipped; so is what follows the last announced track.
TEST(MidiFile, ForeignChunksAndTrailingBytesAreSkipped) {
    MidiImage img;
    img.tracks.push_back(MidiTrack().Delta(0).Bytes({0x90, 60, 1}).Delta(0).End());
    std::vector<uint8_t> bytes = img.Build();
    const std::vector<uint8_t> alien = {'X', 'Y', 'Z', 'W', 0, 0, 0, 2, 0xFF, 0xFF};
    bytes.insert(bytes.begin() + 14, alien.begin(), alien.end());
    bytes.insert(bytes.end(), {'j', 'u', 'n', 'k'});
    EXPECT_EQ(ReadMidi(bytes).events.size(), 1u);
}

TEST(MidiFile, BadInputIsRefusedWithItsReason) {
    auto withTrack = [](MidiTrack t, uint16_t division = 480) {
        MidiImage img;
        img.division = division;
        img.tracks.push_back(std::move(t));
        return img.Build();
    };
    const MidiTrack good = MidiTrack().Delta(0).Bytes({0x90, 60, 1}).Delta(0).End();
    auto patched = [&](size_t at, std::vector<uint8_t> bytes) {
        std::vector<uint8_t> b = withTrack(good);
        std::copy(bytes.begin(), bytes.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
        return b;
    };
    MidiImage format2;
    format2.format = 2;
    format2.tracks.push_back(good);
    MidiImage missing;
    missing.trackCount = 2;
    missing.tracks.push_back(good);
    std::vector<uint8_t> truncatedChunk = withTrack(good);
    truncatedChunk.pop_back();

    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        std::string reason;
    };
    const std::vector<Case> cases = {
        {"not MIDI", {'R', 'I', 'F', 'F', 0, 0, 0, 6, 0, 0, 0, 1, 1, 0xE0}, "Not a MIDI file"},
        {"short header", patched(4, {0, 0, 0, 4}), "header is 4 bytes long"},
        {"header past end", patched(4, {0, 0, 1, 0}), "header runs past the end"},
        {"format 2", format2.Build(), "format 2 (independent patterns) cannot be played"},
        {"format 7", patched(8, {0, 7}), "unknown format 7"},
        {"no tracks", patched(10, {0, 0}), "it has no tracks"},
        {"division 0", withTrack(good, 0), "division of 0 ticks"},
        {"23 fps", withTrack(good, 0xE950), "23 SMPTE frames per second"},
        {"0 per frame", withTrack(good, 0xE700), "0 ticks per SMPTE frame"},
        {"tempo 0", withTrack(MidiTrack().Delta(0).Tempo(0)), "tempo of 0"},
        {"tempo 2 bytes", withTrack(MidiTrack().Delta(0).Bytes({0xFF, 0x51, 2, 1, 1})),
         "tempo event of 2 bytes"},
        {"5-byte number", withTrack(MidiTrack().Bytes({0x81, 0x80, 0x80, 0x80, 0x00, 0xFE})),
         "track 1 at byte 22: a variable-length number longer than 4 bytes"},
        {"no running status", withTrack(MidiTrack().Delta(0).Bytes({60, 100})),
         "a data byte (0x3C) with no status before it"},
        {"status as data", withTrack(MidiTrack().Delta(0).Bytes({0x90, 60, 0x90})),
         "status byte 0x90 where a data byte belongs"},
        {"system common", withTrack(MidiTrack().Delta(0).Bytes({0xF2, 1, 1})),
         "status byte 0xF2 has no place"},
        {"sysex past end", withTrack(MidiTrack().Delta(0).Bytes({0xF0, 0x10, 1})),
         "an event of 16 bytes runs past the end of the track"},
        {"meta past end", withTrack(MidiTrack().Delta(0).Bytes({0xFF, 0x01, 0x8F, 0x7F})),
         "an event of 2047 bytes runs past the end of the track"},
        {"track ends in an event", withTrack(MidiTrack().Delta(0).Bytes({0x90, 60})),
         "the track ends in the middle of an event"},
        {"chunk past end", truncatedChunk, "the chunk at byte 14 (8 bytes) runs past the end"},
        {"missing track", missing.Build(), "announces 2 tracks, but it holds 1"},
    };
    for (const Case& c : cases)
        EXPECT_NE(Refusal(c.bytes).find(c.reason), std::string::npos)
            << c.what << ": " << Refusal(c.bytes);

    // Every cut of a good file is read or refused, never read past its end.
    MidiImage whole;
    whole.tracks.push_back(
        MidiTrack().Delta(0).Tempo(400000).Delta(0).Sysex(0xF0, {1, 2, 0xF7}).Delta(200).End());
    whole.tracks.push_back(good);
    const std::vector<uint8_t> bytes = whole.Build();
    for (size_t n = 0; n < bytes.size(); ++n) {
        std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
        EXPECT_NE(Refusal(cut), "(read without complaint)") << n;
    }
}

// One event more than the limit is refused; the file needs only two bytes per event.
TEST(MidiFile, TooManyEventsAreRefused) {
    MidiTrack t;
    t.Delta(0).Bytes({0xC0, 1});
    t.data.reserve(2 * kMaxMidiEvents + 8);
    for (size_t i = 1; i < kMaxMidiEvents + 1; ++i)
        t.data.insert(t.data.end(), {0, 1});
    MidiImage img;
    img.tracks.push_back(std::move(t));
    EXPECT_NE(Refusal(img.Build()).find("more than 1000000 events"), std::string::npos);
}

}  // namespace
}  // namespace talmeru
