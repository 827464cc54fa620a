#include "files/Tmb.h"

#include <filesystem>

#include "files/BankReadError.h"
#include "files/FileWaveData.h"
#include "files/Pbf.h"
#include "files/SampleStream.h"
#include "files/WavWaveData.h"
#include "model/ZedoDatabase.h"
#include "model/ZedoException.h"
#include "platform/ByteIO.h"
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

// False when a sample's data cannot be carried (the reason has been shown).
bool WriteWaveEntries(RiffWriter& w, ZedoDatabase& db) {
    ByteWriter& out = w.Out();
    w.Open(FourCC("wvdt"));
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
        if (wd->LoadData() != 0) return false;
        size_t entry = out.Pos();
        out.U16(static_cast<uint16_t>(wd->base));
        out.U16(0xFFFF);
        out.U8(0);
        out.U8(kFormStream);
        out.U8(static_cast<uint8_t>(wd->channel));
        out.U8(0);
        // 16-bit data at 44100 Hz goes in compressed; anything else (8-bit data, other
        // rates, data no block can hold) as a WAV image, so it comes back unchanged.
        bool compressed =
            wd->bitsHeld == 16 && wd->SampleRate() == 44100 && CompressSamples(wd->data, out);
        wd->ReleaseData();
        if (!compressed) {
            out.Data()[entry + 5] = kFormWave;
            if (WriteWav(out, *wd, nullptr) != 0) return false;
        }
    }
    for (uint8_t b : {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF})
        out.U8(b);
    w.Close();
    return true;
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
            auto abs = std::filesystem::absolute(path, ec);
            if (ReadWaveEntries(r, *wvdt, ec ? path : abs.lexically_normal().string(), db) > 0)
                result = 1;
        }
        if (auto wval = r.Find(*riff, FourCC("wval"))) ReadAliases(r, *wval, db);
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

int BuildTmb(ZedoDatabase& db, std::vector<uint8_t>& image) {
    ByteWriter out(1 << 20);
    RiffWriter w(out);
    w.Open(FourCC("RIFF"), FourCC("tmbf"));
    if (!WriteObjects(w, db)) return 1;
    WriteStereoLinks(w, db);
    if (!WriteWaveEntries(w, db)) return 1;
    WriteAliases(w, db);
    w.Close();
    image = out.Take();
    return 0;
}

int WriteTmb(const std::string& path, ZedoDatabase& db, int) {
    std::vector<uint8_t> image;
    if (int rc = BuildTmb(db, image); rc != 0) return rc;
    if (!WriteFileAtomic(path, image)) {
        ShowMessage("Couldn't open TMB file for writing");
        return 1;
    }
    return 0;
}

void RepointTmbWaveData(ZedoDatabase& db, const std::string& path) {
    std::error_code ec;
    auto abs = std::filesystem::absolute(path, ec).lexically_normal().string();
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
