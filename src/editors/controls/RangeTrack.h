#pragma once
// The range selector's logic without a window: its values, the thumbs' places on the track,
// and what a press, drag, click, key or restore does to the values, reported as the
// notifications the owner receives.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace talmeru {

// Notification codes: the first (low) value or the second (high) value changed.
inline constexpr int kRangeFirstChanged = 4096;
inline constexpr int kRangeSecondChanged = 4097;

struct RangeNotice {
    int code = kRangeFirstChanged;
    int value = 0;
    bool operator==(const RangeNotice&) const = default;
};

struct ThumbRect {
    int left = 0;
    int top = 0;
    int right = 0;   // exclusive
    int bottom = 0;  // exclusive
};

enum class RangeKey { kPageUp, kPageDown, kUp, kDown, kLeft, kRight };

struct RestoreItem {
    std::string text;
    int value = 0;
    bool enabled = false;
};

class RangeTrack {
  public:
    static constexpr int kMargin = 1;

    // Also picks the thumb width: 40 pixels from a span of 1000 up, else 30.
    void SetRange(int minimum, int maximum);
    void SetValues(int first, int second);
    void SetSingleThumb(bool single) { thumbs_ = single ? 1 : 2; }
    // A page step of 0 means the line step.
    void SetSteps(int line, int page);
    void SetOriginal(int v) { original_ = v; }
    void SetDefault(int v) { default_ = v; }
    void SetFloatDisplay(double floatMinimum, double floatMaximum);
    void ClearFloatDisplay() { floatDisplay_ = false; }
    void SetSize(int width, int height);

    int Minimum() const { return minimum_; }
    int Maximum() const { return maximum_; }
    int64_t Span() const { return int64_t{maximum_} - minimum_; }
    int First() const { return first_; }
    int Second() const { return second_; }
    int Thumbs() const { return thumbs_; }
    int LineStep() const { return line_; }
    int PageStep() const { return page_ != 0 ? page_ : line_; }
    int Original() const { return original_; }
    int Default() const { return default_; }
    bool FloatDisplay() const { return floatDisplay_; }
    int ThumbWidth() const { return thumbWidth_; }
    // Client width minus one thumb width per thumb.
    int TrackWidth() const { return width_ - thumbWidth_ * thumbs_; }
    // The first thumb lies left of FirstX, the second right of SecondX.
    int FirstX() const;
    int SecondX() const;
    ThumbRect FirstThumb() const;
    ThumbRect SecondThumb() const;
    // "%d", or the value mapped onto the float range as "%5.2lf".
    std::string ValueText(int value) const;

    bool Dragging() const { return dragging_; }
    bool HoldingSecond() const { return holdSecond_; }

    // Mouse: the press picks the thumb; a move drags it (with shift, both thumbs); a release
    // without movement is a click that steps the held thumb by one.
    void Press(int x);
    std::vector<RangeNotice> Move(int x, bool leftButton, bool shift);
    std::vector<RangeNotice> Release();
    std::vector<RangeNotice> Key(RangeKey key);

    // The context menu's "Restore Original %+d" and "Restore Default %+d".
    std::array<RestoreItem, 2> RestoreItems() const;
    std::vector<RangeNotice> Restore(int value);

  private:
    int64_t Usable() const;
    int PositionOf(int value) const;
    int ValueAt(int position) const;
    int ClampPosition(int position) const;
    // With two thumbs the high value never stays below the low one.
    void RaiseSecond(std::vector<RangeNotice>& out);
    void LowerFirst(std::vector<RangeNotice>& out);
    void StepFirst(int delta, std::vector<RangeNotice>& out);

    int thumbs_ = 2;
    int minimum_ = 0;
    int maximum_ = 100;
    int first_ = 0;
    int second_ = 100;
    int line_ = 1;
    int page_ = 1;
    int original_ = 0;
    int default_ = 0;
    bool floatDisplay_ = false;
    double floatMinimum_ = -1.0;
    double floatMaximum_ = 1.0;
    int thumbWidth_ = 30;
    int width_ = 0;
    int height_ = 0;

    bool dragging_ = false;
    bool moved_ = false;
    bool holdSecond_ = false;
    int pressX_ = 0;
    int pressX1_ = 0;
    int pressX2_ = 0;
    int pressFirst_ = 0;
    int pressSecond_ = 0;
};

}  // namespace talmeru
