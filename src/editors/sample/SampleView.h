#pragma once
// The sample editor's pictures: the waveform of a header (both halves of a stereo pair, one
// above the other) with its start, loop and end markers, and the loop join, where the frames
// before the loop end run on into the frames from the loop start.
#include <QWidget>
#include <array>
#include <memory>

#include "editors/sample/SampleEditing.h"

namespace talmeru {

class WaveView : public QWidget {
    Q_OBJECT
  public:
    explicit WaveView(QWidget* parent = nullptr);

    // The halves to draw (right: none for mono) and the header's points in frames. Another
    // sample (fit) is shown whole; the same one keeps its zoom.
    void Show(std::shared_ptr<const WavePeaks> left, std::shared_ptr<const WavePeaks> right,
              const SampleEditing::FramePoints& points, bool fit);
    void Clear();
    bool HasWave() const { return left_ != nullptr; }

    // The frames shown: from ViewStart, ViewSpan of them across the width.
    double ViewStart() const { return start_; }
    double ViewSpan() const { return span_; }
    int64_t Frames() const { return left_ ? left_->Frames() : 0; }
    void SetViewStart(double frame);
    // Zooms by factor (below 1 zooms in) keeping the frame under `anchor` where it is.
    void ZoomBy(double factor, double anchor);
    // Zooms by factor about the loop, or the middle of the view (SampleEditing::ZoomAnchor).
    void ZoomAboutLoop(double factor);
    // The whole sample: start to end, with a margin (SampleEditing::SampleSpan).
    void ZoomAll();
    double FrameAt(double x) const;
    double XOf(double frame) const;

    // Markers snap to rising zero crossings while on; Shift held while dragging swaps it.
    void SetSnap(bool on) { snap_ = on; }
    bool Snap() const { return snap_; }
    const SampleEditing::FramePoints& Points() const { return points_; }

  signals:
    // A marker was dropped at a frame (SamplePoint, frame).
    void pointMoved(int which, qint64 frame);
    void viewChanged();

  protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void resizeEvent(QResizeEvent*) override;

  private:
    int MarkerAt(double x) const;
    int64_t Place(int which, double frame, bool shift) const;
    void Limit();

    std::shared_ptr<const WavePeaks> left_, right_;
    SampleEditing::FramePoints points_;
    double start_ = 0;
    double span_ = 1;
    bool snap_ = true;
    int dragging_ = -1;
};

class LoopJoinView : public QWidget {
    Q_OBJECT
  public:
    explicit LoopJoinView(QWidget* parent = nullptr);
    // Shows `reach` frames either side of the join; nothing for an unlooped sample.
    void Show(std::shared_ptr<const WavePeaks> wave, const SampleEditing::FramePoints& points,
              int reach);
    void Clear();
    bool Showing() const { return wave_ && points_.loop >= 0; }

  protected:
    void paintEvent(QPaintEvent*) override;

  private:
    std::shared_ptr<const WavePeaks> wave_;
    SampleEditing::FramePoints points_;
    int reach_ = 128;
};

}  // namespace talmeru
