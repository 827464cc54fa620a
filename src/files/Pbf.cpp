#include "files/Pbf.h"

#include <array>

#include <filesystem>

#include "files/BankReadError.h"
#include "files/ConversionLog.h"
#include "files/FileWaveData.h"
#include "files/K2000WaveData.h"
#include "files/Sf2WaveData.h"
#include "files/WavWaveData.h"
#include "files/WaveDataLoader.h"
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

constexpr size_t kMainHeaderSize = 66;
constexpr size_t kSectionHeaderOffset = 68;
constexpr size_t kSectionHeaderSize = 196;
constexpr size_t kOldSectionHeaderSize = 192;
constexpr size_t kOldDataStart = 258;

}  // namespace

void ReadObjectRecord(ByteReader& r, ZedoDatabase& db, RecordCounts& counts) {
    if (r.Remaining() == 0) return;
    if (!r.CanRead(kObjectHeaderSize)) Fail("bad header in object");
    PackedHeader h;
    size_t start = r.Pos();
    ReadPackedHeader(r.Bytes(kObjectHeaderSize), h);
    if (h.bodySize + kObjectHeaderSize > kPackBufferSize) Fail("OBJECTBUFFERSIZE is too small");
    if (!r.CanRead(static_cast<size_t>(h.bodySize)))
        Fail(
            Fmt("Only %d out of %d bytes for object \"%s\" were read. Bank file has been "
                "corrupted.",
                static_cast<int>(r.Remaining()), h.bodySize, h.name.c_str()));
    r.Skip(static_cast<size_t>(h.bodySize));
    if (h.type < 1 || h.type > 6) Fail("bad object");
    auto record = r.Data().subspan(start, kObjectHeaderSize + static_cast<size_t>(h.bodySize));
    if (db.Store(record) != 0) Fail(Fmt("Error understanding object \"%s\"", h.name.c_str()));
    ++counts[static_cast<size_t>(h.type)];
}

uint64_t ReadObjectRecordAt(const ByteSource& src, uint64_t offset, ZedoDatabase& db,
                            RecordCounts& counts) {
    std::vector<uint8_t> record = src.ReadUpTo(offset, kObjectHeaderSize);
    if (record.size() == kObjectHeaderSize) {
        ByteReader header(record);
        header.Skip(4);
        // Never more than a record may hold: the reader refuses anything larger anyway.
        const size_t want = std::min<size_t>(header.U16(), kPackBufferSize);
        const auto body = src.ReadUpTo(offset + kObjectHeaderSize, want);
        record.insert(record.end(), body.begin(), body.end());
    }
    ByteReader r(record);
    ReadObjectRecord(r, db, counts);
    return offset + r.Pos();
}

void ApplyWaveLink(ZedoDatabase& db, int base, int linked) {
    WaveData* target = nullptr;
    for (int k = 0; k < db.WaveDataCount() && !target; ++k) {
        WaveData* w = db.GetWaveData(k);
        bool fileOrMerged = w->StorageClass() == kFileLoaded ||
                            w->StorageClass() == kMergedStorage || w->Kind() == kWaveInvalid;
        if (fileOrMerged && w->base == base) target = w;
    }
    if (!target) Fail("Link attempted on non-existant base sample");
    target->AddLink(linked);
    if (SampleHeader* s = db.GetSampleHeader(linked))
        s->AttachWave(target, kAttachReference);
    else
        ShowMessage("Bank contained sample link, but no sample header");
}

void AttachRomToTheRest(ZedoDatabase& db) {
    WaveData* rom = db.GetWaveData(0);
    for (int n = 0; n < kSlotCount; ++n) {
        SampleHeader* s = db.GetSampleHeader(n);
        if (!s || s->Wave() || !rom) continue;
        s->AttachWave(rom, kAttachReference);
        rom->links.push_back({n, false});
    }
}

