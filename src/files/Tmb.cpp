#include "files/Tmb.h"

#include <cstdint>
#include <filesystem>
#include <utility>
#include <vector>

#include "files/BankFormats.h"
#include "files/BankReadError.h"
#include "files/FileWaveData.h"
#include "files/Pbf.h"
#include "files/SampleStream.h"
#include "files/WavWaveData.h"
#include "model/ZedoDatabase.h"
#include "model/ZedoException.h"
#include "platform/ByteIO.h"
#include "platform/ByteSink.h"
#include "platform/FileUtil.h"
#include "platform/Format.h"
#include "platform/Prompter.h"
#include "platform/Riff.h"

namespace talmeru {

namespace {

constexpr uint8_t kFormWave = 0;
constexpr uint8_t kFormStream = 1;

// Each chunk's reader and writer side by side, in the order the chunks are written.

// "bprg": how many records, then every program, keymap and sample header packed.
void ReadObjects(const RiffReader& r, const RiffChunk& chunk, ZedoDatabase& db) {
    auto objects = r.ReadData(chunk);
    ByteReader b(objects);
    if (!b.CanRead(4)) Fail("bad header in object");
    uint32_t n = b.U32();
    RecordCounts counts{};
    for (uint32_t i = 0; i < n && !b.AtEnd(); ++i)
        ReadObjectRecord(b, db, counts);
}

// False when an object cannot be packed (the reason has been shown).
bool WriteObjects(RiffWriter& w, ZedoDatabase& db) {
    ByteWriter& out = w.Out();
    w.Open(FourCC("bprg"));
    size_t countAt = out.Pos();
    out.U32(0);
    uint32_t count = 0;
    for (int type : {kTypeProgram, kTypeKeymap, kTypeSampleHeader})
        for (int n = 0; n < kSlotCount; ++n) {
            BankObject* o = db.GetObject(type, n);
            if (!o) continue;
            if (o->PackTo(out) != 0) {
                ShowMessage(ZedoException("Error Saving", *o).what());
                return false;
            }
            ++count;
        }
    out.PatchU32(countAt, count);
    w.Close();
    return true;
}

// "stln": the stereo pairs of sample headers, of keymaps and of layers, each list counted.
// A damaged file may pair an object with itself or give it a second partner: such a link is
// dropped and the objects keep what they had, so that no chain closes on itself.
void PairIfFree(BankObject& left, BankObject& right) {
    if (&left != &right && left.stereoRole == kMono && right.stereoRole == kMono)
        PairStereo(left, right);
}

void ReadStereoLinks(const RiffReader& r, const RiffChunk& chunk, ZedoDatabase& db) {
    auto bytes = r.ReadData(chunk);
    ByteReader b(bytes);
    auto count = [&](const char* shortText) {
        if (!b.CanRead(4)) Fail(shortText);
        return b.U32();
    };
    uint32_t samples = count("Error reading stereo sample links");
    if (!b.CanRead(uint64_t{samples} * 4)) Fail("Error reading stereo sample links 2");
    for (uint32_t i = 0; i < samples; ++i) {
        SampleHeader* l = db.GetSampleHeader(b.U16());
        SampleHeader* rt = db.GetSampleHeader(b.U16());
        if (!l || !rt) Fail("Bad stereo sample link");
        PairIfFree(*l, *rt);
    }
    uint32_t keymaps = count("Error reading stereo keymap links");
    if (!b.CanRead(uint64_t{keymaps} * 4)) Fail("Error reading stereo keymap links");
    for (uint32_t i = 0; i < keymaps; ++i) {
        Keymap* l = db.GetKeymap(b.U16());
        Keymap* rt = db.GetKeymap(b.U16());
        if (!l || !rt) Fail("Bad stereo sample link");
        PairIfFree(*l, *rt);
    }
    uint32_t layers = count("Error reading stereo layer links");
    if (!b.CanRead(uint64_t{layers} * 8)) Fail("Error reading stereo layer links");
    for (uint32_t i = 0; i < layers; ++i) {
        Program* p = db.GetProgram(b.U16());
        int left = b.U16(), right = b.U16();
        b.Skip(2);
        if (!p || left >= p->LayerCount() || right >= p->LayerCount() || left == right)
            Fail("Bad stereo layer link");
        p->GetLayer(left)->PairWith(*p->GetLayer(right));
    }
}

// Each pair once, from its left half; a bank without pairs has no such chunk.
void WriteStereoLinks(RiffWriter& w, ZedoDatabase& db) {
    ByteWriter& out = w.Out();
    std::vector<std::pair<int, int>> samplePairs, keymapPairs;
    std::vector<std::array<int, 3>> layerPairs;
    for (int n = 0; n < kSlotCount; ++n) {
        if (SampleHeader* s = db.GetSampleHeader(n);
            s && s->stereoRole == kStereoLeft && s->chained)
            samplePairs.push_back({n, s->chained->Number()});
        if (Keymap* k = db.GetKeymap(n); k && k->stereoRole == kStereoLeft && k->chained)
            keymapPairs.push_back({n, k->chained->Number()});
        if (Program* p = db.GetProgram(n))
            for (const auto& l : p->Layers())
                if (l->StereoState() == kStereoLeft && l->Partner())
                    layerPairs.push_back({n, l->Index(), l->Partner()->Index()});
    }
    if (samplePairs.empty() && keymapPairs.empty() && layerPairs.empty()) return;
    w.Open(FourCC("stln"));
    for (const auto* pairs : {&samplePairs, &keymapPairs}) {
        out.U32(static_cast<uint32_t>(pairs->size()));
        for (auto [l, r] : *pairs) {
            out.U16(static_cast<uint16_t>(l));
            out.U16(static_cast<uint16_t>(r));
        }
    }
    out.U32(static_cast<uint32_t>(layerPairs.size()));
    for (const auto& [p, l, r] : layerPairs) {
        out.U16(static_cast<uint16_t>(p));
        out.U16(static_cast<uint16_t>(l));
        out.U16(static_cast<uint16_t>(r));
        out.U16(0);
    }
    w.Close();
}

// "wvdt": per RAM sample an 8-byte entry (base, form, channel) and its data, compressed or
// as a WAV image; an entry with base 0xFFFF ends the list. How many entries held data that
// cannot be read (their samples get invalid wave data, the reason shown).
int ReadWaveEntries(const RiffReader& r, const RiffChunk& chunk, const std::string& path,
                    ZedoDatabase& db) {
    const bool quiet = (db.OpenOptions() & kOpenQuiet) != 0;
    int damaged = 0;
    uint64_t at = 0;
    for (;;) {
        uint8_t h[8];
        if (!r.Read(chunk, at, h, sizeof h)) Fail("could not read tmbwave");
        at += sizeof h;
        ByteReader entry(h, sizeof h);
        int base = entry.U16();
        if (base == 0xFFFF) return damaged;
        entry.Skip(2);
        uint8_t overrideByte = entry.U8(), form = entry.U8(), channel = entry.U8();
        SampleHeader* s = db.GetSampleHeader(base);
        if (!s) Fail(Fmt("Bank corrupt, could not find sample %d", base));
        if (db.WaveDataCount() >= kMaxWaveData) Fail("WaveDataList full!");
        const uint64_t offset = chunk.dataOffset + at;
        std::unique_ptr<WaveData> w;
        uint64_t size = 0;
        if (form == kFormWave) {
            uint8_t rh[8];
            if (!r.Read(chunk, at, rh, sizeof rh)) Fail("could not read tmbwave");
            ByteReader riff(rh, sizeof rh);
            riff.Skip(4);
            size = 8 + uint64_t{riff.U32()};
            size += size & 1;
            int selector = overrideByte ? kLeftChannel : (channel <= kRightChannel ? channel : 0);
            w = std::make_unique<WavWaveData>(path, base, selector, quiet, offset);
        } else if (form == kFormStream) {
            uint8_t sh[kStreamHeaderSize];
            if (!r.Read(chunk, at, sh, sizeof sh)) Fail("could not read tmbwave");
            size = ReadStreamHeader(sh)->totalSize;
            auto c = std::make_unique<CtmbWaveData>(path, base, offset, quiet);
            c->channel = channel <= kRightChannel ? channel : 0;
            w = std::move(c);
        } else {
            Fail("Corrupt TMBWaveData, cFormat not recognized.");
        }
        if (!w->valid || w->FormatTag() == -1) {
            // Kept with the bank's path, so that no save passes the sample over in silence.
            ShowMessage(
                Fmt("The sample data of sample %d in \"%s\" is damaged.", base, path.c_str()));
            w = std::make_unique<InvalidWaveData>(base, path, 0);
            ++damaged;
        }
        WaveData* added = db.AddWaveData(std::move(w));
        s->AttachWave(added, kAttachReference);
        at += size;
    }
}

bool Saved(const WaveData* w) {
    return w->StorageClass() != kNotSaved;
}

// Whether every sample's data can be carried (else the reason has been shown): the checks
// made before any file is written.
bool CheckWaveEntries(ZedoDatabase& db, std::vector<WaveData*>& saved) {
    for (int i = 0; i < db.WaveDataCount(); ++i) {
        WaveData* wd = db.GetWaveData(i);
        // A sample whose file is missing cannot be carried: saving would lose it silently.
        if (wd->Kind() == kWaveInvalid && !wd->path.empty()) {
            ShowMessage("Some Wave data is invalid, can't save bank");
            return false;
        }
        if (!Saved(wd)) continue;
        if (!db.GetSampleHeader(wd->base)) {
            ShowMessage("Corrupt bank, sample does not exist");
            return false;
        }
        if (wd->CheckSource() != 0) return false;
        saved.push_back(wd);
    }
    return true;
}

enum class StreamResult { kDone, kDoesNotFit, kReadFailed, kWriteFailed };

// Compresses the data from reader into out block by block, behind its stream header. When a
// block's codes cannot fit, out is left as it was: the data must go another way. A failure to
// read has been shown.
StreamResult WriteStream(ByteSink& out, WaveDataReader& reader, BlockEncoder& encoder) {
    const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(reader.Size() / 2, UINT32_MAX));
    const uint64_t start = out.Pos();
    if (!out.Write(std::array<uint8_t, kStreamHeaderSize>{})) return StreamResult::kWriteFailed;
    // Many blocks are read at once: fewer, larger reads of the source.
    constexpr uint32_t kBlocksPerRead = 64;
    std::vector<uint8_t> pcm;
    uint32_t blocks = 0;
    for (uint32_t first = 0; first < n;) {
        const uint32_t piece = std::min(kStreamBlockSamples * kBlocksPerRead, n - first);
        pcm.resize(2 * size_t{piece});
        if (reader.Read(pcm) != 0) return StreamResult::kReadFailed;
        for (uint32_t at = 0; at < piece; at += kStreamBlockSamples, ++blocks) {
            const uint32_t count = std::min(kStreamBlockSamples, piece - at);
            auto block = encoder.Encode(std::span(pcm).subspan(2 * size_t{at}, 2 * size_t{count}));
            if (block.empty())
                return out.Truncate(start) ? StreamResult::kDoesNotFit : StreamResult::kWriteFailed;
            if (!out.Write(block)) return StreamResult::kWriteFailed;
        }
        first += piece;
    }
    auto header = MakeStreamHeader(out.Pos() - start - kStreamHeaderSize, blocks, n);
    return out.Patch(start, header) ? StreamResult::kDone : StreamResult::kWriteFailed;
}

// "wvdt" into out, the sample data read from their sources as they go. False on a failure,
// with shown set when the reason has been shown.
bool WriteWaveEntries(ByteSink& out, const std::vector<WaveData*>& saved, bool& shown) {
    const uint64_t chunk = out.Pos();
    const uint8_t head[8] = {'w', 'v', 'd', 't', 0, 0, 0, 0};
    if (!out.Write(head)) return false;
    auto encoder = std::make_unique<BlockEncoder>();
    for (WaveData* wd : saved) {
        ByteWriter entry;
        entry.U16(static_cast<uint16_t>(wd->base));
        entry.U16(0xFFFF);
        entry.U8(0);
        entry.U8(kFormStream);
        entry.U8(static_cast<uint8_t>(wd->channel));
        entry.U8(0);
        // 16-bit data at 44100 Hz goes in compressed; anything else (8-bit data, other
        // rates, data no block can hold) as a WAV image, so it comes back unchanged.
        bool compressed = false;
        if (wd->bitsHeld == 16 && wd->SampleRate() == 44100) {
            auto reader = wd->OpenReader();
            if (!reader) return !(shown = true);
            if (!out.Write(entry.Data())) return false;
            switch (WriteStream(out, *reader, *encoder)) {
                case StreamResult::kDone:
                    compressed = true;
                    break;
                case StreamResult::kDoesNotFit:
                    if (!out.Truncate(out.Pos() - entry.Pos())) return false;
                    break;
                case StreamResult::kReadFailed:
                    return !(shown = true);
                case StreamResult::kWriteFailed:
                    return false;
            }
        }
        if (!compressed) {
            entry.Data()[5] = kFormWave;
            if (!out.Write(entry.Data()) || !WriteWav(out, *wd, nullptr, shown)) return false;
        }
    }
    const uint8_t end[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    if (!out.Write(end)) return false;
    const uint64_t size = out.Pos() - chunk - 8;
    if (size > UINT32_MAX) {
        ShowMessage("The sample data are too large for one TMB file.");
        return !(shown = true);
    }
    if (!out.U32At(chunk + 4, static_cast<uint32_t>(size))) return false;
    return (size & 1) == 0 || out.Write(std::array<uint8_t, 1>{});
}

// "wval": the headers that share another's data, as (base, linked) pairs up to 0xFFFF.
void ReadAliases(const RiffReader& r, const RiffChunk& chunk, ZedoDatabase& db) {
    for (uint64_t at = 0;; at += 4) {
        uint8_t e[4];
        if (!r.Read(chunk, at, e, sizeof e)) Fail("Could not read alias");
        ByteReader alias(e, sizeof e);
        int base = alias.U16(), linked = alias.U16();
        if (base == 0xFFFF) return;
        ApplyWaveLink(db, base, linked);
    }
}

void WriteAliases(RiffWriter& w, ZedoDatabase& db) {
    ByteWriter& out = w.Out();
    w.Open(FourCC("wval"));
    for (int i = 0; i < db.WaveDataCount(); ++i) {
        WaveData* wd = db.GetWaveData(i);
        if (!Saved(wd)) continue;
        for (const auto& l : wd->links) {
            out.U16(static_cast<uint16_t>(wd->base));
            out.U16(static_cast<uint16_t>(l.number));
        }
    }
    out.U16(0xFFFF);
    out.U16(0xFFFF);
    w.Close();
}

// "wvrt": the rates of the samples in a shared block that play at their own rate (a SoundFont's
// samples): per wave data its base, how many ranges, and each range's first frame and rate;
// base 0xFFFF ends the list. Banks without such blocks have none (as every older file), and
// their samples play at their block's rate.
void WriteRangeRates(RiffWriter& w, ZedoDatabase& db) {
    std::vector<const WaveData*> mixed;
    for (int i = 0; i < db.WaveDataCount(); ++i)
        if (const WaveData* wd = db.GetWaveData(i); Saved(wd) && !wd->rangeRates.empty())
            mixed.push_back(wd);
    if (mixed.empty()) return;
    ByteWriter& out = w.Out();
    w.Open(FourCC("wvrt"));
    for (const WaveData* wd : mixed) {
        out.U16(static_cast<uint16_t>(wd->base));
        out.U16(0);
        out.U32(static_cast<uint32_t>(wd->rangeRates.size()));
        for (const auto& [frame, rate] : wd->rangeRates) {
            out.U32(frame);
            out.U32(static_cast<uint32_t>(rate));
        }
    }
    out.U16(0xFFFF);
    out.U16(0);
    out.U32(0);
    w.Close();
}

// Rates only show a sample's true note (each header's pitch already holds it), so entries
// that fit no sample or hold no usable rate are passed over.
void ReadRangeRates(const RiffReader& r, const RiffChunk& chunk, ZedoDatabase& db) {
    for (uint64_t at = 0;;) {
        uint8_t h[8];
        if (!r.Read(chunk, at, h, sizeof h)) Fail("Could not read the samples' rates");
        at += sizeof h;
        ByteReader entry(h, sizeof h);
        const int base = entry.U16();
        entry.Skip(2);
        const uint32_t count = entry.U32();
        if (base == 0xFFFF) return;
        if (count > (chunk.dataEnd - chunk.dataOffset - at) / 8)
            Fail("Could not read the samples' rates");
        std::vector<uint8_t> ranges(size_t{count} * 8);
        if (!r.Read(chunk, at, ranges.data(), ranges.size()))
            Fail("Could not read the samples' rates");
        at += ranges.size();
        SampleHeader* s = db.GetSampleHeader(base);
        WaveData* wd = s ? s->Wave() : nullptr;
        if (!wd || wd->IsRom() || wd->base != base) continue;
        ByteReader in(ranges.data(), ranges.size());
        std::vector<std::pair<uint32_t, int>> rates;
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t frame = in.U32(), rate = in.U32();
            if (rate > 0 && rate <= INT32_MAX && (rates.empty() || frame > rates.back().first))
                rates.push_back({frame, static_cast<int>(rate)});
        }
        wd->rangeRates = std::move(rates);
    }
}

}  // namespace

