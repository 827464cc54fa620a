#include "editors/controls/EnvelopeGraph.h"

#include <algorithm>
#include <cstdlib>

#include "model/Ma1Units.h"
#include "platform/Format.h"
#include "platform/Prompter.h"

namespace talmeru {

namespace {

// An ENV plot is at least one second (50 time steps) wide.
constexpr int64_t kMinEnvTimeSpan = 50;

int64_t DivRound(int64_t a, int64_t b) {
    return a >= 0 ? (a + b / 2) / b : -((-a + b / 2) / b);
}

}  // namespace

bool GraphBox::Overlaps(const GraphBox& o) const {
    return x < o.x + o.width && o.x < x + width && y < o.y + o.height && o.y < y + height;
}

void EnvelopeGraph::Show(EnvModulator* env) {
    Clear();
    kind_ = kModulatorEnvelope;
    env_ = env;
}

void EnvelopeGraph::Show(SampleHeader* header) {
    Clear();
    kind_ = kNaturalEnvelope;
    header_ = header;
}

void EnvelopeGraph::Clear() {
    env_ = nullptr;
    header_ = nullptr;
    hovered_ = selected_ = -1;
    dragging_ = false;
}

void EnvelopeGraph::SetKind(EnvelopeKind kind) {
    if (kind == kind_) return;
    Clear();
    kind_ = kind;
}

bool EnvelopeGraph::Empty() const {
    if (env_) return false;
    return !header_ || header_->envelope.empty();
}

std::vector<EnvelopePoint> EnvelopeGraph::Points() const {
    return PointsWith(ActiveScale());
}

std::vector<EnvelopePoint> EnvelopeGraph::PointsWith(const Scale& s) const {
    std::vector<EnvelopePoint> pts;
    if (env_) {
        pts.push_back({'S', 0, -1, 0, env_->StartLevel()});
        const int attack = env_->AttackCount(), decay = env_->DecayCount();
        int64_t time = 0;
        const auto& segs = env_->Segments();
        for (int i = 0; i < static_cast<int>(segs.size()); ++i) {
            const char letter = i < attack ? 'A' : i < attack + decay ? 'D' : 'R';
            const int first = letter == 'A' ? 0 : letter == 'D' ? attack : attack + decay;
            time += segs[static_cast<size_t>(i)].time;
            pts.push_back({letter, i - first + 1, i, time, segs[static_cast<size_t>(i)].level});
        }
    } else if (header_ && !header_->envelope.empty()) {
        pts.push_back({'S', 0, -1, 0, 0});
        int group = 0, index = 0;
        int64_t time = 0, level = 0;
        const auto& entries = header_->envelope;
        for (int i = 0; i < static_cast<int>(entries.size()); ++i) {
            const EnvelopeEntry& e = entries[static_cast<size_t>(i)];
            const int64_t span = e.duration != 0 ? e.duration : s.nominal;
            time += span;
            level += int64_t{e.slope} * span;
            pts.push_back({"ADR"[std::min(group, 2)], ++index, i, time, level});
            if (e.duration == 0) {
                ++group;
                index = 0;
            }
        }
    }
    return pts;
}

EnvelopeGraph::Scale EnvelopeGraph::CurrentScale() const {
    Scale s;
    if (env_) {
        int64_t total = 0;
        for (const EnvSegment& seg : env_->Segments())
            total += seg.time;
        s.timeSpan = std::max(total, kMinEnvTimeSpan);
    } else if (header_) {
        int64_t total = 0, closing = 0;
        for (const EnvelopeEntry& e : header_->envelope) {
            if (e.duration == 0)
                ++closing;
            else
                total += e.duration;
        }
        s.nominal = std::max<int64_t>(total / 4, 1000);
        s.timeSpan = std::max<int64_t>(total + closing * s.nominal, 1);
        int64_t low = 0, high = 0;
        for (const EnvelopePoint& p : PointsWith(s)) {
            low = std::min(low, p.level);
            high = std::max(high, p.level);
        }
        if (low == high) ++high;
        s.levelLow = low;
        s.levelHigh = high;
    }
    return s;
}

std::string EnvelopeGraph::Label(const EnvelopePoint& p) {
    return Fmt("%c%d", p.letter, p.index);
}

std::string EnvelopeGraph::PointText(int i) const {
    const auto pts = Points();
    if (i < 0 || i >= static_cast<int>(pts.size())) return {};
    const EnvelopePoint& p = pts[static_cast<size_t>(i)];
    const std::string label = Label(p);
    switch (kind_) {
        case kModulatorEnvelope: {
            if (p.item < 0) return Fmt("%s = (%+d)", label.c_str(), env_->StartLevel());
            const EnvSegment& seg = env_->Segments()[static_cast<size_t>(p.item)];
            return Fmt("%s = (+%4.2f s, %+d)", label.c_str(), units::EnvSeconds(seg.time),
                       seg.level);
        }
        case kNaturalEnvelope: {
            if (p.item < 0) return Fmt("%s = (%+d)", label.c_str(), 0);
            const EnvelopeEntry& e = header_->envelope[static_cast<size_t>(p.item)];
            return Fmt("%s = (+%d, r=%+d)", label.c_str(), e.duration, e.slope);
        }
        default:
            ShowMessage(Fmt("buf=%s envtype=%d", label.c_str(), static_cast<int>(kind_)));
            return label;
    }
}

std::string EnvelopeGraph::PointMeaning(int i) const {
    const auto pts = Points();
    if (i < 0 || i >= static_cast<int>(pts.size())) return {};
    const EnvelopePoint& p = pts[static_cast<size_t>(i)];
    if (env_) {
        const double factor = units::EnvLevel(static_cast<int>(p.level));
        if (factor <= 0) return Fmt("level %+.2f, silent through Amp", factor);
        return Fmt("level %+.2f, %+.1f dB through Amp", factor,
                   0.0 - units::kAmpRangeDb * (1.0 - factor));
    }
    if (!header_ || p.item < 0) return {};
    const EnvelopeEntry& e = header_->envelope[static_cast<size_t>(p.item)];
    const double slope = units::NaturalSlopeDbPerSecond(e.slope);
    if (e.duration == 0) return Fmt("%+.1f dB/s until the next phase", slope);
    return Fmt("%.3f s, %+.1f dB/s", Seconds(e.duration), slope);
}

double EnvelopeGraph::Seconds(int64_t time) const {
    if (env_) return units::EnvSeconds(static_cast<int>(time));
    if (header_)
        return static_cast<double>(time) / units::PlaybackFramesPerSecond(60, header_->pitch);
    return 0;
}

std::vector<GraphBox> EnvelopeGraph::LabelBoxes(const std::vector<GraphPixel>& sizes,
                                                const std::vector<GraphBox>& keepClear) const {
    const auto pts = Points();
    std::vector<GraphBox> placed;
    std::vector<GraphBox> taken = keepClear;
    // The point markers themselves stay visible.
    for (const EnvelopePoint& p : pts) {
        const GraphPixel at = Place(p);
        taken.push_back({at.x - 2, at.y - 2, 5, 5});
    }
    for (size_t i = 0; i < pts.size(); ++i) {
        const GraphPixel size = i < sizes.size() ? sizes[i] : GraphPixel{};
        const GraphPixel at = Place(pts[i]);
        GraphBox found{at.x, at.y, 0, 0};
        if (size.x > 0 && size.y > 0) {
            // Nearest first: above or below the point on either side, then a line further
            // away each round, until the control ends both ways.
            const int rounds = height_ / size.y + 1;
            bool done = false;
            for (int round = 0; round <= rounds && !done; ++round) {
                const int up = at.y - 3 - size.y - round * size.y;
                const int down = at.y + 3 + round * size.y;
                for (const int y : {up, down}) {
                    for (const int x : {at.x + 4, at.x - 4 - size.x}) {
                        const GraphBox box{x, y, size.x, size.y};
                        if (x < 0 || y < 0 || x + size.x > width_ || y + size.y > height_) continue;
                        const bool clear =
                            std::none_of(taken.begin(), taken.end(),
                                         [&](const GraphBox& t) { return box.Overlaps(t); });
                        if (!clear) continue;
                        found = box;
                        done = true;
                        break;
                    }
                    if (done) break;
                }
            }
        }
        placed.push_back(found);
        if (found.width > 0) taken.push_back(found);
    }
    return placed;
}

std::vector<TimeTick> EnvelopeGraph::TimeTicks(int minSpacing) const {
    std::vector<TimeTick> ticks;
    if (Empty()) return ticks;
    const Scale s = ActiveScale();
    const double total = Seconds(s.timeSpan);
    if (total <= 0) return ticks;
    const double pixelsPerSecond = PlotWidth() / total;
    // 1, 2, 5 times a power of ten: the first whose marks are far enough apart.
    double step = 0.001;
    for (int i = 0; step * pixelsPerSecond < std::max(minSpacing, 1); ++i)
        step *= (i % 3 == 1) ? 2.5 : 2.0;
    const int decimals = step >= 1 ? 0 : step >= 0.1 ? 1 : step >= 0.01 ? 2 : 3;
    for (int n = 0;; ++n) {
        const double seconds = n * step;
        if (seconds > total * (1 + 1e-9)) break;
        const int x = kSide + static_cast<int>(seconds * pixelsPerSecond + 0.5);
        ticks.push_back({x, seconds, Fmt("%.*f s", decimals, seconds)});
    }
    return ticks;
}

void EnvelopeGraph::SetSize(int width, int height) {
    width_ = width;
    height_ = height;
}

int EnvelopeGraph::PlotWidth() const {
    return std::max(width_ - 2 * kSide, 1);
}

int EnvelopeGraph::PlotHeight() const {
    return std::max(height_ - kTop - kBottom, 1);
}

GraphPixel EnvelopeGraph::PlaceWith(const EnvelopePoint& p, const Scale& s) const {
    const int64_t x = kSide + p.time * PlotWidth() / s.timeSpan;
    const int64_t y = kTop + (s.levelHigh - p.level) * PlotHeight() / (s.levelHigh - s.levelLow);
    return {static_cast<int>(std::clamp<int64_t>(x, -32768, 32767)),
            static_cast<int>(std::clamp<int64_t>(y, -32768, 32767))};
}

GraphPixel EnvelopeGraph::Place(const EnvelopePoint& p) const {
    return PlaceWith(p, ActiveScale());
}

int64_t EnvelopeGraph::TimeAt(int x, const Scale& s) const {
    const int64_t along = std::clamp(x - kSide, 0, PlotWidth());
    return DivRound(along * s.timeSpan, PlotWidth());
}

int64_t EnvelopeGraph::LevelAt(int y, const Scale& s) const {
    const int64_t down = std::clamp(y - kTop, 0, PlotHeight());
    return s.levelHigh - DivRound(down * (s.levelHigh - s.levelLow), PlotHeight());
}

int EnvelopeGraph::HitTest(int x, int y) const {
    const Scale s = ActiveScale();
    const auto pts = PointsWith(s);
    int best = -1, bestDistance = 0;
    for (int i = 0; i < static_cast<int>(pts.size()); ++i) {
        const GraphPixel at = PlaceWith(pts[static_cast<size_t>(i)], s);
        const int dx = std::abs(at.x - x), dy = std::abs(at.y - y);
        if (dx > kHitRadius || dy > kHitRadius) continue;
        // Coinciding points give the later one, which can then be pulled out of the pile.
        if (best < 0 || dx * dx + dy * dy <= bestDistance) {
            best = i;
            bestDistance = dx * dx + dy * dy;
        }
    }
    return best;
}

int EnvelopeGraph::AttackX() const {
    const auto pts = Points();
    return pts.empty() ? kSide : Place(pts.front()).x;
}

int EnvelopeGraph::ReleaseX() const {
    for (const EnvelopePoint& p : Points())
        if (p.letter == 'R') return Place(p).x;
    return -1;
}

int EnvelopeGraph::Valid(int i) const {
    return i >= 0 && i < static_cast<int>(Points().size()) ? i : -1;
}

bool EnvelopeGraph::Hover(int x, int y) {
    const int hit = HitTest(x, y);
    if (hit == hovered_) return false;
    hovered_ = hit;
    return true;
}

void EnvelopeGraph::Press(int x, int y) {
    selected_ = HitTest(x, y);
    dragging_ = false;
    if (selected_ < 0) return;
    frozen_ = CurrentScale();
    const auto pts = PointsWith(frozen_);
    held_ = pts[static_cast<size_t>(selected_)];
    before_ = selected_ > 0 ? pts[static_cast<size_t>(selected_ - 1)] : held_;
    pressX_ = x;
    pressY_ = y;
    dragging_ = true;
}

bool EnvelopeGraph::Drag(int x, int y) {
    if (!dragging_) return false;
    const int dx = x - pressX_, dy = y - pressY_;
    const GraphPixel from = PlaceWith(held_, frozen_);
    // An axis the pointer has not left keeps its value: pixels map back to values only
    // approximately.
    const int64_t time = TimeAt(from.x + dx, frozen_) - before_.time;
    const int64_t level = LevelAt(from.y + dy, frozen_);
    if (env_) {
        if (held_.item < 0) {
            const int start =
                dy == 0 ? env_->StartLevel() : int(std::clamp<int64_t>(level, -127, 127));
            if (start == env_->StartLevel()) return false;
            env_->SetStartLevel(start);
            return true;
        }
        // The groups may have been resized meanwhile.
        if (held_.item >= static_cast<int>(env_->Segments().size())) return false;
        const EnvSegment old = env_->Segments()[static_cast<size_t>(held_.item)];
        const int newTime = dx == 0 ? old.time : int(std::clamp<int64_t>(time, 0, 255));
        const int newLevel = dy == 0 ? old.level : int(std::clamp<int64_t>(level, -127, 127));
        if (newTime == old.time && newLevel == old.level) return false;
        env_->SetSegment(held_.item, newLevel, newTime);
        return true;
    }
    if (!header_ || held_.item < 0 || held_.item >= static_cast<int>(header_->envelope.size()))
        return false;
    EnvelopeEntry& e = header_->envelope[static_cast<size_t>(held_.item)];
    // A group's closing entry keeps its zero duration, and no other entry may take one.
    const bool closing = e.duration == 0;
    const int duration = closing || dx == 0 ? e.duration : int(std::clamp<int64_t>(time, 1, 65535));
    const int64_t span = closing ? frozen_.nominal : duration;
    const int slope =
        dy == 0 ? e.slope
                : int(std::clamp<int64_t>(DivRound(level - before_.level, span), -32768, 32767));
    if (duration == e.duration && slope == e.slope) return false;
    e.duration = duration;
    e.slope = slope;
    return true;
}

}  // namespace talmeru
