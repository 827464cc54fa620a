#pragma once
// What the key matrix shows and how it reads the mouse, without the window: the visible key
// window that all matrices share, the ranges of the shown keymap, the colours of each cell,
// where the sample labels go, and the drag that marks a span of keys.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "model/NoteNames.h"

namespace talmeru {

class Keymap;
class Layer;
class SampleHeader;
class ZedoDatabase;

inline constexpr int kKeyWidth = 8;
inline constexpr int kMinBandHeight = 8;
inline constexpr int kAutoScrollTimerId = 1638;
inline constexpr int kAutoScrollPeriodMs = 150;
inline constexpr int kLabelRows = 10;

// Colours as 0x00BBGGRR.
inline constexpr uint32_t kBandEven = 0xFF00FF;
inline constexpr uint32_t kBandOdd = 0x00FFFF;
inline constexpr uint32_t kBandEmpty = 0xFFFFFF;
inline constexpr uint32_t kWhiteKey = 0xFFFFFF;
inline constexpr uint32_t kBlackKey = 0xC0C0C0;
inline constexpr uint32_t kDragKey = 0x00FF00;
inline constexpr uint32_t kDragKeySounding = 0xFF0000;
inline constexpr uint32_t kKeySounding = 0xFFFF00;
inline constexpr uint32_t kKeyIdle = 0xFFFFFF;
inline constexpr uint32_t kLeaderLine = 0x7F7F7F;

// The keys every matrix shows; all rows scroll together.
struct KeyWindow {
    int start = 24;
    int count = 0;  // visible keys
    int End() const { return start + count - 1; }
    // The highest start that still shows key 127.
    int LastStart() const { return count >= 128 ? 0 : 128 - count; }
    void Clamp();
    void SetStart(int s) {
        start = s;
        Clamp();
    }
};
KeyWindow& SharedKeyWindow();

// What a drag across the keys edits; one mode for every matrix.
enum KeymapDragMode : int { kEditSampleRanges = 0, kEditLayerRange = 1 };
int SharedDragMode();
void SetSharedDragMode(int mode);

struct MatrixRange {
    size_t entry = 0;
    int low = 0;
    int top = 0;
    int sample = 0;  // the entry's sample number; looked up when used
    bool selected = false;
};

struct BandCell {
    uint32_t colour = kBandEmpty;
    bool outsideLayer = false;  // drawn as a halftone with black
    bool silent = false;        // white but for a thin strip at the bottom
};

struct MatrixLabel {
    int range = 0;
    int x = 0;    // the range's visible left edge
    int row = 0;  // label row
    std::string text;
};

// A rectangle in client pixels: x0 <= x < x1.
struct PixelSpan {
    int x0 = 0;
    int x1 = 0;
};

class KeyMatrixModel {
  public:
    explicit KeyMatrixModel(const ZedoDatabase& bank, KeyWindow& window = SharedKeyWindow())
        : bank_(bank), window_(window) {}

    // The layer (program number and layer index) and keymap shown; -1 for none.
    void Show(int program, int layer, int keymap);
    // Re-reads the keymap's entries; selections and the drag are dropped.
    void Rebuild();
    int ProgramNumber() const { return program_; }
    int LayerIndex() const { return layer_; }
    int KeymapNumber() const { return keymap_; }
    Layer* FindLayer() const;
    Keymap* FindKeymap() const;
    SampleHeader* HeaderOf(const MatrixRange& r) const;

    const std::vector<MatrixRange>& Ranges() const { return ranges_; }
    // Ranges are drawn this many keys to the right: the layer's timbre shift.
    int Offset() const;
    const KeyWindow& Window() const { return window_; }

    void SetWidth(int width);
    int BandHeight() const { return bandHeight_; }
    void SetBandHeight(int h) { bandHeight_ = h < kMinBandHeight ? kMinBandHeight : h; }

    // Geometry.
    int KeyAt(int x) const;
    int KeyX(int key) const { return (key - window_.start) * kKeyWidth; }
    // The visible part of a range's band, or nothing when it lies outside the window.
    std::optional<PixelSpan> RangeSpan(size_t r) const;
    // The last range whose band holds the point, or -1.
    int HitRange(int x, int y) const;

    // Colours.
    bool InDrag(int key) const;
    uint32_t KeyBase(int key) const { return IsBlackKey(key) ? kBlackKey : kWhiteKey; }
    uint32_t KeyMark(int key) const;
    BandCell Band(int key) const;
    // The first range whose shifted span holds key, or -1.
    int RangeAtKey(int key) const;
    // Labels, last range first, spread over the label rows so they do not overlap.
    std::vector<MatrixLabel> Labels(const std::function<int(const std::string&)>& width) const;

    // Selection: the commands act on the last selected range.
    int Selected() const;
    void Select(int r);
    // True when something was selected.
    bool ClearSelection();

    // Sounding keys.
    void SetSounding(int key, bool on);
    bool Sounding(int key) const { return key >= 0 && key < 128 && sounding_[size_t(key)]; }

    // The drag. Press: a range band is selected (its index returned), or a drag starts on
    // the key under the point (-1 returned).
    int Press(int x, int y);
    int Anchor() const { return anchor_; }
    int Current() const { return current_; }
    bool Dragging() const { return anchor_ >= 0; }
    // A move with or without the left button; true when the picture changed.
    bool Move(int x, bool leftHeld);
    // The span to commit (low, high), if the drag had one; the drag ends.
    std::optional<std::pair<int, int>> Release();
    // True when a drag was under way.
    bool CancelDrag();
    // One tick of the auto-scroll timer; true when the window moved.
    bool AutoScrollTick();
    int ScrollSteps() const { return steps_; }

  private:
    const ZedoDatabase& bank_;
    KeyWindow& window_;
    int program_ = -1;
    int layer_ = -1;
    int keymap_ = -1;
    int bandHeight_ = kMinBandHeight;
    std::vector<MatrixRange> ranges_;
    std::array<uint8_t, 128> sounding_{};
    int anchor_ = -1;
    int current_ = -1;
    int steps_ = 0;
};

}  // namespace talmeru