int ReadTmb(const std::string& path, ZedoDatabase& db) {
    int result = 0;
    // Chunks past the end of a file cut short are simply not found: the sizes tell.
    bool cut = false;
    try {
        FileSource src(path);
        if (!src.Ok()) Fail("Couldn't open TMB file for reading");
        RiffReader r(src);
        auto riff = r.Riff(0, FourCC("tmbf"));
        if (!riff) Fail("This is not a valid TMB file");
        cut = riff->Truncated();
        auto bprg = r.Find(*riff, FourCC("bprg"));
        if (!bprg) Fail("TMB files has no bprg chunk");
        ReadObjects(r, *bprg, db);
        if (auto stln = r.Find(*riff, FourCC("stln"))) ReadStereoLinks(r, *stln, db);
        if (auto wvdt = r.Find(*riff, FourCC("wvdt"))) {
            std::error_code ec;
            auto abs = std::filesystem::absolute(PathFromUtf8(path), ec);
            if (ReadWaveEntries(r, *wvdt, ec ? path : Utf8FromPath(abs.lexically_normal()), db) > 0)
                result = 1;
        }
        if (auto wval = r.Find(*riff, FourCC("wval"))) ReadAliases(r, *wval, db);
        if (auto wvrt = r.Find(*riff, FourCC("wvrt"))) ReadRangeRates(r, *wvrt, db);
    } catch (const BankReadError& e) {
        ShowMessage(e.text);
        result = 1;
    } catch (const ZedoException& e) {
        ShowMessage(e.what());
        result = 1;
    }
    if (cut) {
        ShowMessage(path + " is damaged or cut short");
        result = 1;
    }
    AttachRomToTheRest(db);
    return result;
}

