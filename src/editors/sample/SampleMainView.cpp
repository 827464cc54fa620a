#include "editors/sample/SampleMainView.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

#include "editors/sample/SampleView.h"
#include "editors/spectrum/SpectrumAnalyser.h"

namespace talmeru {

namespace {
constexpr int kTickLong = 7;
constexpr int kTickShort = 3;
}  // namespace

TimeAxis::TimeAxis(const WaveView& wave, QWidget* parent) : QWidget(parent), wave_(wave) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(&wave, &WaveView::viewChanged, this, qOverload<>(&QWidget::update));
}

void TimeAxis::SetTiming(int rate, int64_t origin) {
    rate_ = rate;
    origin_ = origin;
    update();
}

std::vector<AxisTick> TimeAxis::Ticks() const {
    if (!wave_.HasWave()) return {};
    std::vector<AxisTick> ticks = TimeTicks(wave_.ViewStart() - static_cast<double>(origin_),
                                            wave_.ViewSpan(), rate_, width());
    for (AxisTick& t : ticks)
        t.frame += static_cast<double>(origin_);
    return ticks;
}

QSize TimeAxis::sizeHint() const {
    return {200, kTickLong + 2 * fontMetrics().height() + 2};
}

void TimeAxis::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setPen(palette().color(QPalette::WindowText));
    p.drawLine(0, 0, width(), 0);
    const int line = fontMetrics().height();
    for (const AxisTick& t : Ticks()) {
        const int x = static_cast<int>(std::lround(wave_.XOf(t.frame)));
        p.drawLine(x, 0, x, t.labelled ? kTickLong : kTickShort);
        if (!t.labelled) continue;
        // Labels are centred on their tick and kept inside the axis.
        auto label = [&](const std::string& text, int y) {
            const QString s = QString::fromStdString(text);
            const int w = fontMetrics().horizontalAdvance(s);
            const int left = std::clamp(x - w / 2, 0, std::max(0, width() - w));
            p.drawText(QRect(left, y, w + 1, line), Qt::AlignLeft | Qt::AlignTop, s);
        };
        label(t.seconds, kTickLong);
        p.setPen(palette().color(QPalette::PlaceholderText));
        label(t.frames, kTickLong + line);
        p.setPen(palette().color(QPalette::WindowText));
    }
}

TuningPane::TuningPane(QWidget* parent) : QWidget(parent) {
    setToolTip("The spectrum of the sample's loop (or its middle) and its strongest partials; "
               "the root key is the note the header plays them at");
    Show(std::nullopt, std::nullopt);
}

void TuningPane::Show(std::optional<TuningReading> reading, std::optional<double> rootKey) {
    reading_ = std::move(reading);
    lines_.clear();
    if (rootKey) {
        const TuningPeak root = NameFrequency(440.0 * std::pow(2.0, (*rootKey - 69.0) / 12.0));
        lines_.push_back(QString("Root key: %1").arg(QString::fromStdString(TuningPeakText(root))));
    }
    if (!reading_) {
        lines_.push_back("No spectrum: the sample is too short or not loaded");
    } else {
        lines_.push_back("Strongest partials:");
        for (const TuningPeak& peak : reading_->peaks)
            lines_.push_back(QString::fromStdString(TuningPeakText(peak)));
    }
    update();
}

QSize TuningPane::sizeHint() const {
    return {fontMetrics().horizontalAdvance("Root key: C#10 +50 ct (10000.0 Hz)") + 8, 220};
}

// Narrow enough not to take width from the waveform; the texts are cut at the right.
QSize TuningPane::minimumSizeHint() const {
    return {120, 8 * fontMetrics().height()};
}

void TuningPane::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const int line = fontMetrics().height();
    const int textHeight = line * static_cast<int>(lines_.size()) + 4;
    const QRect plot(0, 0, width(), std::max(0, height() - textHeight - 4));
    p.fillRect(plot, Qt::black);
    if (reading_ && plot.height() > 8 && !reading_->power.empty()) {
        // Log power against frequency up to the peak search's limit, as the spectrum window.
        const TuningReading& r = *reading_;
        const double topHz = std::min(kPeakSearchHz, r.rate / 2.0);
        const int bins = std::clamp(static_cast<int>(topHz * r.size / r.rate), 2,
                                    static_cast<int>(r.power.size()));
        const double top = *std::max_element(r.power.begin(), r.power.begin() + bins);
        QPainterPath trace;
        for (int k = 0; k < bins; ++k) {
            const double x = plot.width() * k / double(bins - 1);
            const double y = SpectrumDisplay::PowerToY(r.power[size_t(k)], top, plot.height() - 8);
            k == 0 ? trace.moveTo(x, y) : trace.lineTo(x, y);
        }
        p.setPen(Qt::green);
        p.drawPath(trace);
        p.setPen(Qt::white);
        for (const TuningPeak& peak : r.peaks) {
            const int x = static_cast<int>(plot.width() * peak.hz / topHz);
            p.drawLine(x, plot.bottom() - 6, x, plot.bottom());
        }
    }
    p.setPen(palette().color(QPalette::WindowText));
    int y = plot.bottom() + 4;
    for (const QString& text : lines_) {
        p.drawText(QRect(2, y, width() - 2, line), Qt::AlignLeft | Qt::AlignTop, text);
        y += line;
    }
}

}  // namespace talmeru
