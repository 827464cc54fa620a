#include "editors/sample/SampleView.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <vector>

#include "editors/sample/SampleAnalysis.h"

namespace talmeru {

namespace {

constexpr double kMinSpan = 32;  // frames across the view at the closest zoom
constexpr int kGrab = 5;         // pixels either side of a marker that pick it up
constexpr int kSnapPixels = 12;  // how far a marker reaches for a zero crossing
constexpr int64_t kSnapLimit = 1 << 16;
const char* const kMarkerNames[3] = {"S", "L", "E"};

QColor MarkerColour(int which) {
    return which == kPointStart  ? QColor(30, 140, 30)
           : which == kPointLoop ? QColor(200, 120, 0)
                                 : QColor(190, 30, 30);
}

int64_t PointOf(const SampleEditing::FramePoints& p, int which) {
    return which == kPointStart ? p.start : which == kPointLoop ? p.loop : p.end;
}

double Level(int16_t v, const QRectF& lane) {
    return lane.center().y() - v / 32768.0 * lane.height() / 2;
}

// One channel between from and from + span frames across the lane: min/max bars while there
// are several frames per column, the frames joined by lines when there are fewer.
void DrawLane(QPainter& p, const WavePeaks& wave, const QRectF& lane, double from, double span) {
    p.setPen(QColor(200, 200, 200));
    p.drawLine(QPointF(lane.left(), lane.center().y()), QPointF(lane.right(), lane.center().y()));
    const int columns = static_cast<int>(lane.width());
    if (columns <= 0 || span <= 0) return;
    p.setPen(QColor(20, 70, 160));
    if (span / columns > 1.0) {
        const std::vector<WavePeak> peaks = wave.Columns(from, from + span, columns);
        std::vector<QLineF> bars;
        bars.reserve(peaks.size());
        const double past = static_cast<double>(wave.Frames());
        for (int c = 0; c < columns; ++c) {
            if (from + span * c / columns >= past) break;
            const WavePeak& k = peaks[size_t(c)];
            const double x = lane.left() + c + 0.5;
            bars.emplace_back(x, Level(k.max, lane), x, Level(k.min, lane) + 0.5);
        }
        p.drawLines(bars.data(), static_cast<int>(bars.size()));
        return;
    }
    const auto first = std::max<int64_t>(0, static_cast<int64_t>(std::floor(from)));
    const auto last = std::min<int64_t>(wave.Frames() - 1, static_cast<int64_t>(from + span) + 1);
    QPainterPath path;
    for (int64_t i = first; i <= last; ++i) {
        const QPointF at(lane.left() + (static_cast<double>(i) - from) * lane.width() / span,
                         Level(wave.Data()[size_t(i)], lane));
        if (i == first)
            path.moveTo(at);
        else
            path.lineTo(at);
    }
    p.drawPath(path);
}

}  // namespace

WaveView::WaveView(QWidget* parent) : QWidget(parent) {
    setMinimumSize(200, 120);
    setMouseTracking(true);
    setFocusPolicy(Qt::ClickFocus);
}

void WaveView::Show(std::shared_ptr<const WavePeaks> left, std::shared_ptr<const WavePeaks> right,
                    const SampleEditing::FramePoints& points, bool fit) {
    fit = fit || left != left_;
    left_ = std::move(left);
    right_ = std::move(right);
    if (dragging_ < 0) points_ = points;
    if (fit) ZoomAll();
    update();
}

void WaveView::Clear() {
    left_.reset();
    right_.reset();
    points_ = {};
    dragging_ = -1;
    start_ = 0;
    span_ = 1;
    emit viewChanged();
    update();
}

void WaveView::Limit() {
    const double frames = std::max<double>(1.0, static_cast<double>(Frames()));
    span_ = std::clamp(span_, std::min(kMinSpan, frames), frames);
    start_ = std::clamp(start_, 0.0, frames - span_);
}

void WaveView::SetViewStart(double frame) {
    start_ = frame;
    Limit();
    emit viewChanged();
    update();
}

void WaveView::ZoomBy(double factor, double anchor) {
    if (!HasWave() || !(factor > 0)) return;
    const double at = (anchor - start_) / span_;
    span_ *= factor;
    Limit();
    start_ = anchor - at * span_;
    Limit();
    emit viewChanged();
    update();
}

void WaveView::ZoomAboutLoop(double factor) {
    ZoomBy(factor, SampleEditing::ZoomAnchor(points_, start_, span_));
}

void WaveView::ZoomAll() {
    const SampleEditing::FrameSpan shown = SampleEditing::SampleSpan(points_, Frames());
    start_ = shown.start;
    span_ = shown.span;
    Limit();
    emit viewChanged();
    update();
}

double WaveView::FrameAt(double x) const {
    return start_ + x * span_ / std::max(1, width());
}

double WaveView::XOf(double frame) const {
    return (frame - start_) * std::max(1, width()) / span_;
}

int WaveView::MarkerAt(double x) const {
    int found = -1;
    double nearest = kGrab + 1;
    // The end first: when markers meet, the one that can move away is picked.
    for (int which : {kPointEnd, kPointLoop, kPointStart}) {
        const int64_t frame = PointOf(points_, which);
        if (frame < 0) continue;
        const double d = std::abs(XOf(static_cast<double>(frame)) - x);
        if (d < nearest) {
            nearest = d;
            found = which;
        }
    }
    return found;
}

int64_t WaveView::Place(int which, double frame, bool shift) const {
    const int64_t frames = Frames();
    auto at = static_cast<int64_t>(std::llround(frame));
    if (snap_ != shift && left_) {
        const auto reach = static_cast<int64_t>(kSnapPixels * span_ / std::max(1, width()));
        if (auto z =
                NearestZeroCrossing(left_->Data(), at, std::clamp<int64_t>(reach, 1, kSnapLimit)))
            at = *z;
    }
    // Start before loop before end, as the synthesizer needs them.
    switch (which) {
        case kPointStart:
            return std::clamp<int64_t>(at, 0, std::max<int64_t>(0, points_.end - 1));
        case kPointLoop:
            return std::clamp<int64_t>(at, points_.start, std::max(points_.start, points_.end - 1));
        default:
            return std::clamp<int64_t>(at, points_.start + 1, std::max(points_.start + 1, frames));
    }
}

void WaveView::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || !HasWave()) return;
    dragging_ = MarkerAt(e->position().x());
}

