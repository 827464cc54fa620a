#include "files/SyxBank.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <map>

#include "files/BankReadError.h"
#include "files/FileWaveData.h"
#include "files/Pbf.h"
#include "model/BankTransfer.h"
#include "model/WaveMerge.h"
#include "model/ZedoDatabase.h"
#include "model/ZedoException.h"
#include "platform/ByteIO.h"
#include "platform/ByteSink.h"
#include "platform/FileUtil.h"
#include "platform/Format.h"
#include "platform/Profile.h"
#include "platform/Prompter.h"
#include "platform/Riff.h"
#include "synth/SynthLink.h"
#include "synth/Sysex.h"

namespace talmeru {

namespace {

constexpr size_t kMaxObjectMessage = 8192;

// Sample data goes in one block of at least 1024 bytes and one padding word more; the data
// read back is the block without that word.
constexpr uint64_t kSamplePadding = 2;

uint64_t SampleBytesOf(uint64_t block) {
    return block >= kSamplePadding ? block - kSamplePadding : block;
}

// A sysex file's messages in order, read through a window of the file: sample data is raw
// bytes that may hold 0xF7, so it is stepped over by its size and never read, and no more
// than the window is held however large the file is.
class SyxMessages {
  public:
    struct Message {
        int kind = 0;  // the MA-1 message kind; 0 for any other message
        // Kind 3: the packed object; kind 6: the packed alias fields. Valid until Next().
        std::span<const uint8_t> body;
        int base = 0;            // kind 5: the sample's number
        uint64_t dataAt = 0;     // kind 5: where its data starts in the file
        uint64_t blockSize = 0;  // kind 5: the data block's size
    };

    explicit SyxMessages(const ByteSource& src) : src_(src), size_(src.Size()) {}

    // The next message, or none at the file's end or when the last message is cut short
    // (Cut()). BankReadError for a message that cannot be right.
    std::optional<Message> Next() {
        while (pos_ < size_) {
            if (Byte(pos_) != 0xF0) {  // stray bytes between messages
                pos_ = Find(pos_, 0xF0);
                continue;
            }
            const uint64_t at = pos_;
            const bool ma1 =
                size_ - at >= 5 && Load(at, 5) && Byte(at + 1) == 0x07 && Byte(at + 2) == 0x21;
            anyMa1_ = anyMa1_ || ma1;
            Message m;
            m.kind = ma1 ? Byte(at + 4) : 0;
            if (m.kind == 3) {
                uint64_t end = at + 5;
                while (end < size_ && Byte(end) != 0xF7 && end - at < kMaxObjectMessage)
                    ++end;
                if (end >= size_) return Stop();
                if (Byte(end) != 0xF7) Fail("File corrupted");
                m.body = Bytes(at + 5, size_t(end - at - 5));
                pos_ = end + 1;
            } else if (m.kind == 5) {
                if (size_ - at < 5 + 7) return Stop();
                auto header = Unpack7Bit(Bytes(at + 5, 7));
                if (header.size() < 6) Fail("Bad sysex 2");
                ByteReader fields(header);
                m.base = fields.U16();
                m.blockSize = fields.U32();
                m.dataAt = at + 5 + 7;
                if (m.blockSize > size_ - m.dataAt) return Stop();
                pos_ = m.dataAt + m.blockSize;
            } else {
                const uint64_t end = Find(at + 1, 0xF7);
                if (end >= size_) return Stop();
                if (m.kind == 6) {
                    if (end + 1 - at < 5 + 5 + 1) Fail("Bad sysex 3");
                    m.body = Bytes(at + 5, 5);
                }
                pos_ = end + 1;
            }
            return m;
        }
        return std::nullopt;
    }

    bool Cut() const { return cut_; }
    bool AnyMa1() const { return anyMa1_; }

  private:
    static constexpr size_t kWindow = size_t{1} << 20;

