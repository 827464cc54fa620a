#include "files/WavWaveData.h"

#include <sndfile.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "files/Pbf.h"
#include "files/SndFileSource.h"
#include "platform/ByteIO.h"
#include "platform/ByteSink.h"
#include "platform/Format.h"
#include "platform/Prompter.h"
#include "platform/Riff.h"

namespace talmeru {

namespace {

constexpr size_t kMaxSmpl = 420;
constexpr size_t kMaxInst = 7;

// What the header read found out about the source's layout.
struct WavLayout {
    int tag = 0;
    int channels = 0;
    int bits = 0;
    int blockAlign = 0;
    uint32_t rate = 0;
    RiffChunk data;
};

// A floating-point point (full scale 1.0) as a 16-bit one, clipped.
int16_t ShortOf(double x) {
    if (!(x == x)) return 0;  // NaN
    return static_cast<int16_t>(std::clamp(std::nearbyint(x * 32768.0), -32768.0, 32767.0));
}

bool IsPlainPcm(int tag, int bits) {
    return tag == 1 && (bits == 8 || bits == 16);
}

// One channel of an encoding libsndfile decodes, a block of frames at a time as 16-bit
// little-endian points.
class ChannelDecoder {
  public:
    ChannelDecoder(const ByteSource& src, const RiffChunk& riff, int which)
        : snd_(src, riff.offset, riff.dataEnd - riff.offset) {
        if (!Ok()) return;
        channels_ = snd_.Info().channels;
        keep_ = std::min(which, channels_ - 1);
        blockFrames_ = std::max(1, (1 << 19) / channels_);
        // The decoder gives floating-point data to shorts unscaled, so nearly all of it would
        // read as silence: it is read as it is and scaled here, clipped to 16 bits.
        const int subtype = snd_.Info().format & SF_FORMAT_SUBMASK;
        floating_ = subtype == SF_FORMAT_FLOAT || subtype == SF_FORMAT_DOUBLE;
        const size_t size = size_t(channels_) * size_t(blockFrames_);
        if (floating_) {
            real_.resize(size);
        } else {
            block_.resize(size);
        }
    }
    bool Ok() const { return snd_.File() && snd_.Info().channels > 0; }
    sf_count_t Frames() const { return snd_.Info().frames; }
    // Appends the next block's points to out; false at the end of the data.
    bool Next(std::vector<uint8_t>& out) {
        const sf_count_t got = floating_ ? sf_readf_double(snd_.File(), real_.data(), blockFrames_)
                                         : sf_readf_short(snd_.File(), block_.data(), blockFrames_);
        if (got <= 0) return false;
        for (sf_count_t i = 0; i < got; ++i) {
            const size_t at = static_cast<size_t>(i * channels_ + keep_);
            const auto v = static_cast<uint16_t>(floating_ ? ShortOf(real_[at]) : block_[at]);
            out.push_back(static_cast<uint8_t>(v));
            out.push_back(static_cast<uint8_t>(v >> 8));
        }
        return true;
    }

