#include "files/MidiFile.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <system_error>

#include "platform/ByteIO.h"
#include "platform/FileUtil.h"
#include "platform/Format.h"

namespace talmeru {

namespace {

constexpr uint32_t kDefaultTempo = 500000;  // microseconds per quarter note: 120 bpm
constexpr uint8_t kSysex = 0xF0;
constexpr uint8_t kEscape = 0xF7;
constexpr uint8_t kMeta = 0xFF;
constexpr uint8_t kEndOfTrack = 0x2F;
constexpr uint8_t kTempo = 0x51;

[[noreturn]] void Refuse(const std::string& why) {
    throw MidiFileError("Bad MIDI file: " + why);
}

struct TempoChange {
    uint64_t tick;
    uint32_t usPerQuarter;
};

// What one file's events add up to while its tracks are read; bounded by kMaxMidiEvents.
struct Collected {
    std::vector<MidiEvent> events;
    std::vector<TempoChange> tempos;
    uint64_t endTick = 0;
    void Count() const {
        if (events.size() + tempos.size() >= kMaxMidiEvents)
            Refuse(Fmt("it holds more than %zu events.", kMaxMidiEvents));
    }
};

// Reads one MTrk chunk. A track that stops without an end-of-track event ends at its
// chunk's end; one that stops inside an event is refused.
class TrackParser {
  public:
    TrackParser(std::span<const uint8_t> chunk, size_t fileOffset, int track, Collected& out)
        : r_(chunk), fileOffset_(fileOffset), track_(track), out_(out) {}

    void Parse() {
        try {
            while (!r_.AtEnd() && !ended_) {
                eventStart_ = r_.Pos();
                tick_ += Vlq();
                Event();
            }
        } catch (const ReadPastEnd&) {
            Fail("the track ends in the middle of an event.");
        }
        FlushSysex();
        out_.endTick = std::max(out_.endTick, tick_);
    }

  private:
    [[noreturn]] void Fail(const std::string& why) const {
        Refuse(Fmt("track %d at byte %zu: %s", track_ + 1, fileOffset_ + eventStart_, why.c_str()));
    }

    // At most four bytes, so a tick delta stays below 2^28.
    uint32_t Vlq() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) {
            const uint8_t b = r_.U8();
            v = (v << 7) | (b & 0x7F);
            if (!(b & 0x80)) return v;
        }
        Fail("a variable-length number longer than 4 bytes.");
    }

    std::span<const uint8_t> Counted() {
        const uint32_t length = Vlq();
        if (!r_.CanRead(length))
            Fail(Fmt("an event of %u bytes runs past the end of the track.", length));
        return r_.Bytes(length);
    }

    uint8_t Data() {
        const uint8_t b = r_.U8();
        if (b & 0x80) Fail(Fmt("status byte 0x%02X where a data byte belongs.", b));
        return b;
    }

    void Event() {
        const uint8_t b = r_.U8();
        if (b == kMeta) return Meta();
        if (b == kSysex || b == kEscape) return Sysex(b);
        if (b >= 0xF0) Fail(Fmt("status byte 0x%02X has no place in a MIDI file.", b));
        // Running status lasts across meta and system-exclusive events: files written that
        // way are common, and nothing else could be meant.
        uint8_t status = b, first = 0;
        if (b < 0x80) {
            if (running_ == 0) Fail(Fmt("a data byte (0x%02X) with no status before it.", b));
            status = running_;
            first = b;
        } else {
            first = Data();
        }
        running_ = status;
        const int kind = status & 0xF0;
        const uint8_t second = kind == 0xC0 || kind == 0xD0 ? 0 : Data();
        FlushSysex();
        Add(PackedMessage(status, first, second), {});
    }

    static uint32_t PackedMessage(uint8_t status, uint8_t d1, uint8_t d2) {
        return uint32_t(status) | (uint32_t(d1) << 8) | (uint32_t(d2) << 16);
    }

    void Meta() {
        const uint8_t type = r_.U8();
        const std::span<const uint8_t> data = Counted();
        if (type == kEndOfTrack) {
            ended_ = true;
        } else if (type == kTempo) {
            if (data.size() != 3)
                Fail(Fmt("a tempo event of %zu bytes (3 expected).", data.size()));
            const uint32_t us = (uint32_t(data[0]) << 16) | (uint32_t(data[1]) << 8) | data[2];
            if (us == 0) Fail("a tempo of 0 microseconds per quarter note.");
            out_.Count();
            out_.tempos.push_back({tick_, us});
        }
    }

    // F0 starts a message; a message without its closing F7 goes on in the F7 packets that
    // follow until one closes it. An F7 event outside a message is an escape: kept when it
    // carries a whole message, skipped otherwise (bare real-time bytes).
    void Sysex(uint8_t kind) {
        const std::span<const uint8_t> data = Counted();
        if (kind == kSysex) {
            FlushSysex();
            pending_.assign(1, kSysex);
        } else if (pending_.empty()) {
            if (data.empty() || data[0] != kSysex) return;
        }
        pending_.insert(pending_.end(), data.begin(), data.end());
        if (!pending_.empty() && pending_.back() == kEscape) FlushSysex();
    }

    // A message still open when a channel message or a new message comes is sent as far as
    // it goes.
    void FlushSysex() {
        if (pending_.empty()) return;
        Add(0, std::move(pending_));
        pending_.clear();
    }

    void Add(uint32_t message, std::vector<uint8_t> sysex) {
        out_.Count();
        MidiEvent& e = out_.events.emplace_back();
        e.tick = tick_;
        e.track = track_;
        e.message = message;
        e.sysex = std::move(sysex);
    }