    std::optional<Message> Stop() {
        cut_ = true;
        pos_ = size_;
        return std::nullopt;
    }
    // Makes the file's bytes [at, at + n) lie in the window; false when the file ends first.
    bool Load(uint64_t at, size_t n) {
        if (at >= windowAt_ && at + n <= windowAt_ + window_.size()) return true;
        window_.resize(
            size_t(std::min<uint64_t>(std::max(kWindow, n), size_ - std::min(at, size_))));
        window_.resize(src_.ReadAt(at, window_.data(), window_.size()));
        windowAt_ = at;
        return window_.size() >= n;
    }
    // The first byte at or after `at` that is `value`, or the file's size.
    uint64_t Find(uint64_t at, uint8_t value) {
        while (at < size_ && Load(at, 1)) {
            const size_t from = size_t(at - windowAt_);
            const void* hit = std::memchr(window_.data() + from, value, window_.size() - from);
            if (hit) return windowAt_ + uint64_t(static_cast<const uint8_t*>(hit) - window_.data());
            at = windowAt_ + window_.size();
        }
        return size_;
    }
    uint8_t Byte(uint64_t at) {
        if (!Load(at, 1)) Fail("File corrupted");
        return window_[size_t(at - windowAt_)];
    }
    std::span<const uint8_t> Bytes(uint64_t at, size_t n) {
        if (!Load(at, n)) Fail("File corrupted");
        return std::span<const uint8_t>(window_).subspan(size_t(at - windowAt_), n);
    }

