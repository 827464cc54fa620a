#include "editors/controls/RangeTrack.h"

#include <algorithm>
#include <utility>

#include "platform/Format.h"

namespace talmeru {

void RangeTrack::SetRange(int minimum, int maximum) {
    if (minimum > maximum) std::swap(minimum, maximum);
    minimum_ = minimum;
    maximum_ = maximum;
    thumbWidth_ = Span() >= 1000 ? 40 : 30;
}

void RangeTrack::SetValues(int first, int second) {
    first_ = first;
    second_ = second;
}

void RangeTrack::SetSteps(int line, int page) {
    line_ = line;
    page_ = page;
}

void RangeTrack::SetFloatDisplay(double floatMinimum, double floatMaximum) {
    floatDisplay_ = true;
    floatMinimum_ = floatMinimum;
    floatMaximum_ = floatMaximum;
}

void RangeTrack::SetSize(int width, int height) {
    width_ = width;
    height_ = height;
}

int64_t RangeTrack::Usable() const {
    // A control narrower than its thumbs has no track; values then stay where they are
    // instead of being divided by a width of zero.
    return std::max(TrackWidth(), 1);
}

int RangeTrack::ClampPosition(int position) const {
    return std::clamp(position, thumbWidth_, thumbWidth_ + std::max(TrackWidth(), 0));
}

int RangeTrack::PositionOf(int value) const {
    const int64_t offset = (int64_t{value} - minimum_) * TrackWidth() / Span();
    // Values outside the range (from a damaged field) are drawn at the track's ends.
    return ClampPosition(
        static_cast<int>(std::clamp<int64_t>(thumbWidth_ + offset, INT32_MIN / 2, INT32_MAX / 2)));
}

int RangeTrack::ValueAt(int position) const {
    return static_cast<int>(minimum_ + (int64_t{position} - thumbWidth_) * Span() / Usable());
}

int RangeTrack::FirstX() const {
    return Span() == 0 ? thumbWidth_ : PositionOf(first_);
}

int RangeTrack::SecondX() const {
    return Span() == 0 ? TrackWidth() - thumbWidth_ : PositionOf(second_);
}

ThumbRect RangeTrack::FirstThumb() const {
    const int x = FirstX();
    return {x - thumbWidth_, kMargin, x, height_ - kMargin};
}

ThumbRect RangeTrack::SecondThumb() const {
    const int x = SecondX();
    return {x, kMargin, x + thumbWidth_, height_ - kMargin};
}

std::string RangeTrack::ValueText(int value) const {
    if (!floatDisplay_) return Fmt("%d", value);
    const double shown = Span() == 0 ? floatMinimum_
                                     : (floatMaximum_ - floatMinimum_) *
                                               (double(value) - minimum_) / double(Span()) +
                                           floatMinimum_;
    return Fmt("%5.2lf", shown);
}

void RangeTrack::Press(int x) {
    pressX_ = x;
    pressX1_ = FirstX();
    pressX2_ = SecondX();
    pressFirst_ = first_;
    pressSecond_ = second_;
    holdSecond_ = thumbs_ == 2 && x > (pressX1_ + pressX2_) / 2;
    dragging_ = true;
    moved_ = false;
}

void RangeTrack::RaiseSecond(std::vector<RangeNotice>& out) {
    if (thumbs_ != 2 || second_ >= first_) return;
    second_ = first_;
    out.push_back({kRangeSecondChanged, second_});
}

void RangeTrack::LowerFirst(std::vector<RangeNotice>& out) {
    if (second_ >= first_) return;
    first_ = second_;
    out.push_back({kRangeFirstChanged, first_});
}

std::vector<RangeNotice> RangeTrack::Move(int x, bool leftButton, bool shift) {
    if (!dragging_) return {};
    moved_ = true;
    if (!leftButton) return Release();
    std::vector<RangeNotice> out;
    int delta = x - pressX_;
    // A thumb back at its place at the press keeps its value: mapping the pixel back would
    // round it down whenever the track has fewer pixels than values.
    auto valueAt = [&](int position, int pressPosition, int pressValue) {
        return position == pressPosition ? pressValue : ValueAt(position);
    };
    if (shift && thumbs_ == 2) {
        // The pair stops as a whole at either end of the track.
        const int lowest = thumbWidth_ - pressX1_;
        const int highest = thumbWidth_ + std::max(TrackWidth(), 0) - pressX2_;
        delta = std::max(lowest, std::min(delta, highest));
        const int first = valueAt(pressX1_ + delta, pressX1_, pressFirst_);
        const int second = valueAt(pressX2_ + delta, pressX2_, pressSecond_);
        if (first != first_) out.push_back({kRangeFirstChanged, first_ = first});
        if (second != second_) out.push_back({kRangeSecondChanged, second_ = second});
        return out;
    }
    if (holdSecond_) {
        const int second = valueAt(ClampPosition(pressX2_ + delta), pressX2_, pressSecond_);
        if (second != second_) out.push_back({kRangeSecondChanged, second_ = second});
        LowerFirst(out);
    } else {
        const int first = valueAt(ClampPosition(pressX1_ + delta), pressX1_, pressFirst_);
        if (first != first_) out.push_back({kRangeFirstChanged, first_ = first});
        RaiseSecond(out);
    }
    return out;
}

std::vector<RangeNotice> RangeTrack::Release() {
    if (!dragging_) return {};
    std::vector<RangeNotice> out;
    if (!moved_) {
        if (holdSecond_) {
            // Right of the thumb's centre raises, left of it lowers; a click beyond a thumb
            // at the end of the track leaves the value alone.
            const bool right = pressX_ > pressX2_ + thumbWidth_ / 2;
            int second = second_;
            if (right && second < maximum_)
                ++second;
            else if (!right && second > minimum_)
                --second;
            if (second != second_) {
                out.push_back({kRangeSecondChanged, second_ = second});
                LowerFirst(out);
            }
        } else if (pressX_ > pressX1_ && first_ < maximum_) {
            StepFirst(1, out);
        } else if (pressX_ < pressX1_ - thumbWidth_ && first_ > minimum_) {
            StepFirst(-1, out);
        }
    }
    dragging_ = false;
    moved_ = false;
    return out;
}

void RangeTrack::StepFirst(int delta, std::vector<RangeNotice>& out) {
    const int first =
        static_cast<int>(std::clamp<int64_t>(int64_t{first_} + delta, minimum_, maximum_));
    if (first == first_) return;
    out.push_back({kRangeFirstChanged, first_ = first});
    RaiseSecond(out);
}

std::vector<RangeNotice> RangeTrack::Key(RangeKey key) {
    std::vector<RangeNotice> out;
    switch (key) {
        case RangeKey::kPageUp:
            StepFirst(PageStep(), out);
            break;
        case RangeKey::kPageDown:
            StepFirst(-PageStep(), out);
            break;
        case RangeKey::kUp:
        case RangeKey::kRight:
            StepFirst(line_, out);
            break;
        case RangeKey::kDown:
        case RangeKey::kLeft:
            StepFirst(-line_, out);
            break;
    }
    return out;
}

std::array<RestoreItem, 2> RangeTrack::RestoreItems() const {
    return {{{Fmt("Restore Original %+d", original_), original_, first_ != original_},
             {Fmt("Restore Default %+d", default_), default_, first_ != default_}}};
}

std::vector<RangeNotice> RangeTrack::Restore(int value) {
    // A restored value outside the track (an owner that never set one) stops at its end.
    value = std::clamp(value, minimum_, maximum_);
    std::vector<RangeNotice> out{{kRangeFirstChanged, first_ = value}};
    // The high value stays unless the restored low value passed it.
    RaiseSecond(out);
    return out;
}

}  // namespace talmeru