int PrepareTmb(ZedoDatabase& db, BankWrite& write) {
    // The objects, pairs and aliases are small: made now, with their checks. The sample data
    // are read from their sources while the file is written.
    ByteWriter head(1 << 16);
    RiffWriter w(head);
    w.Open(FourCC("RIFF"), FourCC("tmbf"));
    if (!WriteObjects(w, db)) return 1;
    WriteStereoLinks(w, db);
    std::vector<WaveData*> saved;
    if (!CheckWaveEntries(db, saved)) return 1;
    ByteWriter tail;
    RiffWriter t(tail);
    WriteAliases(t, db);
    WriteRangeRates(t, db);
    write = [head = head.Take(), tail = tail.Take(), saved](ByteSink& out, bool& shown) {
        const uint64_t start = out.Pos();
        if (!out.Write(head) || !WriteWaveEntries(out, saved, shown) || !out.Write(tail))
            return false;
        const uint64_t size = out.Pos() - start - 8;
        if (size > UINT32_MAX) {
            ShowMessage("The sample data are too large for one TMB file.");
            return !(shown = true);
        }
        if (!out.U32At(start + 4, static_cast<uint32_t>(size))) return false;
        return (size & 1) == 0 || out.Write(std::array<uint8_t, 1>{});
    };
    return 0;
}

