#include "editors/controls/FFTDisplay.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPolygon>

namespace talmeru {

namespace {

void DrawLabels(QPainter& p, const std::vector<SpectrumLabel>& labels) {
    const int ascent = QFontMetrics(p.font()).ascent();
    for (const SpectrumLabel& l : labels)
        p.drawText(QPoint(l.at.x, l.at.y + ascent), QString::fromStdString(l.text));
}

void DrawLines(QPainter& p, const std::vector<SpectrumLine>& lines) {
    for (const SpectrumLine& l : lines)
        p.drawLine(l.from.x, l.from.y, l.to.x, l.to.y);
}

}  // namespace

CFFTDisplay::CFFTDisplay(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(200, 120);
}

int CFFTDisplay::SetWave(WaveData& wave, int offsetMs) {
    const int result = logic_.PassWave(wave, offsetMs);
    update();
    return result;
}

bool CFFTDisplay::SetData(std::span<const uint8_t> bytes, int64_t points, int offsetMs, int rate,
                          int bits) {
    const bool ok = logic_.Pass(bytes, points, offsetMs, rate, bits);
    update();
    return ok;
}

void CFFTDisplay::SetRange(int hz) {
    logic_.SetRange(hz);
    update();
}

QSize CFFTDisplay::sizeHint() const {
    return {640, 320};
}

void CFFTDisplay::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    const SpectrumPicture pic = logic_.Draw(width(), height());
    if (pic.Empty()) return;

    p.setPen(QPen(QColor(0x00, 0xFF, 0x00), 1));
    QPolygon trace;
    trace.reserve(static_cast<qsizetype>(pic.trace.size()));
    for (const SpectrumPoint& pt : pic.trace)
        trace.append(QPoint(pt.x, pt.y));
    p.drawPolyline(trace);

    p.setPen(QPen(QColor(0xFF, 0x00, 0x00), 1));
    DrawLines(p, pic.grid);
    DrawLabels(p, pic.gridLabels);

    p.setPen(QPen(QColor(0xFF, 0xFF, 0xFF), 1));
    DrawLines(p, pic.marks);
    DrawLabels(p, pic.markLabels);
}

}  // namespace talmeru