void WaveView::mouseMoveEvent(QMouseEvent* e) {
    if (dragging_ < 0) {
        setCursor(HasWave() && MarkerAt(e->position().x()) >= 0 ? Qt::SizeHorCursor
                                                                : Qt::ArrowCursor);
        return;
    }
    const int64_t frame =
        Place(dragging_, FrameAt(e->position().x()), e->modifiers().testFlag(Qt::ShiftModifier));
    (dragging_ == kPointStart  ? points_.start
     : dragging_ == kPointLoop ? points_.loop
                               : points_.end) = frame;
    update();
}

void WaveView::mouseReleaseEvent(QMouseEvent* e) {
    if (dragging_ < 0 || e->button() != Qt::LeftButton) return;
    mouseMoveEvent(e);
    const int which = dragging_;
    dragging_ = -1;
    emit pointMoved(which, static_cast<qint64>(PointOf(points_, which)));
}

void WaveView::wheelEvent(QWheelEvent* e) {
    if (!HasWave()) return;
    const QPoint angle = e->angleDelta();
    // Shift or a sideways wheel scrolls; the wheel itself zooms about the pointer.
    if (e->modifiers().testFlag(Qt::ShiftModifier) || std::abs(angle.x()) > std::abs(angle.y())) {
        const int steps = angle.x() != 0 ? angle.x() : angle.y();
        SetViewStart(start_ - span_ * 0.1 * steps / 120.0);
    } else {
        ZoomBy(std::pow(0.8, angle.y() / 120.0), FrameAt(e->position().x()));
    }
    e->accept();
}

void WaveView::resizeEvent(QResizeEvent*) {
    Limit();
}