    ByteReader r_;
    size_t fileOffset_;
    int track_;
    Collected& out_;
    size_t eventStart_ = 0;
    uint64_t tick_ = 0;
    uint8_t running_ = 0;
    bool ended_ = false;
    std::vector<uint8_t> pending_;
};

// Ticks to seconds: musical time (ticks per quarter note under the tempo map) or SMPTE
// time (frames per second times ticks per frame, tempo ignored).
class Clock {
  public:
    Clock(uint16_t division, std::vector<TempoChange> tempos) : tempos_(std::move(tempos)) {
        if (division & 0x8000) {
            const int fps = -int(int8_t(division >> 8));
            const int perFrame = division & 0xFF;
            if (fps != 24 && fps != 25 && fps != 29 && fps != 30)
                Refuse(Fmt("%d SMPTE frames per second (24, 25, 29 or 30 expected).", fps));
            if (perFrame == 0) Refuse("0 ticks per SMPTE frame.");
            smpteTicksPerSecond_ = (fps == 29 ? 30000.0 / 1001.0 : fps) * perFrame;
        } else {
            if (division == 0) Refuse("a division of 0 ticks per quarter note.");
            ticksPerQuarter_ = division;
        }
        std::stable_sort(
            tempos_.begin(), tempos_.end(),
            [](const TempoChange& a, const TempoChange& b) { return a.tick < b.tick; });
    }

    // Ticks must come in rising order.
    double Seconds(uint64_t tick) {
        if (smpteTicksPerSecond_ > 0) return double(tick) / smpteTicksPerSecond_;
        while (next_ < tempos_.size() && tempos_[next_].tick <= tick) {
            Advance(tempos_[next_].tick);
            tempo_ = tempos_[next_++].usPerQuarter;
        }
        return seconds_ + Span(tick - tick_);
    }

  private:
    double Span(uint64_t ticks) const { return double(ticks) * tempo_ / (1e6 * ticksPerQuarter_); }
    void Advance(uint64_t tick) {
        seconds_ += Span(tick - tick_);
        tick_ = tick;
    }

    std::vector<TempoChange> tempos_;
    double smpteTicksPerSecond_ = 0;
    uint32_t ticksPerQuarter_ = 0;
    size_t next_ = 0;
    uint64_t tick_ = 0;
    double seconds_ = 0;
    uint32_t tempo_ = kDefaultTempo;
};

struct Header {
    int format;
    int tracks;
    uint16_t division;
};

Header ReadHeader(ByteReader& r) {
    if (r.Size() < 14 || std::memcmp(r.Data().data(), "MThd", 4) != 0)
        throw MidiFileError("Not a MIDI file: it does not begin with \"MThd\".");
    r.Skip(4);
    const uint32_t length = r.U32BE();
    if (length < 6) Refuse(Fmt("its header is %u bytes long (at least 6).", length));
    if (length > r.Remaining()) Refuse("its header runs past the end of the file.");
    Header h{r.U16BE(), r.U16BE(), r.U16BE()};
    r.Seek(8 + size_t(length));
    if (h.format == 2)
        throw MidiFileError("MIDI files of format 2 (independent patterns) cannot be played.");
    if (h.format > 2) Refuse(Fmt("unknown format %d.", h.format));
    if (h.tracks == 0) Refuse("it has no tracks.");
    return h;
}

}  // namespace

MidiSong ReadMidi(std::span<const uint8_t> bytes) {
    ByteReader r(bytes);
    const Header h = ReadHeader(r);
    Collected got;
    int found = 0;
    // Chunks of other kinds are skipped, as the format asks; bytes after the last track too.
    while (found < h.tracks) {
        if (!r.CanRead(8))
            Refuse(Fmt("its header announces %d tracks, but it holds %d.", h.tracks, found));
        const size_t at = r.Pos();
        const bool isTrack = std::memcmp(r.Bytes(4).data(), "MTrk", 4) == 0;
        const uint32_t length = r.U32BE();
        if (length > r.Remaining())
            Refuse(
                Fmt("the chunk at byte %zu (%u bytes) runs past the end of the file.", at, length));
        const size_t body = r.Pos();
        const std::span<const uint8_t> chunk = r.Bytes(length);
        if (!isTrack) continue;
        TrackParser(chunk, body, found++, got).Parse();
    }

    // The tracks were read one after another, so a stable sort keeps track order at a tick.
    std::stable_sort(got.events.begin(), got.events.end(),
                     [](const MidiEvent& a, const MidiEvent& b) { return a.tick < b.tick; });
    const uint64_t endTick = got.endTick;
    Clock clock(h.division, std::move(got.tempos));
    MidiSong song;
    song.format = h.format;
    song.trackCount = h.tracks;
    for (MidiEvent& e : got.events)
        e.seconds = clock.Seconds(e.tick);
    song.lengthSeconds = clock.Seconds(endTick);
    song.events = std::move(got.events);
    return song;
}

MidiSong ReadMidiFile(const std::string& path) {
    const std::string& name = path;
    if (std::string why = NotRegularFileMessage(name); !why.empty()) throw MidiFileError(why);
    std::error_code ec;
    const uintmax_t size = std::filesystem::file_size(PathFromUtf8(path), ec);
    if (!ec && size > kMaxMidiFileBytes)
        throw MidiFileError(Fmt("\"%s\" is too large for a MIDI file (over %llu MiB).",
                                name.c_str(), (unsigned long long)(kMaxMidiFileBytes >> 20)));
    std::optional<std::vector<uint8_t>> bytes = ReadWholeFile(path, kMaxMidiFileBytes);
    if (!bytes) throw MidiFileError(Fmt("Could not read the MIDI file \"%s\".", name.c_str()));
    return ReadMidi(*bytes);
}

}  // namespace talmeru
