#include "files/Sf2WaveData.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "files/ConversionLog.h"
#include "files/Sf2Hydra.h"
#include "files/SndFileSource.h"
#include "platform/ByteIO.h"
#include "platform/Format.h"
#include "platform/Prompter.h"

namespace talmeru {

namespace {

constexpr size_t kShdrSize = 46;
// Samples are named by 16-bit indexes: more records than that and the terminal one are unused.
constexpr size_t kMaxRecords = 0x10001;
constexpr int kRomSample = 0x8000;
// The decoded whole's length in bytes must fit a wave data's length.
constexpr uint64_t kMaxFrames = INT32_MAX / 2;

// The sample records of the file's shdr chunk, terminal record excluded.
std::vector<sf2::SampleRecord> ReadSampleRecords(const RiffReader& r, const RiffChunk& sfbk) {
    std::vector<sf2::SampleRecord> out;
    auto pdta = FindSf2PresetData(r, sfbk);
    auto shdr = pdta ? r.Find(*pdta, FourCC("shdr")) : std::nullopt;
    if (!shdr) return out;
    const std::vector<uint8_t> bytes = r.ReadData(*shdr, kMaxRecords * kShdrSize);
    const size_t count = bytes.size() / kShdrSize;
    for (size_t i = 0; i + 1 < count; ++i)
        out.push_back(sf2::ReadSampleRecord(ByteReader(bytes.data() + i * kShdrSize, kShdrSize)));
    return out;
}

// Why the stream at [offset, offset + bytes) cannot be played, or empty; frames is its length.
std::string CheckStream(const ByteSource& src, uint64_t offset, uint64_t bytes, uint32_t& frames) {
    SndFile snd(src, offset, bytes);
    if (!snd.File()) return sf_strerror(nullptr);
    const SF_INFO& info = snd.Info();
    if (info.channels != 1) return Fmt("it has %d channels, not one", info.channels);
    if (info.frames <= 0) return "it holds no sound";
    if (static_cast<uint64_t>(info.frames) > kMaxFrames) return "it is too long";
    frames = static_cast<uint32_t>(info.frames);
    return {};
}

// Lays the samples end to end, rewriting their points to frames of the whole; the pieces of
// the whole in order, and its length in frames.
std::vector<Sf2WaveData::Piece> LayOut(const ByteSource& src, const RiffChunk& smpl,
                                       std::vector<Sf2SamplePoints>& samples, ConversionLog* log,
                                       uint64_t& total) {
    const uint64_t chunkBytes = static_cast<uint64_t>(Sf2SampleBytes(smpl));
    std::vector<Sf2WaveData::Piece> pieces;
    total = 0;
    auto refuse = [&](Sf2SamplePoints& s, const std::string& reason) {
        if (log)
            log->Add(Fmt("X Sample %s cannot be decoded: %s\r\n", s.name.c_str(), reason.c_str()));
        s.usable = false;
    };
    for (Sf2SamplePoints& s : samples) {
        Sf2WaveData::Piece piece;
        piece.vorbis = (s.type & kSf2VorbisSample) != 0;
        // An Ogg Vorbis sample's loop counts from its own start; any other's from the chunk's.
        uint64_t first = piece.vorbis ? 0 : s.start;
        if (s.type & kRomSample) {
            s.usable = false;
        } else if (piece.vorbis) {
            if (s.start >= s.end || s.end > chunkBytes) {
                refuse(s, "its stream lies outside the sample data");
            } else {
                piece.offset = smpl.dataOffset + s.start;
                piece.bytes = s.end - s.start;
                if (std::string why = CheckStream(src, piece.offset, piece.bytes, piece.frames);
                    !why.empty())
                    refuse(s, why);
            }
        } else if (s.start > s.end || uint64_t{s.end} * 2 > chunkBytes) {
            refuse(s, "it lies outside the sample data");
        } else {
            piece.offset = smpl.dataOffset + uint64_t{s.start} * 2;
            piece.bytes = uint64_t{s.end - s.start} * 2;
            piece.frames = s.end - s.start;
        }
        if (s.usable && total + piece.frames > kMaxFrames) refuse(s, "the samples are too long");
        if (!s.usable) {
            s.start = s.end = 0;
            s.loopStart = s.loopEnd = kSf2NoLoop;
            continue;
        }
        const auto base = static_cast<uint32_t>(total);
        const bool loops =
            first <= s.loopStart && s.loopStart <= s.loopEnd && s.loopEnd - first <= piece.frames;
        s.loopStart = loops ? static_cast<uint32_t>(base + s.loopStart - first) : kSf2NoLoop;
        s.loopEnd = loops ? static_cast<uint32_t>(base + s.loopEnd - first) : kSf2NoLoop;
        s.start = base;
        s.end = base + piece.frames;
        total += piece.frames;
        pieces.push_back(piece);
    }
    return pieces;
}

// The decoded whole, a piece at a time: streams are decoded a block at a time, so no more
// than a block is held whatever the file's size.
class Sf3Reader : public WaveDataReader {
  public:
    Sf3Reader(std::unique_ptr<FileSource> src, std::string path,
              std::vector<Sf2WaveData::Piece> pieces, uint64_t size)
        : src_(std::move(src)), path_(std::move(path)), pieces_(std::move(pieces)), size_(size) {}
    uint64_t Size() const override { return size_; }
    int Read(std::span<uint8_t> out) override {
        if (out.size() > size_ - done_) return Failed();
        for (size_t at = 0; at < out.size();) {
            if (blockAt_ == block_.size() && !NextBlock()) return Failed();
            const size_t take = std::min(out.size() - at, block_.size() - blockAt_);
            std::memcpy(out.data() + at, block_.data() + blockAt_, take);
            blockAt_ += take;
            at += take;
        }
        done_ += out.size();
        return 0;
    }