  private:
    SndFile snd_;
    int channels_ = 0, keep_ = 0;
    sf_count_t blockFrames_ = 1;
    bool floating_ = false;
    std::vector<int16_t> block_;
    std::vector<double> real_;
};

// Finds the WAVE form; shows the message and returns false when it is not there.
bool FindWave(const RiffReader& r, uint64_t offset, const std::string& path, RiffChunk& riff) {
    if (offset > r.Source().Size()) {
        ShowMessage(Fmt("Could not seek to RIFF position in \"%s\".\n", path.c_str()));
        return false;
    }
    auto form = r.Riff(offset, FourCC("WAVE"));
    if (!form) {
        ShowMessage(Fmt("This is not a waveform-audio file, \"%s\".\n", path.c_str()));
        return false;
    }
    riff = *form;
    return true;
}

bool FindData(const RiffReader& r, const RiffChunk& riff, const std::string& path,
              RiffChunk& data) {
    auto d = r.Find(riff, FourCC("data"));
    if (!d) {
        ShowMessage(Fmt("\"%s\" Waveform-audio file has no data chunk.", path.c_str()));
        return false;
    }
    data = *d;
    // A WAV written to a pipe cannot go back to give its size, and says 0x7FFFF000 or
    // 0xFFFFFFFF: the data are what the file holds.
    if (data.Truncated()) data.size = static_cast<uint32_t>(data.dataEnd - data.dataOffset);
    return true;
}

}  // namespace

std::string WavFormatName(int tag) {
    switch (tag) {
        case 0:
            return "?";
        case 1:
            return "PCM";
        case 2:
        case 16:
        case 17:
            return "ADPCM";
        case 5:
            return "CVSD";
        case 6:
            return "ALAW";
        case 7:
            return "ULAW";
        case 49:
            return "GSM";
        case 50:
            return "MSN";
        case 113:
        case 114:
        case 115:
            return "L&H";
        default:
            return "Unknown";
    }
}

WavWaveData::WavWaveData(const std::string& p, int baseNumber, int channelSelector, bool quiet,
                         uint64_t offset) {
    base = baseNumber;
    channel = channelSelector;
    fileOffset = offset;
    if (!Locate(p, quiet)) return;
    ReadHeader();
    AddFullSampleRegion();
}

std::unique_ptr<WaveData> WavWaveData::Clone() const {
    return std::make_unique<WavWaveData>(*this);
}

int WavWaveData::ReadHeader() {
    auto fail = [&](const std::string& text) {
        ShowMessage(text);
        formatTag = -1;
        return 1;
    };
    FileSource src(path);
    if (!src.Ok())
        return fail(Fmt("Failed to open ACM file \"%s\" error %d.\n", path.c_str(), src.Error()));
    RiffReader r(src);
    RiffChunk riff, dataChunk;
    if (!FindWave(r, fileOffset, path, riff)) {
        formatTag = -1;
        return 1;
    }
    auto fmt = r.Find(riff, FourCC("fmt "));
    if (!fmt) return fail(Fmt("Waveform-audio file \"%s\" has no \"FMT\" chunk.", path.c_str()));
    fmtChunk = r.ReadData(*fmt);
    if (fmtChunk.size() < 16 || fmtChunk.size() < fmt->size)
        return fail(Fmt("Failed to read format chunk in file \"%s\".", path.c_str()));
    ByteReader f(fmtChunk);
    formatTag = f.U16();
    channels = f.U16();
    sampleRate = static_cast<int>(std::min<uint32_t>(f.U32(), INT32_MAX));
    f.Skip(4);
    int blockAlign = f.U16();
    bitsSource = f.U16();
    if (channels == 0)
        return fail(Fmt("Waveform-audio file \"%s\" has no channels.", path.c_str()));
    // Data without a rate or a frame size cannot be played, however it is encoded.
    if (sampleRate == 0 || blockAlign == 0) return fail("Unable to convert wave format.");
    if (!FindData(r, riff, path, dataChunk)) {
        formatTag = -1;
        return 1;
    }
    stereo = channels == 2;
    bitsHeld = (formatTag == 1 && bitsSource == 8) ? 8 : 16;
    if (dataChunk.size == 0)
        return fail(Fmt("The data chunk in \"%s\" contains no data.", path.c_str()));

    int64_t frames = 0;
    if (IsPlainPcm(formatTag, bitsSource)) {
        int bytes = bitsSource / 8;
        // The frame size is derived, not taken from blockAlign: some writers store it wrong.
        frames = dataChunk.size / (static_cast<uint32_t>(channels) * bytes);
    } else {
        // Refused now rather than at the next save: what the decoder cannot open would never
        // give any data.
        SndFile snd(src, riff.offset, riff.dataEnd - riff.offset);
        if (!snd.File() || snd.Info().channels <= 0) return fail("Unable to convert wave format.");
        frames = snd.Info().frames;
    }
    frames = std::min<int64_t>(frames, INT32_MAX / 2);
    length = static_cast<int32_t>(frames * (bitsHeld / 8));
    sampleStart = 0;
    loopStart = end = -1;

    // The loop and pitch chunks usually follow the data; files from elsewhere may have them
    // before it, so the whole form is searched when they are not behind it.
    auto findMeta = [&](uint32_t id) {
        auto c = r.Find(riff, id, RiffReader::Next(dataChunk));
        return c ? c : r.Find(riff, id);
    };
    hasSmpl = hasInst = false;
    if (auto s = findMeta(FourCC("smpl"))) {
        if (s->size > kMaxSmpl) ShowMessage("Warning, samplechunk too big, truncating");
        smpl = r.ReadData(*s, kMaxSmpl);
        hasSmpl = smpl.size() >= 36;
        if (hasSmpl) {
            ByteReader sr(smpl);
            sr.Seek(28);
            uint32_t loops = sr.U32();
            if (loops >= 1 && sr.CanRead(4 + 24)) {
                sr.Skip(4);
                sr.Skip(4);  // identifier
                uint32_t type = sr.U32();
                uint32_t ls = sr.U32();
                uint32_t le = sr.U32();
                uint32_t fraction = sr.U32();
                if (type == 0) {
                    if (le > static_cast<uint64_t>(frames)) {
                        ShowMessage(
                            Fmt("Warning, the loop of \"%s\" lies outside its data and is "
                                "ignored.",
                                path.c_str()));
                    } else {
                        // The loop's end point is its last one (a fraction of a half or more
                        // rounds up to one more); the wave data's end is the point after it.
                        // Our own older files wrote the point after it here, and at the data's
                        // end that stays the end.
                        uint64_t after = uint64_t{le} + 1 + ((fraction & 0x80000000u) ? 1 : 0);
                        after = std::min<uint64_t>(after, static_cast<uint64_t>(frames));
                        end = static_cast<int32_t>(after);
                        loopStart = static_cast<int32_t>(std::min<uint64_t>(ls, after));
                    }
                }
            }
        }
    }
    if (auto i = findMeta(FourCC("inst"))) {
        if (i->size > kMaxInst) ShowMessage("Warning, instrumentchunk too big, truncating");
        auto bytes = r.ReadData(*i, kMaxInst);
        hasInst = bytes.size() == kMaxInst;
        if (hasInst) std::copy(bytes.begin(), bytes.end(), inst.begin());
    }
    if (hasSmpl) {
        ByteReader sr(smpl);
        sr.Seek(12);
        uint32_t unity = sr.U32();
        uint32_t fraction = sr.U32();
        rootPitch = unity + fraction * std::ldexp(1.0, -32);
    } else if (hasInst) {
        rootPitch = inst[0] + static_cast<int8_t>(inst[1]) * 0.01;
    } else {
        rootPitch = -1.0;
    }
    if (loopStart < 0) loopStart = end = static_cast<int32_t>(frames);
    return 0;
}

namespace {

// One channel of plain PCM read a block of frames at a time, as LoadData would hold it (8-bit
// data signed): a big WAV goes into a file or the synthesizer without being held whole.
class PcmChannelReader : public WaveDataReader {
  public:
    PcmChannelReader(std::unique_ptr<FileSource> src, uint64_t dataAt, int bits, int channels,
                     int which, uint64_t frames)
        : src_(std::move(src)),
          dataAt_(dataAt),
          bytes_(size_t(bits / 8)),
          frame_(bytes_ * size_t(channels)),
          skip_(bytes_ * size_t(std::min(which, channels - 1))),
          size_(frames * bytes_),
          unsigned8_(bits == 8) {}
    uint64_t Size() const override { return size_; }
    int Read(std::span<uint8_t> out) override {
        if (out.size() > size_ - done_) return Failed();
        if (frame_ == bytes_) {  // mono: the data as it lies
            if (src_->ReadAt(dataAt_ + done_, out.data(), out.size()) != out.size())
                return Failed();
        } else {
            constexpr uint64_t kBlockFrames = 1u << 16;
            for (size_t k = 0; k < out.size();) {
                const uint64_t first = (done_ + k) / bytes_;
                const uint64_t last =
                    std::min(first + kBlockFrames, (done_ + out.size() + bytes_ - 1) / bytes_);
                block_.resize(size_t(last - first) * frame_);
                if (src_->ReadAt(dataAt_ + first * frame_, block_.data(), block_.size()) !=
                    block_.size())
                    return Failed();
                // The channel's bytes, from the one at done_ + k on, frame after frame.
                uint64_t at = done_ + k;
                size_t phase = size_t(at % bytes_);
                const uint8_t* from = block_.data() + skip_ + phase;
                for (; k < out.size() && at < last * bytes_; ++at, ++k) {
                    out[k] = *from;
                    if (++phase == bytes_) {
                        phase = 0;
                        from += frame_ - bytes_ + 1;
                    } else {
                        ++from;
                    }
                }
            }
        }
        if (unsigned8_)
            for (auto& b : out)
                b = static_cast<uint8_t>(b + 128);
        done_ += out.size();
        return 0;
    }

