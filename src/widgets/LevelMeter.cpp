#include "widgets/LevelMeter.h"

#include <QLinearGradient>
#include <QPainter>

namespace talmeru {

namespace {

constexpr int kBarHeight = 4;
constexpr int kGap = 2;

bool SameBars(const MeterBar& a, const MeterBar& b) {
    return a.level == b.level && a.peak == b.peak && a.clipped == b.clipped;
}

}  // namespace

CLevelMeter::CLevelMeter(QWidget* parent) : QWidget(parent) {
    setFixedSize(100, 2 * kBarHeight + 3 * kGap + 2);
    setToolTip("Output level: left above, right below");
}

void CLevelMeter::Show(double left, double right, bool live) {
    const LevelMeterModel before = model_;
    model_.Update(left, right, live);
    if (!SameBars(before.Left(), model_.Left()) || !SameBars(before.Right(), model_.Right()))
        update();
}

void CLevelMeter::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect frame = rect().adjusted(0, 0, -1, -1);
    const bool silent = model_.Silent();
    p.fillRect(rect(), silent ? palette().color(QPalette::Disabled, QPalette::Window).darker(115)
                              : QColor(24, 24, 24));
    p.setPen(palette().color(QPalette::Mid));
    p.drawRect(frame);
    if (silent) return;
    const int inner = width() - 2 - 2 * kGap;
    QLinearGradient scale(kGap + 1, 0, kGap + 1 + inner, 0);
    scale.setColorAt(0, QColor(0, 160, 0));
    scale.setColorAt(0.8, QColor(120, 220, 0));   // -12 dB
    scale.setColorAt(0.95, QColor(240, 200, 0));  // -3 dB
    scale.setColorAt(1, QColor(240, 40, 0));
    int top = 1 + kGap;
    for (const MeterBar* bar : {&model_.Left(), &model_.Right()}) {
        const int length = int(bar->level * inner + 0.5);
        p.fillRect(QRect(kGap + 1, top, length, kBarHeight), scale);
        if (bar->peak > 0) {
            const int x = kGap + 1 + std::min(int(bar->peak * inner + 0.5), inner - 2);
            p.fillRect(QRect(x, top, 2, kBarHeight), bar->clipped ? Qt::red : Qt::white);
        }
        top += kBarHeight + kGap;
    }
}

}  // namespace talmeru