int BuildTmb(ZedoDatabase& db, std::vector<uint8_t>& image) {
    BankWrite write;
    if (int rc = PrepareTmb(db, write); rc != 0) return rc;
    return WriteBankImage(write, image);
}

int WriteTmb(const std::string& path, ZedoDatabase& db, int) {
    BankWrite write;
    if (int rc = PrepareTmb(db, write); rc != 0) return rc;
    bool shown = false;
    AtomicWrite written =
        ReplaceFileThroughSink(path, [&](ByteSink& out) { return write(out, shown); });
    if (!written) {
        if (!shown) ShowMessage("Couldn't open TMB file for writing");
        return 1;
    }
    return 0;
}

void RepointTmbWaveData(ZedoDatabase& db, const std::string& path) {
    std::error_code ec;
    auto abs = Utf8FromPath(std::filesystem::absolute(PathFromUtf8(path), ec).lexically_normal());
    // The bank may have been opened by another name of the same file (a link).
    auto fromHere = [&](const WaveData* w) {
        return (w->Kind() == kWaveCtmb || w->Kind() == kWaveWav) && SameFile(w->path, abs);
    };
    bool affected = false;
    for (int i = 0; i < db.WaveDataCount(); ++i)
        affected = affected || fromHere(db.GetWaveData(i));
    if (!affected) return;
    // Read the new file's wave entries into a scratch bank holding the same sample
    // headers, then move each replacement over.
    ZedoDatabase fresh;
    fresh.SetOpenOptions(kOpenQuiet);
    for (int n = 0; n < kSlotCount; ++n)
        if (db.GetSampleHeader(n)) {
            auto s = std::make_unique<SampleHeader>();
            s->SetNumber(n);
            fresh.PutSampleHeader(std::move(s));
        }
    FileSource src(abs);
    RiffReader r(src);
    auto riff = r.Riff(0, FourCC("tmbf"));
    auto wvdt = riff ? r.Find(*riff, FourCC("wvdt")) : std::nullopt;
    if (!wvdt) return;
    try {
        ReadWaveEntries(r, *wvdt, abs, fresh);
        if (auto wvrt = r.Find(*riff, FourCC("wvrt"))) ReadRangeRates(r, *wvrt, fresh);
    } catch (const BankReadError&) {
        return;
    }
    std::vector<std::unique_ptr<WaveData>> list = fresh.TakeWaveData();
    for (auto& nw : list) {
        if (nw->IsRom()) continue;
        for (int i = 0; i < db.WaveDataCount(); ++i) {
            WaveData* old = db.GetWaveData(i);
            if (fromHere(old) && old->base == nw->base && old->StorageClass() == kFileLoaded) {
                nw->links = old->links;
                nw->uploadPending[0] = old->uploadPending[0];
                nw->uploadPending[1] = old->uploadPending[1];
                db.ReplaceWaveData(old, std::move(nw));
                break;
            }
        }
    }
}

}  // namespace talmeru
