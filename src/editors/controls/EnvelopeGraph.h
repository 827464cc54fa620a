#pragma once
// The envelope drawing's logic without a window: the points of an ENV modulator or of a
// sample header's natural envelope, their labels and texts, where they lie in the control,
// which point a pixel hits, and what dragging a point changes in the envelope.
#include <cstdint>
#include <string>
#include <vector>

#include "application/EnvelopePresets.h"

namespace talmeru {

struct EnvelopePoint {
    char letter = 'S';  // 'S' start, 'A' attack, 'D' decay, 'R' release
    int index = 0;      // within its group, from 1 (the start point is S0)
    int item = -1;      // the ENV segment or natural entry behind the point; -1 for the start
    int64_t time = 0;
    int64_t level = 0;
};

struct GraphPixel {
    int x = 0;
    int y = 0;
};

// A rectangle of the control: a point's label, or something labels keep clear of.
struct GraphBox {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool Overlaps(const GraphBox& o) const;
};

// A mark of the time axis under the plot.
struct TimeTick {
    int x = 0;
    double seconds = 0;
    std::string text;  // "0.5 s"
};

class EnvelopeGraph {
  public:
    // Room around the plot: the hovered point's values above, the time axis below.
    static constexpr int kSide = 10;
    static constexpr int kTop = 18;
    static constexpr int kBottom = 16;
    static constexpr int kHitRadius = 5;

    void Show(EnvModulator* env);
    void Show(SampleHeader* header);
    // Shows nothing; the kind stays, so that the presets of the kind can still be listed.
    void Clear();
    void SetKind(EnvelopeKind kind);
    EnvelopeKind Kind() const { return kind_; }
    EnvModulator* Env() const { return env_; }
    SampleHeader* Header() const { return header_; }
    // Nothing to draw: no envelope, or a natural envelope without entries.
    bool Empty() const;

    // Start point first, then one per ENV segment or natural entry, placed by accumulated
    // time. A natural entry that closes its group (duration 0) keeps its slope until the
    // next phase; it is drawn over a nominal span so that the slope shows.
    std::vector<EnvelopePoint> Points() const;
    static std::string Label(const EnvelopePoint& p);
    // The values of point i, e.g. "A1 = (+1.00 s, +127)"; empty for no such point.
    std::string PointText(int i) const;
    // What the values of point i mean: an ENV level as a factor and as the attenuation it
    // gives through the Amp block; a natural entry's time in seconds and its slope in dB/s.
    std::string PointMeaning(int i) const;
    // Seconds from the start of the envelope to `time` (a point's time): ENV time steps, or
    // frames of the sample as it plays at key 60.
    double Seconds(int64_t time) const;

    void SetSize(int width, int height);
    int Width() const { return width_; }
    int Height() const { return height_; }
    GraphPixel Place(const EnvelopePoint& p) const;
    // The point within kHitRadius of the pixel (the later one where points coincide), or -1.
    int HitTest(int x, int y) const;
    int AttackX() const;
    // -1 when the envelope has no release point.
    int ReleaseX() const;

    // Where the labels of Points() go, given each label's size in pixels: beside its point
    // where there is room, else further up or down, inside the control, clear of each other
    // and of `keepClear`. A label that finds no room anywhere gets a box of width 0.
    std::vector<GraphBox> LabelBoxes(const std::vector<GraphPixel>& sizes,
                                     const std::vector<GraphBox>& keepClear = {}) const;
    // Marks at whole multiples of a round number of seconds, at least minSpacing pixels apart.
    std::vector<TimeTick> TimeTicks(int minSpacing) const;

    // The point under the pointer, whose text the control shows. True when it changed.
    bool Hover(int x, int y);
    int Hovered() const { return Valid(hovered_); }
    int Selected() const { return Valid(selected_); }
    // Selects the point under the pixel (or none) and starts dragging it.
    void Press(int x, int y);
    // Moves the held point by the pointer's travel since the press, within the limits of its
    // kind (ENV level -127..127, time 0..255; natural duration 1..65535, slope 16 bits). True
    // when the envelope changed.
    bool Drag(int x, int y);
    void Release() { dragging_ = false; }
    bool Dragging() const { return dragging_; }

  private:
    struct Scale {
        int64_t timeSpan = 1;
        int64_t levelLow = -127;
        int64_t levelHigh = 127;
        int64_t nominal = 1000;  // span drawn for a natural group's closing entry
    };
    Scale CurrentScale() const;
    // Frozen while a point is dragged, so that the point stays under the pointer.
    Scale ActiveScale() const { return dragging_ ? frozen_ : CurrentScale(); }
    std::vector<EnvelopePoint> PointsWith(const Scale& s) const;
    GraphPixel PlaceWith(const EnvelopePoint& p, const Scale& s) const;
    int64_t TimeAt(int x, const Scale& s) const;
    int64_t LevelAt(int y, const Scale& s) const;
    int PlotWidth() const;
    int PlotHeight() const;
    int Valid(int i) const;

    EnvelopeKind kind_ = kModulatorEnvelope;
    EnvModulator* env_ = nullptr;
    SampleHeader* header_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    int hovered_ = -1;
    int selected_ = -1;

    bool dragging_ = false;
    Scale frozen_;
    int pressX_ = 0;
    int pressY_ = 0;
    EnvelopePoint held_;
    EnvelopePoint before_;  // the point before the held one
};

}  // namespace talmeru