    const ByteSource& src_;
    const uint64_t size_;
    uint64_t pos_ = 0;
    std::vector<uint8_t> window_;
    uint64_t windowAt_ = 0;
    bool cut_ = false, anyMa1_ = false;
};

}  // namespace

int ReadSyx(const std::string& path, ZedoDatabase& db, const ZedoDatabase* rom) {
    FileSource file(path);
    if (!file.Ok()) {
        ShowMessage(Fmt("Error \"%s\" reading SYX file \"%s\"",
                        std::strerror(file.Error() ? file.Error() : EIO), path.c_str()));
        return 1;
    }
    return ReadSyx(file, path, db, rom);
}

int ReadSyx(const ByteSource& file, const std::string& path, ZedoDatabase& db,
            const ZedoDatabase* rom) {
    if (!rom) {
        ShowMessage("The ROM bank is needed to read a sysex bank file, and there is none.");
        return 1;
    }
    std::string keepPath = db.Path();
    RestoreRom(db, *rom, kRestorePrograms);
    db.SetPath(keepPath);
    std::string abs =
        Utf8FromPath(std::filesystem::absolute(PathFromUtf8(path)).lexically_normal());
    int result = 0;
    // A file that holds no MA-1 message at all, or whose last message is cut short, is
    // damaged: what was read is kept, and the open fails.
    SyxMessages messages(file);
    try {
        while (auto m = messages.Next()) {
            if (m->kind == 3) {
                auto block = Unpack7Bit(m->body);
                PackedHeader h;
                if (block.size() < kObjectHeaderSize || !ReadPackedHeader(block, h))
                    Fail("Bad sysex 1");
                int rc = 0;
                try {
                    rc = db.Store(block);
                } catch (const ZedoException&) {
                    rc = 1;
                }
                if (rc != 0) Fail("Bad Object 2");
            } else if (m->kind == 5) {
                // The header itself comes later in the file (sample data is sent first); the
                // headers are attached once everything is read.
                if (db.WaveDataCount() >= kMaxWaveData) Fail("WaveDataList full!");
                auto w = std::make_unique<Ma1WaveData>(abs, m->base, m->dataAt,
                                                       SampleBytesOf(m->blockSize), true);
                if (!w->valid) Fail("Bad WaveData");
                db.AddWaveData(std::move(w));
            } else if (m->kind == 6) {
                auto alias = Unpack7Bit(m->body);
                // The message carries the primary sample first, then the alias, as the
                // synthesizer takes it.
                ByteReader fields(alias);
                int base = fields.U16();
                int linked = fields.U16();
                WaveData* target = nullptr;
                for (int i = 0; i < db.WaveDataCount() && !target; ++i)
                    if (WaveData* w = db.GetWaveData(i);
                        w->StorageClass() != kNotSaved && w->base == base)
                        target = w;
                if (!target) Fail("Sample alias without Sample");
                target->AddLink(linked);
            }
        }
        if (messages.Cut() || !messages.AnyMa1()) Fail(path + " is damaged or cut short");
    } catch (const BankReadError& e) {
        ShowMessage(e.text);
        result = 1;
    } catch (const ZedoException& e) {
        ShowMessage(e.what());
        result = 1;
    }
    bool orphans = false;
    for (int i = 0; i < db.WaveDataCount(); ++i) {
        WaveData* w = db.GetWaveData(i);
        if (w->StorageClass() == kNotSaved) continue;
        bool played = false;
        if (SampleHeader* s = db.GetSampleHeader(w->base)) {
            s->AttachWave(w, kAttachReference);
            played = true;
        }
        for (const auto& l : w->links)
            if (SampleHeader* s = db.GetSampleHeader(l.number)) {
                s->AttachWave(w, kAttachReference);
                played = true;
            }
        orphans = orphans || !played;
    }
    // Sample data that no header plays (neither its own nor an alias): the synthesizer would
    // refuse it. It is kept with the rest of what was read.
    if (orphans) {
        ShowMessage("Bad Add Sample");
        result = 1;
    }
    // Headers from the file replaced ROM copies: the ROM wave data's users are counted anew.
    if (WaveData* romWave = db.GetWaveData(0)) {
        romWave->links.clear();
        for (int n = 0; n < kSlotCount; ++n)
            if (SampleHeader* s = db.GetSampleHeader(n); s && s->Wave() == romWave)
                romWave->links.push_back({n, false});
    }
    AttachRomToTheRest(db);
    return result;
}

namespace {

// Keeps the messages an upload would send in memory: short messages as their four bytes,
// system-exclusive messages as they are. It has no replies: nothing can be fetched and the
// queries leave the figures as they are.
class SysexImageLink : public SynthLink {
  public:
    explicit SysexImageLink(Profile& settings) : SynthLink(settings) {
        // A file takes sample data without limit.
        hasSampleRam_ = true;
    }
    void SendShort(uint8_t status, uint8_t data1, uint8_t data2, uint8_t data3) override {
        image.insert(image.end(), {status, data1, data2, data3});
    }
    int GetObject(int, int, std::vector<uint8_t>& block) override {
        block.clear();
        return kNoSuchObject;
    }
    int QueryIdentity() override { return 0; }
    int QueryMemory(int which) override { return which == 0 || which == 1 ? 0 : 1; }
    int SendSysex(std::span<const uint8_t> bytes, size_t length = 0) override {
        length = SysexSendLength(bytes, length);
        image.insert(image.end(), bytes.begin(), bytes.begin() + std::ptrdiff_t(length));
        return 0;
    }

