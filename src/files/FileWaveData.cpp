#include "files/FileWaveData.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <system_error>

#include "files/SampleStream.h"
#include "platform/Format.h"
#include "platform/PathText.h"
#include "platform/Prompter.h"
#include "platform/Riff.h"

namespace talmeru {

namespace fs = std::filesystem;

namespace {
std::mutex g_searchMutex;
std::string g_searchDir;

bool IsFile(const fs::path& p) {
    std::error_code ec;
    return !p.empty() && fs::is_regular_file(p, ec);
}

bool IsFile(const std::string& utf8) {
    return IsFile(PathFromUtf8(utf8));
}

// The file `name` in dir; banks made on Windows name files in any case, so a name that
// differs only in case is taken when there is no exact one.
std::string FindIn(const std::string& folder, const std::string& name) {
    if (name.empty()) return {};
    const fs::path dir = PathFromUtf8(folder);
    fs::path exact = dir.empty() ? PathFromUtf8(name) : dir / PathFromUtf8(name);
    if (IsFile(exact)) return Utf8FromPath(exact);
    std::error_code ec;
    fs::directory_iterator it(dir.empty() ? fs::path(".") : dir, ec);
    if (ec) return {};
    for (const auto& e : it)
        if (EqualsNoCase(Utf8FromPath(e.path().filename()), name) && IsFile(e.path()))
            return Utf8FromPath(dir.empty() ? e.path().filename() : e.path());
    return {};
}
}  // namespace

std::string WaveSearchDirectory() {
    std::lock_guard lock(g_searchMutex);
    return g_searchDir;
}

void SetWaveSearchDirectory(const std::string& dir) {
    std::lock_guard lock(g_searchMutex);
    g_searchDir = dir;
}

bool FileWaveData::Equals(const WaveData& other) const {
    if (!WaveData::Equals(other)) return false;
    if (Kind() != kWaveMa1 && Kind() != kWaveCtmb) return true;
    const auto& o = static_cast<const FileWaveData&>(other);
    return fileOffset == o.fileOffset && dataSize == o.dataSize;
}

int FileWaveData::CheckSource() {
    if (loaded) return 0;
    if (!valid || formatTag == -1) return 1;
    if (!FileSource(path).Ok()) {
        ShowMessage(Fmt("Failed to open sample file \"%s\".\n", path.c_str()));
        return 1;
    }
    return 0;
}

bool FileWaveData::Locate(const std::string& wanted, bool quiet) {
    std::string name = FileNameOf(wanted);
    std::string searchDir = WaveSearchDirectory();
    std::string found = IsFile(wanted) ? wanted : std::string();
    if (found.empty() && name.size() < wanted.size())
        found = FindIn(wanted.substr(0, wanted.size() - name.size()), name);
    if (found.empty()) {
        found = FindIn({}, name);
        if (!found.empty()) found = Utf8FromPath(fs::path(".") / PathFromUtf8(found));
    }
    if (found.empty() && !searchDir.empty()) found = FindIn(searchDir, name);
    // A file of the same name found elsewhere plays from now on, and a save records it: the
    // reader of the bank says so.
    foundInstead = found == wanted ? std::string() : found;
    if (found.empty() && !quiet &&
        AskYesNo(
            Fmt("\"%s\" could not be found. Would you like to try to find it?", wanted.c_str()))) {
        auto picked = CurrentPrompter().LocateFile(
            Fmt("Locate %s", name.c_str()), "Sample files (*.wav *.krz *.k25 *.sf2 *.sf3)", wanted);
        if (picked && IsFile(*picked)) {
            found = *picked;
            SetWaveSearchDirectory(Utf8FromPath(fs::absolute(PathFromUtf8(found)).parent_path()));
        }
    }
    path = wantedPath = wanted;
    valid = !found.empty();
    if (valid) {
        std::error_code ec;
        fs::path abs = fs::absolute(PathFromUtf8(found), ec);
        path = ec ? found : Utf8FromPath(abs.lexically_normal());
    }
    return valid;
}

void FileWaveData::AddFullSampleRegion() {
    regions.insert(regions.begin(), {"Full Sample", sampleStart, loopStart, end});
}

Ma1WaveData::Ma1WaveData(const std::string& p, int baseNumber, uint64_t offset, uint64_t size,
                         bool quiet) {
    base = baseNumber;
    fileOffset = offset;
    dataSize = size;
    if (!Locate(p, quiet)) return;
    bitsSource = bitsHeld = 16;
    sampleRate = 44100;
    length = static_cast<int32_t>(std::min<uint64_t>(size, INT32_MAX));
    loopStart = end = length / 2;
    AddFullSampleRegion();
}

std::unique_ptr<WaveData> Ma1WaveData::Clone() const {
    return std::make_unique<Ma1WaveData>(*this);
}

int FileWaveData::ReadRawData() {
    FileSource src(path);
    if (!src.Ok()) {
        ShowMessage(Fmt("Failed to open sample file \"%s\".\n", path.c_str()));
        return 1;
    }
    data.resize(static_cast<size_t>(std::max(length, 0)));
    if (src.ReadAt(fileOffset, data.data(), data.size()) != data.size()) {
        ReleaseData();
        ShowMessage(Fmt("Failed to read sample data from \"%s\".", path.c_str()));
        return 1;
    }
    return 0;
}

namespace {
class RawReader : public WaveDataReader {
  public:
    RawReader(std::unique_ptr<FileSource> src, std::string path, uint64_t offset, uint64_t size,
              bool swapPairs)
        : src_(std::move(src)),
          path_(std::move(path)),
          at_(offset),
          end_(offset + size),
          size_(size),
          swap_(swapPairs) {}
    uint64_t Size() const override { return size_; }
    int Read(std::span<uint8_t> out) override {
        if (out.size() > end_ - at_) return Failed();
        if (!swap_) {
            if (src_->ReadAt(at_, out.data(), out.size()) != out.size()) return Failed();
        } else {
            // Pairs are counted from the data's start, so a piece may begin or end inside
            // one: the whole pairs around it are read (an odd last byte stays as it is).
            const uint64_t rel = at_ - (end_ - size_);
            const uint64_t from = rel & ~uint64_t{1};
            const uint64_t to = std::min(size_, (rel + out.size() + 1) & ~uint64_t{1});
            pairs_.resize(size_t(to - from));
            if (src_->ReadAt(end_ - size_ + from, pairs_.data(), pairs_.size()) != pairs_.size())
                return Failed();
            for (size_t k = 0; k < out.size(); ++k) {
                const uint64_t q = rel + k;
                const uint64_t partner = (q ^ 1) < size_ ? q ^ 1 : q;
                out[k] = pairs_[size_t(partner - from)];
            }
        }
        at_ += out.size();
        return 0;
    }

