#include "editors/sample/WavePeaks.h"

#include <algorithm>
#include <cmath>

#include "model/WaveData.h"

namespace talmeru {

namespace {

WavePeak Merge(WavePeak a, WavePeak b) {
    return {std::min(a.min, b.min), std::max(a.max, b.max)};
}

// Beyond this many cached wave data the oldest reads are dropped; a sample view rarely looks
// at more than a pair at a time.
constexpr size_t kCacheEntries = 8;

}  // namespace

std::vector<int16_t> WavePeaks::Decode(std::span<const uint8_t> data, int bytesPerFrame) {
    std::vector<int16_t> out;
    if (bytesPerFrame == 1) {
        out.resize(data.size());
        for (size_t i = 0; i < data.size(); ++i)
            out[i] = static_cast<int16_t>(static_cast<int8_t>(data[i]) * 256);
    } else {
        out.resize(data.size() / 2);
        for (size_t i = 0; i < out.size(); ++i)
            out[i] = static_cast<int16_t>(data[2 * i] | data[2 * i + 1] << 8);
    }
    return out;
}

WavePeaks::WavePeaks(std::vector<int16_t> frames) : frames_(std::move(frames)) {
    const size_t n = frames_.size();
    if (n == 0) return;
    std::vector<WavePeak> first((n + kFirstBlock - 1) / kFirstBlock);
    for (size_t b = 0; b < first.size(); ++b) {
        const size_t from = b * kFirstBlock;
        const size_t to = std::min(n, from + kFirstBlock);
        int16_t lo = frames_[from], hi = frames_[from];
        for (size_t i = from + 1; i < to; ++i) {
            lo = std::min(lo, frames_[i]);
            hi = std::max(hi, frames_[i]);
        }
        first[b] = {lo, hi};
    }
    levels_.push_back(std::move(first));
    while (levels_.back().size() > 1) {
        const std::vector<WavePeak>& below = levels_.back();
        std::vector<WavePeak> level((below.size() + kBlockGrowth - 1) / kBlockGrowth);
        for (size_t b = 0; b < level.size(); ++b) {
            const size_t from = b * kBlockGrowth;
            const size_t to = std::min(below.size(), from + kBlockGrowth);
            WavePeak p = below[from];
            for (size_t i = from + 1; i < to; ++i)
                p = Merge(p, below[i]);
            level[b] = p;
        }
        levels_.push_back(std::move(level));
    }
}

WavePeak WavePeaks::Raw(int64_t from, int64_t to) const {
    WavePeak p{frames_[size_t(from)], frames_[size_t(from)]};
    for (int64_t i = from + 1; i < to; ++i) {
        p.min = std::min(p.min, frames_[size_t(i)]);
        p.max = std::max(p.max, frames_[size_t(i)]);
    }
    return p;
}

std::vector<WavePeak> WavePeaks::Columns(double from, double to, int columns) const {
    std::vector<WavePeak> out(static_cast<size_t>(std::max(columns, 0)));
    if (columns <= 0 || !(to > from) || frames_.empty()) return out;
    const double perColumn = (to - from) / columns;
    // The coarsest level with at least two blocks per column keeps the widening small.
    int level = -1;
    int64_t block = 1;
    while (level + 1 < Levels() &&
           block * (level < 0 ? kFirstBlock : kBlockGrowth) * 2 <= perColumn) {
        block *= level < 0 ? kFirstBlock : kBlockGrowth;
        ++level;
    }
    const int64_t n = Frames();
    for (int c = 0; c < columns; ++c) {
        const double a = from + perColumn * c;
        const double b = from + perColumn * (c + 1);
        int64_t first = std::max<int64_t>(0, static_cast<int64_t>(std::floor(a)));
        int64_t last = std::min<int64_t>(n, static_cast<int64_t>(std::ceil(b)));
        if (last <= first) {
            // Zoomed in past one frame per column: the frame under the column.
            if (first >= n || b <= 0) continue;
            last = first + 1;
        }
        if (level < 0) {
            out[size_t(c)] = Raw(first, last);
            continue;
        }
        const std::vector<WavePeak>& peaks = levels_[size_t(level)];
        const size_t i0 = static_cast<size_t>(first / block);
        const size_t i1 = std::min(peaks.size(), static_cast<size_t>((last + block - 1) / block));
        WavePeak p = peaks[i0];
        for (size_t i = i0 + 1; i < i1; ++i)
            p = Merge(p, peaks[i]);
        out[size_t(c)] = p;
    }
    return out;
}

std::shared_ptr<const WavePeaks> WavePeakCache::Get(WaveData& wave) {
    if (wave.IsRom() || !wave.valid) return nullptr;
    const Key key{&wave, wave.path, wave.channel, wave.Length()};
    if (auto it = entries_.find(key); it != entries_.end()) return it->second;
    std::shared_ptr<const WavePeaks> made;
    const bool wasLoaded = wave.loaded;
    if (wave.LoadData() == 0) {
        made = std::make_shared<WavePeaks>(WavePeaks::Decode(wave.data, wave.BytesPerFrame()));
        // The data was read for the view only: the decoded copy is all it needs.
        if (!wasLoaded) wave.ReleaseData();
    }
    if (entries_.size() >= kCacheEntries) entries_.clear();
    entries_[key] = made;
    return made;
}

}  // namespace talmeru