    std::vector<uint8_t> image;
};

}  // namespace

void RepointSyxWaveData(ZedoDatabase& db, const std::string& path) {
    bool affected = false;
    for (int i = 0; i < db.WaveDataCount() && !affected; ++i)
        affected = db.GetWaveData(i)->Kind() == kWaveMa1 && SameFile(db.GetWaveData(i)->path, path);
    if (!affected) return;
    FileSource file(path);
    if (!file.Ok()) return;
    // Where each sample's data lies in the new file.
    std::map<int, std::pair<uint64_t, uint64_t>> placed;
    SyxMessages messages(file);
    try {
        while (auto m = messages.Next())
            if (m->kind == 5) placed[m->base] = {m->dataAt, m->blockSize};
    } catch (const BankReadError&) {
        // The file was just written by us; what was found before the fault is used.
    }
    for (int i = 0; i < db.WaveDataCount(); ++i) {
        WaveData* old = db.GetWaveData(i);
        auto where = placed.find(old->base);
        if (old->Kind() != kWaveMa1 || where == placed.end() || !SameFile(old->path, path))
            continue;
        auto fresh = std::make_unique<Ma1WaveData>(path, old->base, where->second.first,
                                                   SampleBytesOf(where->second.second), true);
        fresh->links = old->links;
        fresh->uploadPending[0] = old->uploadPending[0];
        fresh->uploadPending[1] = old->uploadPending[1];
        db.ReplaceWaveData(old, std::move(fresh));
    }
}

namespace {

bool Saved(const WaveData* w) {
    return w->StorageClass() != kNotSaved;
}

// "3 "Flute" (8-bit, widened to 16 bits)" for every sample whose data a sysex file cannot
// hold as it is: the file's data is 16-bit at 44100 Hz.
std::string SamplesThatChange(ZedoDatabase& db) {
    std::string list;
    for (int i = 0; i < db.WaveDataCount(); ++i) {
        WaveData* w = db.GetWaveData(i);
        if (!Saved(w) || (w->bitsHeld != 8 && w->SampleRate() == 44100)) continue;
        std::string what;
        if (w->bitsHeld == 8) what = "8-bit, widened to 16 bits";
        if (w->SampleRate() != 44100)
            what +=
                Fmt("%s%d Hz, read back as 44100 Hz", what.empty() ? "" : "; ", w->SampleRate());
        const SampleHeader* s = db.GetSampleHeader(w->base);
        list += Fmt("\n%d \"%s\" (%s)", w->base, s ? s->Name().c_str() : "", what.c_str());
    }
    return list;
}

// Shown after the reason why some sample data cannot be read.
constexpr const char* kSaveFailed = "Sysex save was not totally successful.";

// Sample data read in pieces of this many bytes as they go into the file.
constexpr size_t kSamplePiece = size_t{1} << 20;

// One sample-data message into out: its head, the data read from the wave's source (signed
// 8-bit points widened to 16-bit ones of the same level), then zeros up to the block's size.
// False on a failure, with shown set when the reason has been shown.
bool WriteSampleData(ByteSink& out, WaveData& w, std::vector<uint8_t>& piece, bool& shown) {
    auto readFailed = [&shown] {
        ShowMessage(kSaveFailed);
        return !(shown = true);
    };
    auto reader = w.OpenReader();
    if (!reader) return readFailed();
    const bool widen = w.bitsHeld == 8;
    const uint64_t size = reader->Size();
    const uint64_t length = widen ? 2 * size : size;
    const size_t block = SynthLink::SampleBlockSize(size_t(length));
    if (block > UINT32_MAX) {
        ShowMessage("The sample data are too large for a sysex file.");
        return !(shown = true);
    }
    if (!out.Write(SynthLink::SampleDataHead(w.base, block))) return false;
    const size_t step = widen ? kSamplePiece / 2 : kSamplePiece;
    for (uint64_t at = 0; at < size;) {
        const size_t n = size_t(std::min<uint64_t>(step, size - at));
        piece.resize(n);
        if (reader->Read(piece) != 0) return readFailed();
        if (widen) {
            piece.resize(2 * n);
            for (size_t i = n; i-- > 0;) {
                piece[2 * i + 1] = piece[i];
                piece[2 * i] = 0;
            }
        }
        if (!out.Write(piece)) return false;
        at += n;
    }
    piece.assign(std::min<size_t>(block - size_t(length), kSamplePiece), 0);
    for (size_t left = block - size_t(length); left > 0;) {
        const size_t n = std::min(left, piece.size());
        if (!out.Write(std::span(piece).first(n))) return false;
        left -= n;
    }
    return true;
}

}  // namespace

int PrepareSyx(ZedoDatabase& db, const ZedoDatabase* rom, BankWrite& write) {
    // A sample that cannot be read would be missing from the file without a word.
    for (int i = 0; i < db.WaveDataCount(); ++i) {
        WaveData* w = db.GetWaveData(i);
        if ((w->Kind() == kWaveInvalid && !w->path.empty()) || (Saved(w) && !w->valid)) {
            ShowMessage("Some Wave data is invalid, can't save bank");
            return 1;
        }
    }
    if (std::string changing = SamplesThatChange(db);
        !changing.empty() &&
        !AskYesNo("A sysex file holds 16-bit samples at 44100 Hz. These samples would change:" +
                  changing + "\nSave anyway?"))
        return 1;
    if (db.MergeWaveData()) MergeWaveData(db);
    // Each sample's data, then its aliases, as the synchronisation sends them; the data are
    // read while the file is written, the aliases are made now.
    struct Sample {
        WaveData* wave;
        std::vector<uint8_t> aliases;
    };
    std::vector<Sample> samples;
    Profile noSettings;
    SysexImageLink link(noSettings);
    for (int i = 0; i < db.WaveDataCount(); ++i) {
        WaveData* w = db.GetWaveData(i);
        if (!Saved(w) || w->base < 0) continue;
        if (w->CheckSource() != 0) {
            ShowMessage(kSaveFailed);
            return 1;
        }
        for (const auto& l : w->links)
            link.AddAlias(w->base, l.number);
        samples.push_back({w, std::move(link.image)});
        link.image.clear();
    }
    int programRam = INT_MAX;
    for (int type : {kTypeSampleHeader, kTypeKeymap, kTypeProgram})
        for (int n = 0; n < kSlotCount; ++n) {
            BankObject* o = db.GetObject(type, n);
            if (!o) continue;
            // A header of widened data counts in 16-bit points: the file gets such a copy.
            std::unique_ptr<SampleHeader> widened;
            if (type == kTypeSampleHeader) {
                auto* s = static_cast<SampleHeader*>(o);
                if (s->end == -1 && s->Wave()) s->AttachWave(s->Wave(), kAttachPoints);
                std::vector<uint8_t> block;
                if (s->Wave() && Saved(s->Wave()) && s->Wave()->bitsHeld == 8 &&
                    s->PackToBlock(block) == 0) {
                    widened = std::make_unique<SampleHeader>();
                    if (widened->Unpack(block) != 0) {
                        ShowMessage(Fmt("Sample %d \"%s\" could not be widened to 16 bits.", n,
                                        s->Name().c_str()));
                        return 1;
                    }
                    widened->start *= 2;
                    if (widened->loopStart >= 0) widened->loopStart *= 2;
                    widened->end *= 2;
                    widened->flags |= kSixteenBit;
                    o = widened.get();
                }
            }
            // Each object is written for itself: no stereo partner rides along twice.
            BankObject* chained = o->chained;
            o->chained = nullptr;
            int rc = o->Upload(link, rom ? rom->GetObject(type, n) : nullptr, programRam);
            o->chained = chained;
            if (rc != 0) return 1;
        }
    // A bank the same as the ROM sends nothing; the file still holds one harmless MA-1
    // message (an identity request), so that it is not taken for a damaged one.
    if (samples.empty() && link.image.empty()) link.image = BuildMessage(kCmdIdentity);
    write = [samples = std::move(samples), objects = std::move(link.image)](ByteSink& out,
                                                                            bool& shown) {
        std::vector<uint8_t> piece;
        for (const Sample& s : samples)
            if (!WriteSampleData(out, *s.wave, piece, shown) || !out.Write(s.aliases)) return false;
        return out.Write(objects);
    };
    return 0;
}

int BuildSyx(ZedoDatabase& db, const ZedoDatabase* rom, std::vector<uint8_t>& image) {
    BankWrite write;
    if (int rc = PrepareSyx(db, rom, write); rc != 0) return rc;
    return WriteBankImage(write, image);
}

int WriteSyx(const std::string& path, ZedoDatabase& db, const ZedoDatabase* rom) {
    BankWrite write;
    if (int rc = PrepareSyx(db, rom, write); rc != 0) return rc;
    bool shown = false;
    AtomicWrite written =
        ReplaceFileThroughSink(path, [&](ByteSink& out) { return write(out, shown); });
    if (!written) {
        if (!shown) ShowMessage(written.text);
        return 1;
    }
    return 0;
}

}  // namespace talmeru