  private:
    int Failed() {
        ShowMessage("Failed to read data chunk.");
        return 1;
    }
    std::unique_ptr<FileSource> src_;
    uint64_t dataAt_;
    size_t bytes_, frame_, skip_;
    uint64_t size_;
    bool unsigned8_;
    uint64_t done_ = 0;
    std::vector<uint8_t> block_;
};

// Other encodings, decoded a block at a time: as many bytes as the header promised (the
// decoder's count of frames), silence past the decoder's end.
class DecodedChannelReader : public WaveDataReader {
  public:
    DecodedChannelReader(std::unique_ptr<FileSource> src, const RiffChunk& riff, int which,
                         uint64_t size)
        : src_(std::move(src)), decoder_(*src_, riff, which), size_(size) {}
    bool Ok() const { return decoder_.Ok(); }
    uint64_t Size() const override { return size_; }
    int Read(std::span<uint8_t> out) override {
        if (out.size() > size_ - done_) {
            ShowMessage("Failed to read data chunk.");
            return 1;
        }
        for (size_t k = 0; k < out.size();) {
            if (at_ == pcm_.size()) {
                pcm_.clear();
                at_ = 0;
                if (!decoder_.Next(pcm_)) {
                    std::fill(out.begin() + std::ptrdiff_t(k), out.end(), uint8_t{0});
                    break;
                }
            }
            const size_t take = std::min(out.size() - k, pcm_.size() - at_);
            std::memcpy(out.data() + k, pcm_.data() + at_, take);
            at_ += take;
            k += take;
        }
        done_ += out.size();
        return 0;
    }