  private:
    int Failed() {
        ShowMessage(Fmt("Failed to read sample data from \"%s\".", path_.c_str()));
        return 1;
    }
    std::unique_ptr<FileSource> src_;
    std::string path_;
    uint64_t at_, end_, size_;
    bool swap_;
    std::vector<uint8_t> pairs_;
};

// Decodes the stream a block at a time through a window of the file, so that every block the
// file holds whole is whole in the window.
class StreamReader : public WaveDataReader {
  public:
    StreamReader(std::unique_ptr<FileSource> src, uint64_t offset, uint64_t bytes, uint32_t samples)
        : src_(std::move(src)), at_(offset), end_(offset + bytes), samples_(samples) {}
    uint64_t Size() const override { return uint64_t{samples_} * 2; }
    int Read(std::span<uint8_t> out) override {
        size_t done = 0;
        while (done < out.size()) {
            if (pcmAt_ == pcmEnd_ && NextBlock() != 0) return 1;
            const size_t take = std::min(out.size() - done, pcmEnd_ - pcmAt_);
            std::memcpy(out.data() + done, pcm_.data() + pcmAt_, take);
            pcmAt_ += take;
            done += take;
        }
        return 0;
    }

  private:
    static constexpr size_t kWindow = size_t(1) << 20;
    static constexpr size_t kWholeBlock = kBlockHeaderSize + kMaxCodedBytes;