  private:
    static constexpr uint32_t kBlockFrames = 1u << 18;  // 512 KB of points

    int Failed() {
        ShowMessage(Fmt("Failed to read sample data from \"%s\".", path_.c_str()));
        return 1;
    }
    // The next block of the current piece, moving on to the next piece at its end.
    bool NextBlock() {
        while (piece_ < pieces_.size() && left_ == 0) {
            if (started_) ++piece_;
            if (piece_ == pieces_.size()) return false;
            started_ = true;
            left_ = pieces_[piece_].frames;
            at_ = pieces_[piece_].offset;
            snd_.reset();
            if (pieces_[piece_].vorbis) {
                snd_ = std::make_unique<SndFile>(*src_, at_, pieces_[piece_].bytes);
                if (!snd_->File()) return false;
            }
        }
        if (piece_ >= pieces_.size()) return false;
        const uint32_t frames = std::min(left_, kBlockFrames);
        points_.assign(frames, 0);
        if (snd_) {
            // A stream that ends before its header said plays silence for the rest.
            sf_readf_short(snd_->File(), points_.data(), frames);
        } else {
            std::vector<uint8_t> raw(size_t{frames} * 2);
            if (src_->ReadAt(at_, raw.data(), raw.size()) != raw.size()) return false;
            for (size_t i = 0; i < frames; ++i)
                points_[i] = static_cast<int16_t>(raw[2 * i] | raw[2 * i + 1] << 8);
            at_ += raw.size();
        }
        block_.resize(size_t{frames} * 2);
        for (size_t i = 0; i < frames; ++i) {
            const auto v = static_cast<uint16_t>(points_[i]);
            block_[2 * i] = static_cast<uint8_t>(v);
            block_[2 * i + 1] = static_cast<uint8_t>(v >> 8);
        }
        blockAt_ = 0;
        left_ -= frames;
        return true;
    }