namespace {

// Reads count object records from offset on, one at a time (the reader takes each part of the
// file by the structure the headers give, never the whole file, so a small bank at the start of
// a huge file costs only its own bytes). Returns where the last one ended.
uint64_t ReadObjectSection(const ByteSource& src, uint64_t offset, int count, ZedoDatabase& db,
                           RecordCounts& counts) {
    uint64_t pos = std::min(offset, src.Size());
    for (int i = 0; i < count; ++i)
        pos = ReadObjectRecordAt(src, pos, db, counts);
    return pos;
}

void ReadOld(const ByteSource& src, ZedoDatabase& db, const std::string& name) {
    const auto head = src.ReadUpTo(kMainHeaderSize, kOldSectionHeaderSize);
    if (head.size() < kOldSectionHeaderSize) Fail("pbf Header not ok");
    ByteReader sh(head);
    int programs = sh.U16();
    int keymaps = sh.U16();
    int samples = sh.U16();
    sh.Seek(24);
    uint64_t following = sh.U32();
    // The design's words say the opposite of what is meant; the sizes that follow say it right.
    if (src.Size() != following + kOldDataStart)
        Fail(Fmt("Actual file size does match header.\n%s holds %llu bytes where its header "
                 "gives %llu: it is damaged or cut short.",
                 name.c_str(), (unsigned long long)src.Size(),
                 (unsigned long long)(following + kOldDataStart)));
    db.SetComment("<no comments available>");
    RecordCounts counts{};
    ReadObjectSection(src, kOldDataStart, programs + keymaps + samples, db, counts);
    if (counts[kTypeKeymap] != keymaps || counts[kTypeSampleHeader] != samples ||
        counts[kTypeProgram] != programs)
        Fail("PBF object miscount, file is corrupt.");
}

// A wave-data record names a file; anything longer than this is not one.
constexpr uint32_t kMaxWaveRecord = 16 + 65536;

// A sample file taken from another folder than the bank names is said once, where it was
// first loaded (a later save records the file in its place).
void NoteFoundInstead(const WaveData* w, int number, const std::string& named, ConversionLog* log) {
    const auto* file = dynamic_cast<const FileWaveData*>(w);
    if (!log || !file || file->foundInstead.empty() || w->base != number) return;
    log->Add(
        Fmt("? \"%s\" was not found; using \"%s\"\r\n", named.c_str(), file->foundInstead.c_str()));
}

// A sample file whose data is not what the bank was saved with: the bank plays it, but
// differently, so the load says why and counts as failed.
bool MatchesRecord(const WaveData& w, int base, int bits, uint32_t rate) {
    const auto* file = dynamic_cast<const FileWaveData*>(&w);
    const std::string used = file && !file->foundInstead.empty() ? file->foundInstead : w.path;
    if (bits != 0 && bits != w.bitsSource) {
        ShowMessage(Fmt("\"%s\" has %d bits per sample, but sample %d of the bank expects %d.",
                        used.c_str(), w.bitsSource, base, bits));
        return false;
    }
    if (rate > 0 && static_cast<int64_t>(rate) != w.SampleRate()) {
        ShowMessage(
            Fmt("\"%s\" has a sample rate of %d Hz, but sample %d of the bank expects "
                "%u Hz.",
                used.c_str(), w.SampleRate(), base, rate));
        return false;
    }
    return true;
}

// Returns how many records named a file that does not match them.
int ReadWaveRecords(const ByteSource& src, uint64_t pos, ZedoDatabase& db, int count, bool quiet,
                    ConversionLog* log) {
    int mismatched = 0;
    for (int i = 0; i < count; ++i) {
        const auto lengthBytes = src.ReadUpTo(pos, 4);
        if (lengthBytes.size() < 4) Fail("Read of WaveData Info Failed (1)");
        const uint32_t length = ByteReader(lengthBytes).U32();
        // The fixed fields need 12 bytes after the length; a shorter record cannot be right.
        if (length < 16 || length > kMaxWaveRecord || src.Size() - pos - 4 < length - 4)
            Fail("Read of WaveData Info Failed (2)");
        const auto record = src.ReadUpTo(pos + 4, length - 4);
        if (record.size() < length - 4) Fail("Read of WaveData Info Failed (2)");
        pos += length;
        ByteReader rec(record);
        int base = rec.U16();
        int bits = rec.U8();
        int channel = rec.U8();
        uint32_t rate = rec.U32();
        rec.Skip(4);  // length: not compared
        std::string path = rec.FixedString(rec.Remaining());
        SampleHeader* header = db.GetSampleHeader(base);
        if (!header) {
            ShowMessage("Bank file was corrupt.  Wave data info without sample");
            continue;
        }
        if (channel > kRightChannel) channel = kWholeFile;
        WaveData* w = LoadWaveDataForHeader(db, header, path, base, channel);
        NoteFoundInstead(w, base, path, log);
        if (w->valid) {
            if (!MatchesRecord(*w, base, bits, rate)) ++mismatched;
        } else if (!quiet) {
            if (!AskYesNo(Fmt("The file \"%s\" used in sample %d could not be loaded, so this "
                              "sample will be invalid. Continue with this bank?",
                              path.c_str(), base)))
                Fail("Load aborted");
        }
    }
    return mismatched;
}

void ReadLinkRecords(const ByteSource& src, uint64_t pos, ZedoDatabase& db, int count) {
    const auto records = src.ReadUpTo(pos, uint64_t(count) * 6);
    ByteReader r(records);
    for (int i = 0; i < count; ++i) {
        if (!r.CanRead(6)) Fail("Read of Link Info Failed (1)");
        int kind = r.U16();
        int linked = r.U16();
        int base = r.U16();
        if (kind != 5) Fail("Read of Link Info Failed (2)");
        ApplyWaveLink(db, base, linked);
    }
}

// Returns how many wave-data records named a file that does not match them.
int ReadCurrent(const ByteSource& src, ZedoDatabase& db, bool quiet, const std::string& name,
                ConversionLog* log) {
    const auto head = src.ReadUpTo(kSectionHeaderOffset, kSectionHeaderSize);
    if (head.size() < kSectionHeaderSize) Fail("pbf Header not ok");
    ByteReader sh(head);
    int programs = sh.U16();
    int keymaps = sh.U16();
    int samples = sh.U16();
    sh.Seek(12);
    uint32_t programOffset = sh.U32();
    uint32_t keymapOffset = sh.U32();
    uint32_t sampleOffset = sh.U32();
    sh.Seek(36);
    db.SetComment(sh.FixedString(64));
    sh.Seek(100);
    int waveCount = sh.U16();
    uint32_t waveLow = sh.U16();
    uint32_t waveHigh = sh.U16();
    int linkCount = sh.U16();
    uint32_t linkOffset = sh.U32();

    RecordCounts counts{};
    const std::pair<uint32_t, int> sections[] = {
        {programOffset, programs}, {keymapOffset, keymaps}, {sampleOffset, samples}};
    uint64_t here = 0;
    for (const auto& [offset, count] : sections)
        here = ReadObjectSection(src, offset, count, db, counts);
    // A file cut between two records would otherwise open as a smaller bank.
    // (A section may hold other kinds of record, so the records are counted together.)
    int held = 0;
    for (int n : counts)
        held += n;
    if (held != programs + keymaps + samples)
        Fail(Fmt("%s is damaged or cut short: its header promises %d records, and it holds %d.",
                 name.c_str(), programs + keymaps + samples, held));

    uint64_t waveOffset = waveHigh * 65536ull + waveLow;
    if (here > 0xFFFF && (here & 0xFFFF) == waveOffset) {
        ShowMessage(
            "A corruption was detected in the bank file. This is mostly like due to a bug in "
            "earlier version of Talmreu (<=1.02).  You should resave this bank to correct this "
            "problem.");
        waveOffset = here;
    }
    const int mismatched =
        ReadWaveRecords(src, std::min(waveOffset, src.Size()), db, waveCount, quiet, log);
    ReadLinkRecords(src, std::min<uint64_t>(linkOffset, src.Size()), db, linkCount);
    return mismatched;
}

// Headers that no record gave wave data: a name holding ".wav" names its file, any other
// plays the ROM.
void FindWaveDataByName(ZedoDatabase& db, ConversionLog* log) {
    for (int n = 0; n < kSlotCount; ++n) {
        SampleHeader* s = db.GetSampleHeader(n);
        if (!s || s->Wave()) continue;
        // Found on the lower-cased name, used with its own case: file systems may care.
        std::string name = s->Name();
        std::string lower = ToLower(name);
        size_t at = lower.find(".wav", 1);
        if (at != std::string::npos) {
            int channel = kWholeFile;
            size_t side = lower.find(".wavl");
            if (side != std::string::npos) {
                channel = kLeftChannel;
            } else if ((side = lower.find(".wavr")) != std::string::npos) {
                channel = kRightChannel;
            }
            if (side != std::string::npos) {
                name[side + 4] = ' ';
                while (!name.empty() && name.back() == ' ')
                    name.pop_back();
            }
            NoteFoundInstead(LoadWaveDataForHeader(db, s, name, n, channel), n, name, log);
        }
    }
    AttachRomToTheRest(db);
}

// Writes each RAM sample's wave data as a WAV file in folder (a stereo pair as one stereo
// file) and makes the bank play those files.
int WriteWaveFiles(ZedoDatabase& db, const std::string& folder) {
    namespace fs = std::filesystem;
    for (int i = 0; i < db.WaveDataCount(); ++i) {
        WaveData* wd = db.GetWaveData(i);
        if (wd->StorageClass() != kFileLoaded || !wd->valid) continue;
        SampleHeader* h = db.GetSampleHeader(wd->base);
        if (h && h->stereoRole == kStereoRight) continue;  // written with its left half
        WaveData* right = nullptr;
        if (h && h->stereoRole == kStereoLeft && h->chained)
            right = static_cast<SampleHeader*>(h->chained)->Wave();
        if (right && (right->StorageClass() != kFileLoaded || !right->valid)) right = nullptr;

        std::string stem = SafeFileName(h ? h->Name() : "sample");
        fs::path file = PathFromUtf8(folder) / PathFromUtf8(stem + ".wav");
        std::error_code ec;
        for (int n = 1; fs::exists(file, ec); ++n)
            file = PathFromUtf8(folder) / PathFromUtf8(Fmt("%s%d.wav", stem.c_str(), n));
        // Written whole or not at all: a full disk leaves no cut-short WAV file.
        if (wd->CheckSource() != 0 || (right && right->CheckSource() != 0)) return 1;
        bool shown = false;
        AtomicWrite written = ReplaceFileThroughSink(
            file, [&](ByteSink& out) { return WriteWav(out, *wd, right, shown); });
        if (!written) {
            if (!shown) ShowMessage(Fmt("Could not write \"%s\".", Utf8FromPath(file).c_str()));
            return 1;
        }
        // The bank now plays the new file; its headers follow the replacement.
        auto replace = [&](WaveData* old, int channel) {
            auto fresh =
                std::make_unique<WavWaveData>(Utf8FromPath(file), old->base, channel, true);
            fresh->links = old->links;
            fresh->uploadPending[0] = old->uploadPending[0];
            fresh->uploadPending[1] = old->uploadPending[1];
            db.ReplaceWaveData(old, std::move(fresh));
        };
        if (right) {
            replace(right, kRightChannel);
            replace(db.GetWaveData(i), kLeftChannel);
        } else {
            replace(wd, kWholeFile);
        }
    }
    return 0;
}

}  // namespace