    int NextBlock() {
        if (decoded_ >= samples_) return 1;
        const uint32_t count = std::min(kStreamBlockSamples, samples_ - decoded_);
        pcmAt_ = 0;
        pcmEnd_ = size_t{count} * 2;
        decoded_ += count;
        // A stream that ends early plays silence for the rest, as when it is loaded whole.
        if (ended_) {
            std::memset(pcm_.data(), 0, pcmEnd_);
            return 0;
        }
        if (window_.size() - pos_ < kWholeBlock && at_ < end_) {
            window_.erase(window_.begin(), window_.begin() + std::ptrdiff_t(pos_));
            pos_ = 0;
            const size_t have = window_.size();
            const size_t want = size_t(std::min<uint64_t>(kWindow, end_ - at_));
            window_.resize(have + want);
            const size_t got = src_->ReadAt(at_, window_.data() + have, want);
            window_.resize(have + got);
            at_ = got == want ? at_ + got : end_;
        }
        size_t used = 0;
        const char* error =
            decoder_.Decode(std::span(window_).subspan(pos_), count, pcm_.data(), used);
        if (error) {
            ShowMessage(error);
            return 1;
        }
        if (used == 0) {
            ended_ = true;
            std::memset(pcm_.data(), 0, pcmEnd_);
        }
        pos_ += used;
        return 0;
    }