    std::unique_ptr<FileSource> src_;
    std::string path_;
    std::vector<Sf2WaveData::Piece> pieces_;
    uint64_t size_, done_ = 0;
    size_t piece_ = 0;
    bool started_ = false;
    uint32_t left_ = 0;
    uint64_t at_ = 0;
    std::unique_ptr<SndFile> snd_;
    std::vector<int16_t> points_;
    std::vector<uint8_t> block_;
    size_t blockAt_ = 0;
};

}  // namespace

std::optional<RiffChunk> FindSf2SampleChunk(const RiffReader& reader, const RiffChunk& sfbk) {
    auto sdta = reader.FindList(sfbk, FourCC("sdta"));
    if (!sdta) return std::nullopt;
    return reader.Find(*sdta, FourCC("smpl"));
}

std::optional<RiffChunk> FindSf2PresetData(const RiffReader& reader, const RiffChunk& sfbk) {
    if (auto pdta = reader.FindList(sfbk, FourCC("pdta"))) return pdta;
    auto sdta = reader.FindList(sfbk, FourCC("sdta"));
    if (!sdta || (sdta->size & 1) == 0) return std::nullopt;
    return reader.FindList(sfbk, FourCC("pdta"), sdta->dataOffset + sdta->size);
}

int32_t Sf2SampleBytes(const RiffChunk& smpl) {
    return static_cast<int32_t>(std::min<uint64_t>(smpl.dataEnd - smpl.dataOffset, INT32_MAX));
}

bool IsSoundFont3(const RiffReader& reader, const RiffChunk& sfbk) {
    auto info = reader.FindList(sfbk, FourCC("INFO"));
    auto ifil = info ? reader.Find(*info, FourCC("ifil")) : std::nullopt;
    uint8_t v[2];
    return ifil && reader.Read(*ifil, 0, v, sizeof v) && (v[0] | v[1] << 8) == 3;
}

bool IsSoundFont3(const std::string& path) {
    FileSource src(path);
    if (!src.Ok()) return false;
    RiffReader r(src);
    auto sfbk = r.Riff(0, FourCC("sfbk"));
    return sfbk && IsSoundFont3(r, *sfbk);
}

uint32_t MapSoundFont3Samples(const std::string& path, std::vector<Sf2SamplePoints>& samples,
                              ConversionLog& log) {
    FileSource src(path);
    RiffReader r(src);
    auto sfbk = src.Ok() ? r.Riff(0, FourCC("sfbk")) : std::nullopt;
    auto smpl = sfbk ? FindSf2SampleChunk(r, *sfbk) : std::nullopt;
    if (!smpl) {
        log.Add(Fmt("X SoundFont \"%s\" has no sample data\r\n", path.c_str()));
        for (Sf2SamplePoints& s : samples)
            s.usable = false;
        return 0;
    }
    uint64_t total = 0;
    LayOut(src, *smpl, samples, &log, total);
    return static_cast<uint32_t>(total);
}

Sf2WaveData::Sf2WaveData(const std::string& p, int baseNumber, int channelSelector, bool quiet) {
    base = baseNumber;
    channel = channelSelector;
    bitsSource = bitsHeld = 16;
    sampleRate = 44100;
    if (!Locate(p, quiet)) return;
    ReadHeader();
    AddFullSampleRegion();
}

std::unique_ptr<WaveData> Sf2WaveData::Clone() const {
    return std::make_unique<Sf2WaveData>(*this);
}

void Sf2WaveData::ReadHeader() {
    auto fail = [&](const std::string& text) {
        ShowMessage(text);
        formatTag = -1;
    };
    FileSource src(path);
    if (!src.Ok()) return fail(Fmt("Failed to open Sf2 file \"%s\".", path.c_str()));
    RiffReader r(src);
    auto sfbk = r.Riff(0, FourCC("sfbk"));
    if (!sfbk) return fail(Fmt("This is not a SoundFont2 file, \"%s\".", path.c_str()));
    auto smpl = FindSf2SampleChunk(r, *sfbk);
    if (!smpl) return fail(Fmt("SoundFont2 file \"%s\" has no \"smpl\" chunk.", path.c_str()));
    fileOffset = smpl->dataOffset;
    length = Sf2SampleBytes(*smpl);
    sf3_ = IsSoundFont3(r, *sfbk);
    const std::vector<sf2::SampleRecord> records = ReadSampleRecords(r, *sfbk);
    std::vector<Sf2SamplePoints> samples;
    if (sf3_) {
        // The same layout as the import's, so that its sample headers point into it.
        for (const sf2::SampleRecord& rec : records)
            samples.push_back({rec.name, rec.type, rec.start, rec.end, rec.loopStart, rec.loopEnd});
        uint64_t frames = 0;
        pieces_ = LayOut(src, *smpl, samples, nullptr, frames);
        length = static_cast<int32_t>(frames * 2);
    }
    dataSize = static_cast<uint64_t>(length);
    sourceSize = length;
    loopStart = end = length / 2;
    ReadRates(records, sf3_ ? &samples : nullptr);
}

// The chunk holds samples of their own rates, which only their records tell; the headers made
// from them carry their pitch, but an export must write each sample's rate again.
void Sf2WaveData::ReadRates(const std::vector<sf2::SampleRecord>& records,
                            const std::vector<Sf2SamplePoints>* decoded) {
    for (size_t i = 0; i < records.size(); ++i) {
        uint32_t start = records[i].start;
        // A SoundFont 3 sample starts where its decoded data lies in the whole.
        if (decoded) {
            if (i >= decoded->size() || !(*decoded)[i].usable) continue;
            start = (*decoded)[i].start;
        }
        const uint32_t rate = records[i].rate;
        if (rate > 0 && rate <= INT32_MAX) rangeRates.push_back({start, static_cast<int>(rate)});
    }
    std::stable_sort(rangeRates.begin(), rangeRates.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
}

double Sf2WaveData::Level(uint32_t frame, uint32_t frames) const {
    if (!valid || formatTag == -1 || frames == 0) return NAN;
    FileSource src(path);
    if (!src.Ok()) return NAN;
    std::vector<int16_t> points;
    auto raw = [&](uint64_t offset, uint32_t n) {
        std::vector<uint8_t> bytes(size_t{n} * 2);
        bytes.resize(src.ReadAt(offset, bytes.data(), bytes.size()) & ~size_t{1});
        for (size_t i = 0; i < bytes.size(); i += 2)
            points.push_back(static_cast<int16_t>(bytes[i] | bytes[i + 1] << 8));
    };
    if (pieces_.empty()) {
        const uint64_t whole = static_cast<uint64_t>(length) / 2;
        if (frame >= whole) return NAN;
        raw(fileOffset + uint64_t{frame} * 2,
            static_cast<uint32_t>(std::min<uint64_t>(frames, whole - frame)));
    } else {
        uint64_t first = 0;
        for (const Piece& piece : pieces_) {
            if (frame >= first + piece.frames) {
                first += piece.frames;
                continue;
            }
            const auto within = static_cast<uint32_t>(frame - first);
            const uint32_t n = std::min(frames, piece.frames - within);
            if (!piece.vorbis) {
                raw(piece.offset + uint64_t{within} * 2, n);
                break;
            }
            SndFile snd(src, piece.offset, piece.bytes);
            if (!snd.File() || (within && sf_seek(snd.File(), within, SEEK_SET) < 0)) return NAN;
            points.resize(n);
            points.resize(
                size_t(std::max<sf_count_t>(sf_readf_short(snd.File(), points.data(), n), 0)));
            break;
        }
    }
    if (points.empty()) return NAN;
    double sum = 0;
    for (int16_t p : points)
        sum += double(p) * p;
    return 10 * std::log10(sum / double(points.size()) / (32768.0 * 32768.0) + 1e-20);
}

std::vector<uint32_t> Sf2WaveData::Keep(const std::vector<std::pair<uint32_t, uint32_t>>& spans) {
    std::vector<Piece> whole = pieces_;
    if (whole.empty())
        whole.push_back({false, fileOffset, static_cast<uint64_t>(length), uint32_t(length / 2)});
    std::vector<Piece> kept;
    std::vector<uint32_t> at;
    std::vector<std::pair<uint32_t, int>> rates;
    uint64_t first = 0, total = 0;
    size_t p = 0;
    for (const auto& [from, to] : spans) {
        while (p < whole.size() && first + whole[p].frames <= from)
            first += whole[p++].frames;
        if (p == whole.size() || to <= from || to > first + whole[p].frames) return {};
        Piece piece = whole[p];
        if (!piece.vorbis) {  // points of the chunk: any stretch of them
            piece.offset += uint64_t{from - first} * 2;
            piece.frames = to - from;
            piece.bytes = uint64_t{piece.frames} * 2;
        } else if (from != first || to != first + piece.frames) {
            return {};  // a stream is kept whole or not at all
        }
        at.push_back(static_cast<uint32_t>(total));
        rates.push_back({static_cast<uint32_t>(total), SampleRateAt(from)});
        kept.push_back(piece);
        total += piece.frames;
    }
    pieces_ = std::move(kept);
    rangeRates = std::move(rates);
    kept_ = true;
    length = static_cast<int32_t>(std::min<uint64_t>(total * 2, INT32_MAX));
    dataSize = sourceSize = length;
    sampleStart = 0;
    loopStart = end = length / 2;
    regions.clear();
    AddFullSampleRegion();
    ReleaseData();
    return at;
}

int Sf2WaveData::LoadData() {
    if (loaded) return 0;
    if (!valid || formatTag == -1) return 1;
    if (pieces_.empty()) {
        if (ReadRawData() != 0) return 1;
    } else {
        auto reader = OpenReader();
        data.resize(static_cast<size_t>(length));
        if (!reader || reader->Read(data) != 0) {
            ReleaseData();
            return 1;
        }
    }
    loaded = true;
    return 0;
}

int Sf2WaveData::ReadData(std::span<uint8_t> out) {
    auto reader = OpenReader();
    if (!reader) return 1;
    if (out.size() != reader->Size()) {
        ShowMessage(Fmt("Failed to read sample data from \"%s\".", path.c_str()));
        return 1;
    }
    return reader->Read(out);
}

std::unique_ptr<WaveDataReader> Sf2WaveData::OpenReader() {
    if (loaded) return WaveData::OpenReader();
    if (!valid || formatTag == -1) return nullptr;
    if (pieces_.empty()) return OpenRawReader(false);
    auto src = std::make_unique<FileSource>(path);
    if (!src->Ok()) {
        ShowMessage(Fmt("Failed to open sample file \"%s\".\n", path.c_str()));
        return nullptr;
    }
    return std::make_unique<Sf3Reader>(std::move(src), path, pieces_, uint64_t(length));
}

}  // namespace talmeru