std::string SafeFileName(const std::string& sampleName) {
    std::string name = StemOf(sampleName);
    for (char& c : name)
        if (static_cast<unsigned char>(c) < 32 ||
            std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos)
            c = '_';
    while (!name.empty() && (name.front() == ' ' || name.front() == '.'))
        name.erase(name.begin());
    while (!name.empty() && (name.back() == ' ' || name.back() == '.'))
        name.pop_back();
    return name.empty() ? "sample" : name;
}

namespace {

std::string Named(const std::string& path) {
    return path.empty() ? std::string("The bank file") : "\"" + path + "\"";
}

}  // namespace

int ReadPbf(std::span<const uint8_t> file, ZedoDatabase& db, int options) {
    return ReadPbf(MemorySource(file), db, options);
}

int ReadPbf(const ByteSource& src, ZedoDatabase& db, int options, const std::string& path,
            ConversionLog* log) {
    db.SetOpenOptions(options);  // the wave-data loader asks the bank whether to be quiet
    int mismatched = 0;
    try {
        const auto head = src.ReadUpTo(0, kMainHeaderSize);
        ByteReader r(head);
        if (!r.CanRead(kMainHeaderSize)) Fail("pbf Header not ok");
        std::string magic = r.FixedString(32);
        std::string kind = r.FixedString(32);
        int format = r.U16();
        if (!EqualsNoCase(magic, "pinnacle") || kind != "Bank")
            Fail("This is not a recognized PBF file.");
        switch (format) {
            case kPbfFormatOld:
                ReadOld(src, db, Named(path));
                break;
            case 0x0101:
                Fail("Reading of format 0101 is not supported.");
            case kPbfFormatCurrent:
                mismatched = ReadCurrent(src, db, (options & kOpenQuiet) != 0, Named(path), log);
                break;
            default:
                Fail("This PBF format is not supported");
        }
        FindWaveDataByName(db, log);
    } catch (const BankReadError& e) {
        ShowMessage(e.text);
        return 5;
    } catch (const ZedoException& e) {
        ShowMessage(e.what());
        return 5;
    } catch (const ReadPastEnd&) {
        ShowMessage("pbf Header not ok");
        return 5;
    }
    db.SetModified(false);
    return mismatched ? 5 : 0;
}