void WaveView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), QColor(250, 250, 250));
    if (!HasWave()) {
        p.setPen(palette().color(QPalette::PlaceholderText));
        p.drawText(rect(), Qt::AlignCenter, "No wave data to show");
        return;
    }
    const double w = width();
    const int lanes = right_ ? 2 : 1;
    const double laneHeight = static_cast<double>(height()) / lanes;
    // The loop, shaded.
    if (points_.loop >= 0 && points_.loop < points_.end) {
        const double a = std::max(0.0, XOf(static_cast<double>(points_.loop)));
        const double b = std::min(w, XOf(static_cast<double>(points_.end)));
        if (b > a) p.fillRect(QRectF(a, 0, b - a, height()), QColor(255, 240, 200));
    }
    const WavePeaks* halves[2] = {left_.get(), right_.get()};
    for (int lane = 0; lane < lanes; ++lane)
        DrawLane(p, *halves[lane], QRectF(0, lane * laneHeight, w, laneHeight), start_, span_);
    if (lanes == 2) {
        p.setPen(QColor(160, 160, 160));
        p.drawLine(QPointF(0, laneHeight), QPointF(w, laneHeight));
    }
    for (int which : {kPointStart, kPointLoop, kPointEnd}) {
        const int64_t frame = PointOf(points_, which);
        if (frame < 0) continue;  // a sample that does not loop has no loop marker
        const double x = XOf(static_cast<double>(frame));
        if (x < -kGrab || x > w + kGrab) continue;
        p.setPen(QPen(MarkerColour(which), which == dragging_ ? 2 : 1));
        p.drawLine(QPointF(x, 0), QPointF(x, height()));
        const QRectF flag(x - (which == kPointEnd ? 14 : 0), 0, 14, 14);
        p.fillRect(flag, MarkerColour(which));
        p.setPen(Qt::white);
        p.drawText(flag, Qt::AlignCenter, kMarkerNames[which]);
    }
}

LoopJoinView::LoopJoinView(QWidget* parent) : QWidget(parent) {
    setMinimumSize(160, 120);
    setToolTip(
        "The loop's join: the frames played up to the loop end and on from the loop start "
        "(blue), with what follows the end (red) and what leads to the loop start (orange) "
        "faint. A loop without a click runs smoothly through the middle line.");
}

void LoopJoinView::Show(std::shared_ptr<const WavePeaks> wave,
                        const SampleEditing::FramePoints& points, int reach) {
    wave_ = std::move(wave);
    points_ = points;
    reach_ = std::max(4, reach);
    update();
}

void LoopJoinView::Clear() {
    wave_.reset();
    update();
}

void LoopJoinView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), QColor(250, 250, 250));
    if (!Showing()) {
        p.setPen(palette().color(QPalette::PlaceholderText));
        p.drawText(rect(), Qt::AlignCenter, wave_ ? "no loop" : "");
        return;
    }
    const std::span<const int16_t> x = wave_->Data();
    const auto n = static_cast<int64_t>(x.size());
    const QRectF lane(0, 0, width(), height());
    p.setPen(QColor(200, 200, 200));
    p.drawLine(QPointF(0, lane.center().y()), QPointF(width(), lane.center().y()));
    p.setPen(QColor(120, 120, 120));
    p.drawLine(QPointF(width() / 2.0, 0), QPointF(width() / 2.0, height()));
    // The frame that frameAt(k) names, drawn at offset k from the middle of the view.
    auto trace = [&](auto frameAt, int fromK, int toK, const QPen& pen) {
        QPainterPath path;
        bool open = false;
        for (int k = fromK; k <= toK; ++k) {
            const int64_t i = frameAt(k);
            if (i < 0 || i >= n) continue;
            const QPointF pt((k + reach_) * width() / (2.0 * reach_), Level(x[size_t(i)], lane));
            if (open) {
                path.lineTo(pt);
            } else {
                path.moveTo(pt);
                open = true;
            }
        }
        p.setPen(pen);
        p.drawPath(path);
    };
    const int64_t end = points_.end, loop = points_.loop;
    QColor faintEnd = MarkerColour(kPointEnd), faintLoop = MarkerColour(kPointLoop);
    faintEnd.setAlpha(80);
    faintLoop.setAlpha(80);
    // What each side would have been without the jump, faint.
    trace([end](int k) { return end + k; }, 0, reach_, QPen(faintEnd, 1));
    trace([loop](int k) { return loop + k; }, -reach_, -1, QPen(faintLoop, 1));
    // What is played: up to the loop end, then on from the loop start.
    trace([end, loop](int k) { return k < 0 ? end + k : loop + k; }, -reach_, reach_ - 1,
          QPen(QColor(20, 70, 160), 1.5));
}

}  // namespace talmeru