    std::unique_ptr<FileSource> src_;
    uint64_t at_, end_;
    uint32_t samples_;
    uint32_t decoded_ = 0;
    bool ended_ = false;
    BlockDecoder decoder_;
    std::vector<uint8_t> window_;
    size_t pos_ = 0;
    std::array<uint8_t, 2 * kStreamBlockSamples> pcm_{};
    size_t pcmAt_ = 0, pcmEnd_ = 0;
};
}  // namespace

std::unique_ptr<WaveDataReader> FileWaveData::OpenRawReader(bool swapPairs) {
    auto src = std::make_unique<FileSource>(path);
    if (!src->Ok()) {
        ShowMessage(Fmt("Failed to open sample file \"%s\".\n", path.c_str()));
        return nullptr;
    }
    return std::make_unique<RawReader>(std::move(src), path, fileOffset,
                                       uint64_t(std::max(length, 0)), swapPairs);
}

std::unique_ptr<WaveDataReader> Ma1WaveData::OpenReader() {
    if (loaded) return WaveData::OpenReader();
    return OpenRawReader(false);
}

int Ma1WaveData::LoadData() {
    if (loaded) return 0;
    if (ReadRawData() != 0) return 1;
    loaded = true;
    return 0;
}

CtmbWaveData::CtmbWaveData(const std::string& p, int baseNumber, uint64_t offset, bool quiet) {
    base = baseNumber;
    fileOffset = offset;
    if (!Locate(p, quiet)) return;
    bitsSource = bitsHeld = 16;
    sampleRate = 44100;
    uint8_t head[kStreamHeaderSize];
    FileSource src(path);
    auto h = src.Ok() && src.ReadAt(offset, head, sizeof head) == sizeof head
                 ? ReadStreamHeader(head)
                 : std::nullopt;
    if (!h || h->samples > INT32_MAX / 2) {
        ShowMessage(Fmt("Compressed sample data in \"%s\" is corrupt.", path.c_str()));
        valid = false;
        return;
    }
    dataSize = h->totalSize;
    length = static_cast<int32_t>(h->samples) * 2;
    loopStart = end = static_cast<int32_t>(h->samples);
    AddFullSampleRegion();
}

std::unique_ptr<WaveData> CtmbWaveData::Clone() const {
    return std::make_unique<CtmbWaveData>(*this);
}

int CtmbWaveData::LoadData() {
    if (loaded) return 0;
    FileSource src(path);
    if (!src.Ok()) {
        ShowMessage(Fmt("Failed to open sample file \"%s\".\n", path.c_str()));
        return 1;
    }
    if (dataSize > src.Size()) {
        ShowMessage(Fmt("Compressed sample data in \"%s\" is corrupt.", path.c_str()));
        return 1;
    }
    std::vector<uint8_t> stream(static_cast<size_t>(dataSize));
    stream.resize(src.ReadAt(fileOffset, stream.data(), stream.size()));
    std::string error = DecompressSamples(stream, data);
    if (!error.empty()) {
        ReleaseData();
        ShowMessage(error);
        return 1;
    }
    loaded = true;
    return 0;
}

std::unique_ptr<WaveDataReader> CtmbWaveData::OpenReader() {
    if (loaded) return WaveData::OpenReader();
    auto src = std::make_unique<FileSource>(path);
    if (!src->Ok()) {
        ShowMessage(Fmt("Failed to open sample file \"%s\".\n", path.c_str()));
        return nullptr;
    }
    if (dataSize > src->Size()) {
        ShowMessage(Fmt("Compressed sample data in \"%s\" is corrupt.", path.c_str()));
        return nullptr;
    }
    // The checks of a whole stream's decoding, on the part of it that the file holds.
    const uint64_t held = std::min(dataSize, src->Size() - std::min(fileOffset, src->Size()));
    const uint32_t samples = uint32_t(std::max(length, 0) / 2);
    if (held < kStreamHeaderSize) {
        ShowMessage("Compressed sample stream is too short.");
        return nullptr;
    }
    if (uint64_t{samples} > (held - kStreamHeaderSize) * 64 + 2) {
        ShowMessage("Compressed sample stream is corrupt.");
        return nullptr;
    }
    return std::make_unique<StreamReader>(std::move(src), fileOffset + kStreamHeaderSize,
                                          held - kStreamHeaderSize, samples);
}

int CtmbWaveData::ReadData(std::span<uint8_t> out) {
    FileSource src(path);
    if (!src.Ok()) {
        ShowMessage(Fmt("Failed to open sample file \"%s\".\n", path.c_str()));
        return 1;
    }
    if (dataSize > src.Size() || out.size() != size_t(std::max(length, 0))) {
        ShowMessage(Fmt("Compressed sample data in \"%s\" is corrupt.", path.c_str()));
        return 1;
    }
    // The blocks are independent: whole blocks are gathered behind a stream header of their
    // own and decoded as a small stream. A block that cannot be taken (wrong id, too long,
    // cut short) ends the batch, and decoding it says why, as for the whole stream.
    constexpr size_t kBlockHead = 20;  // id, coded size, samples, k, warm-up count, 2 samples
    constexpr size_t kBatchBytes = size_t(1) << 20;
    const uint64_t streamEnd = fileOffset + dataSize;
    uint64_t at = fileOffset + kStreamHeaderSize;
    size_t written = 0;
    std::vector<uint8_t> batch;
    std::vector<uint8_t> pcm;
    bool more = true;
    while (more && written < out.size()) {
        batch.assign(kStreamHeaderSize, 0);
        uint32_t blocks = 0;
        uint32_t samples = 0;
        while (batch.size() < kBatchBytes && at < streamEnd) {
            uint8_t h[kBlockHead];
            const size_t got = src.ReadAt(at, h, sizeof h);
            const uint32_t coded = uint32_t(h[4] | h[5] << 8 | h[6] << 16 | uint32_t(h[7]) << 24);
            const uint32_t n = uint32_t(h[8] | h[9] << 8 | h[10] << 16 | uint32_t(h[11]) << 24);
            const size_t bytes = kBlockHead + coded;
            const bool whole = got == sizeof h && std::equal(h, h + 4, "CBLK") &&
                               coded <= kMaxCodedBytes && n >= 1 && n <= kStreamBlockSamples;
            const size_t pos = batch.size();
            batch.resize(pos + (whole ? bytes : got));
            if (!whole || src.ReadAt(at, batch.data() + pos, bytes) != bytes) {
                if (whole) batch.resize(pos + got);
                more = false;
                ++blocks;
                break;
            }
            at += bytes;
            ++blocks;
            samples += n;
        }
        if (blocks == 0) break;
        auto put32 = [&](size_t offset, uint64_t v) {
            for (int i = 0; i < 4; ++i)
                batch[offset + size_t(i)] = uint8_t(v >> (8 * i));
        };
        put32(4, batch.size() - 8);
        put32(8, blocks);
        put32(12, more ? samples : samples + kStreamBlockSamples);
        if (std::string error = DecompressSamples(batch, pcm); !error.empty()) {
            ShowMessage(error);
            return 1;
        }
        const size_t take = std::min(pcm.size(), out.size() - written);
        std::copy_n(pcm.begin(), take, out.begin() + std::ptrdiff_t(written));
        written += take;
    }
    // A stream that ends early plays silence for the rest, as when it is loaded whole.
    std::fill(out.begin() + std::ptrdiff_t(written), out.end(), uint8_t(0));
    return 0;
}

}  // namespace talmeru