int BuildPbf(ZedoDatabase& db, int options, std::vector<uint8_t>& out,
             const std::string& wavFolder) {
    bool merged = db.Merged();
    for (int i = 0; i < db.WaveDataCount(); ++i)
        merged = merged || db.GetWaveData(i)->StorageClass() == kMergedStorage;
    if (merged) {
        ShowMessage("Sorry, you can't save a bank with merged wave data");
        return 1;
    }
    if ((options & kSaveWriteWavs) && WriteWaveFiles(db, wavFolder) != 0) return 1;
    ByteWriter w(64 * 1024);
    w.FixedString("PINNACLE", 32);
    w.FixedString("Bank", 32);
    w.U16(kPbfFormatCurrent);
    w.Zeros(2);
    w.Zeros(kSectionHeaderSize);

    ByteWriter sh(kSectionHeaderSize);
    sh.Zeros(kSectionHeaderSize);
    for (int type : {kTypeProgram, kTypeKeymap, kTypeSampleHeader}) {
        size_t offsetField = type == kTypeProgram ? 12 : type == kTypeKeymap ? 16 : 20;
        size_t countField = type == kTypeProgram ? 0 : type == kTypeKeymap ? 2 : 4;
        sh.PatchU32(offsetField, static_cast<uint32_t>(w.Pos()));
        int count = 0;
        for (int n = 0; n < kSlotCount; ++n) {
            BankObject* o = db.GetObject(type, n);
            if (!o) continue;
            if (o->PackTo(w) != 0) {
                ShowMessage(ZedoException("Error Saving", *o).what());
                return 1;
            }
            ++count;
        }
        sh.PatchU16(countField, static_cast<uint16_t>(count));
    }
    sh.PatchU32(28, static_cast<uint32_t>(w.Pos() - 262));
    sh.PatchU16(102, static_cast<uint16_t>(w.Pos() & 0xFFFF));
    sh.PatchU16(104, static_cast<uint16_t>(w.Pos() >> 16));

    // Invalid wave data keeps its file reference too, so a sample whose file is missing
    // today still finds it after the file is back.
    auto saved = [](WaveData* wd) {
        return wd->StorageClass() == kFileLoaded ||
               (wd->Kind() == kWaveInvalid && !wd->path.empty());
    };
    int waveCount = 0;
    for (int i = 0; i < db.WaveDataCount(); ++i) {
        WaveData* wd = db.GetWaveData(i);
        if (!saved(wd)) continue;
        // Invalid wave data is kept as a reference only to a sample file that could be
        // loaded once it is back; a reference to a bank file would make the bank unreadable.
        if ((wd->Kind() != kWaveInvalid && !wd->valid) ||
            (wd->Kind() == kWaveInvalid && !IsSampleFileName(wd->path))) {
            ShowMessage("Some Wave data is invalid, can't save bank");
            return 1;
        }
        // A record names a whole file; sample data inside another file (a TMB bank, raw
        // data at an offset) could not be found again from it.
        auto* fw = dynamic_cast<FileWaveData*>(wd);
        bool piece = false;
        if (fw && wd->Kind() == kWaveK2000) {
            // One K2000 sample is a stretch of its file's sample block; the file alone
            // would give the whole block back.
            K2000WaveData whole(wd->path, wd->base, wd->channel, true);
            piece = whole.fileOffset != fw->fileOffset || whole.dataSize != fw->dataSize;
        }
        if (fw && wd->Kind() == kWaveSf2) piece = static_cast<Sf2WaveData*>(fw)->Kept();
        if (fw && (piece || wd->Kind() == kWaveCtmb || wd->Kind() == kWaveMa1 ||
                   (wd->Kind() == kWaveWav && fw->fileOffset != 0))) {
            ShowMessage(
                Fmt("The sample data of sample %d lies inside \"%s\" and cannot be "
                    "referred to from a .pbf file. Save with \"Create all .WAV files in "
                    "same directory\" or as a .tmb file.",
                    wd->base, wd->path.c_str()));
            return 1;
        }
        bool known = wd->Kind() != kWaveInvalid;
        w.U32(static_cast<uint32_t>(wd->path.size() + 17));
        w.U16(static_cast<uint16_t>(wd->base));
        w.U8(static_cast<uint8_t>(known ? wd->bitsSource : 0));
        w.U8(static_cast<uint8_t>(wd->channel));
        w.U32(static_cast<uint32_t>(known ? wd->SampleRate() : 0));
        w.U32(static_cast<uint32_t>(known ? wd->Length() : 0));
        w.Bytes(std::span(reinterpret_cast<const uint8_t*>(wd->path.data()), wd->path.size()));
        w.U8(0);
        ++waveCount;
    }
    sh.PatchU16(100, static_cast<uint16_t>(waveCount));
    sh.PatchU32(108, static_cast<uint32_t>(w.Pos()));
    int linkCount = 0;
    for (int i = 0; i < db.WaveDataCount(); ++i) {
        WaveData* wd = db.GetWaveData(i);
        if (!saved(wd)) continue;
        for (const auto& l : wd->links) {
            w.U16(5);
            w.U16(static_cast<uint16_t>(l.number));
            w.U16(static_cast<uint16_t>(wd->base));
            ++linkCount;
        }
    }
    sh.PatchU16(106, static_cast<uint16_t>(linkCount));
    std::string comment = Fmt("Created by Talmeru Version %03x", kProgramVersion);
    ByteWriter c;
    c.FixedString(comment, 64);
    sh.PatchBytes(36, c.Data());
    w.PatchBytes(kSectionHeaderOffset, sh.Data());
    out = w.Take();
    return 0;
}

int WritePbf(const std::string& path, ZedoDatabase& db, int options) {
    std::vector<uint8_t> image;
    std::string folder = Utf8FromPath(PathFromUtf8(path).parent_path());
    if (int rc = BuildPbf(db, options, image, folder.empty() ? "." : folder); rc != 0) return rc;
    if (AtomicWrite written = ReplaceFileAtomic(path, image); !written) {
        ShowMessage(SavingProblem(written));
        return 1;
    }
    return 0;
}

}  // namespace talmeru