  private:
    std::unique_ptr<FileSource> src_;  // the decoder reads through it
    ChannelDecoder decoder_;
    uint64_t size_, done_ = 0;
    std::vector<uint8_t> pcm_;
    size_t at_ = 0;
};

}  // namespace

bool WavWaveData::ReadsInPlace() const {
    return valid && formatTag != -1;
}

int WavWaveData::ReadData(std::span<uint8_t> out) {
    auto reader = OpenReader();
    if (!reader) return 1;
    if (out.size() != reader->Size()) {
        ShowMessage("Failed to read data chunk.");
        return 1;
    }
    return reader->Read(out);
}

std::unique_ptr<FileSource> WavWaveData::OpenData(RiffChunk& riff, RiffChunk& dataChunk) const {
    auto src = std::make_unique<FileSource>(path);
    if (!src->Ok()) {
        ShowMessage(Fmt("Failed to open sample file \"%s\".\n", path.c_str()));
        return nullptr;
    }
    RiffReader r(*src);
    if (!FindWave(r, fileOffset, path, riff) || !FindData(r, riff, path, dataChunk)) return nullptr;
    return src;
}

std::unique_ptr<WaveDataReader> WavWaveData::OpenPcm(std::unique_ptr<FileSource> src,
                                                     const RiffChunk& dataChunk) const {
    // A size that runs past the file is refused before anything is read for it.
    if (dataChunk.Truncated() || channels <= 0) {
        ShowMessage("Failed to read data chunk.");
        return nullptr;
    }
    // As many frames as the header promised (Length()).
    const uint64_t frames = std::min<uint64_t>(
        dataChunk.size / (uint64_t(bitsSource / 8) * uint64_t(channels)), INT32_MAX / 2);
    return std::make_unique<PcmChannelReader>(std::move(src), dataChunk.dataOffset, bitsSource,
                                              channels, Which(), frames);
}

std::unique_ptr<WaveDataReader> WavWaveData::OpenReader() {
    if (loaded || !ReadsInPlace()) return WaveData::OpenReader();
    RiffChunk riff, dataChunk;
    auto src = OpenData(riff, dataChunk);
    if (!src) return nullptr;
    if (IsPlainPcm(formatTag, bitsSource)) return OpenPcm(std::move(src), dataChunk);
    auto reader = std::make_unique<DecodedChannelReader>(std::move(src), riff, Which(),
                                                         uint64_t(std::max(length, 0)));
    if (reader->Ok()) return reader;
    ShowMessage("Unable to convert wave format.");
    return nullptr;
}

int WavWaveData::LoadData() {
    if (loaded) return 0;
    if (formatTag == -1) return 1;
    RiffChunk riff, dataChunk;
    auto src = OpenData(riff, dataChunk);
    if (!src) return 1;
    if (IsPlainPcm(formatTag, bitsSource)) {
        auto reader = OpenPcm(std::move(src), dataChunk);
        if (!reader) return 1;
        data.resize(size_t(reader->Size()));
        if (reader->Read(data) != 0) {
            ReleaseData();
            return 1;
        }
    } else {
        ChannelDecoder decoder(*src, riff, Which());
        if (!decoder.Ok()) {
            ShowMessage("Unable to convert wave format.");
            return 1;
        }
        data.clear();
        data.reserve(static_cast<size_t>(std::max<sf_count_t>(decoder.Frames(), 0)) * 2);
        while (decoder.Next(data)) {
        }
    }
    length = static_cast<int32_t>(data.size());
    int32_t frames = length / BytesPerFrame();
    if (loopStart < 0 || end < 0 || end > frames) loopStart = end = frames;
    loaded = true;
    return 0;
}

namespace {

// The data are read and written in pieces of about this many bytes.
constexpr size_t kWavPiece = size_t{1} << 20;

// One channel's next `want` bytes into piece, as a WAV file keeps them (8-bit data unsigned),
// silence past the end of its data. False when the reader fails (the reason has been shown).
bool ReadChannel(WaveDataReader& reader, uint64_t& left, int bits, size_t want,
                 std::vector<uint8_t>& piece) {
    const size_t have = size_t(std::min<uint64_t>(left, want));
    piece.resize(want);
    if (have > 0 && reader.Read(std::span(piece).first(have)) != 0) return false;
    left -= have;
    if (bits == 8)
        for (size_t i = 0; i < have; ++i)
            piece[i] = static_cast<uint8_t>(piece[i] - 128);
    std::fill(piece.begin() + std::ptrdiff_t(have), piece.end(),
              static_cast<uint8_t>(bits == 8 ? 0x80 : 0));
    return true;
}

}  // namespace

bool WriteWav(ByteSink& out, WaveData& left, WaveData* right, bool& shown) {
    struct Release {
        WaveData& l;
        WaveData* r;
        ~Release() {
            l.ReleaseData();
            if (r) r->ReleaseData();
        }
    } release{left, right};
    auto leftReader = left.OpenReader();
    if (!leftReader) return !(shown = true);
    std::unique_ptr<WaveDataReader> rightReader;
    if (right && !(rightReader = right->OpenReader())) return !(shown = true);
    const int bits = left.bitsHeld;
    const size_t bytes = size_t(std::max(bits / 8, 1));
    const int channels = right ? 2 : 1;
    const int rate = left.SampleRate();

    const uint64_t start = out.Pos();
    ByteWriter head;
    RiffWriter h(head);
    head.U32(FourCC("RIFF"));
    head.U32(0);
    head.U32(FourCC("WAVE"));
    ByteWriter fmt;
    fmt.U16(1);
    fmt.U16(static_cast<uint16_t>(channels));
    fmt.U32(static_cast<uint32_t>(rate));
    fmt.U32(static_cast<uint32_t>(static_cast<uint64_t>(rate) * bytes * size_t(channels)));
    fmt.U16(static_cast<uint16_t>(bytes * size_t(channels)));
    fmt.U16(static_cast<uint16_t>(bits));
    h.Chunk(FourCC("fmt "), fmt.Data());
    head.U32(FourCC("data"));
    head.U32(0);
    if (!out.Write(head.Data())) return false;

    // The data: one channel as it is, or two interleaved frame by frame, the shorter one
    // filled up with silence.
    const uint64_t dataAt = out.Pos();
    uint64_t leftBytes = leftReader->Size();
    uint64_t rightBytes = rightReader ? rightReader->Size() : 0;
    std::vector<uint8_t> piece, other, frames;
    if (!rightReader) {
        while (leftBytes > 0) {
            if (!ReadChannel(*leftReader, leftBytes, bits,
                             size_t(std::min<uint64_t>(leftBytes, kWavPiece)), piece))
                return !(shown = true);
            if (!out.Write(piece)) return false;
        }
    } else {
        const uint64_t total = std::max(leftBytes, rightBytes) / bytes;
        const size_t perPiece = kWavPiece / bytes;
        for (uint64_t done = 0; done < total;) {
            const size_t n = size_t(std::min<uint64_t>(total - done, perPiece));
            if (!ReadChannel(*leftReader, leftBytes, bits, n * bytes, piece) ||
                !ReadChannel(*rightReader, rightBytes, bits, n * bytes, other))
                return !(shown = true);
            frames.resize(2 * n * bytes);
            uint8_t* to = frames.data();
            for (size_t f = 0; f < n; ++f, to += 2 * bytes) {
                std::memcpy(to, piece.data() + f * bytes, bytes);
                std::memcpy(to + bytes, other.data() + f * bytes, bytes);
            }
            if (!out.Write(frames)) return false;
            done += n;
        }
    }
    const uint64_t dataSize = out.Pos() - dataAt;
    if (dataSize > UINT32_MAX - 1024) {
        ShowMessage("The wave data are too large for a WAV file.");
        return !(shown = true);
    }
    if (!out.U32At(dataAt - 4, static_cast<uint32_t>(dataSize))) return false;
    ByteWriter tail;
    if (dataSize & 1) tail.U8(0);
    RiffWriter w(tail);
    w.Open(FourCC("LIST"), FourCC("INFO"));
    std::string software = Fmt("Talmeru %x", kProgramVersion);
    w.Chunk(FourCC("ISFT"),
            std::span(reinterpret_cast<const uint8_t*>(software.data()), software.size()));
    w.Close();

    ByteWriter s;
    double root = left.RootPitch();
    uint32_t unity = 60, fraction = 0;
    if (root > 0) {
        // A root pitch read from a damaged file may be far outside any key; keep the
        // fields in their range instead of overflowing them.
        double whole = std::min(std::floor(root), 4294967295.0);
        unity = static_cast<uint32_t>(whole);
        double part = std::clamp(root - std::floor(root), 0.0, 1.0);
        fraction = static_cast<uint32_t>(std::min(part * 4294967295.0 + 0.5, 4294967295.0));
    }
    bool looped = left.LoopStart() < left.End();
    s.U32(0);
    s.U32(0);
    s.U32(rate > 0 ? static_cast<uint32_t>(1000000000u / static_cast<uint32_t>(rate)) : 0);
    s.U32(unity);
    s.U32(fraction);
    s.U32(0);
    s.U32(0);
    s.U32(looped ? 1 : 0);
    s.U32(0);
    if (looped) {
        s.U32(0);
        s.U32(0);
        s.U32(static_cast<uint32_t>(left.LoopStart()));
        s.U32(static_cast<uint32_t>(left.End() - 1));  // the loop's last point
        s.U32(0);
        s.U32(0);
    }
    w.Chunk(FourCC("smpl"), s.Data());
    if (!out.Write(tail.Data())) return false;
    const uint64_t riffSize = out.Pos() - start - 8;
    if (!out.U32At(start + 4, static_cast<uint32_t>(riffSize))) return false;
    return (riffSize & 1) == 0 || out.Write(std::array<uint8_t, 1>{});
}

int WriteWav(ByteWriter& out, WaveData& left, WaveData* right) {
    VectorSink sink(out.Data());
    bool shown = false;
    return WriteWav(sink, left, right, shown) ? 0 : 1;
}

}  // namespace talmeru
