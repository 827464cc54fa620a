#include "widgets/MidiDisplayCtrl.h"

#include <QPaintEvent>
#include <QPainter>

namespace talmeru {

namespace {

QRect ToRect(const CellRect& c) {
    return QRect(QPoint(c.left, c.top), QPoint(c.right - 1, c.bottom - 1));
}

}  // namespace

CMidiDisplayCtrl::CMidiDisplayCtrl(QWidget* parent) : QWidget(parent) {
    setToolTip("MIDI Channels, including current edit channel");
    setFixedSize(ChannelCounts::kCellPitch * 16, 22);
}

void CMidiDisplayCtrl::AddNotes(int channel, int delta) {
    const int before = channel >= 0 && channel < 16 ? counts_.Count(channel) : 0;
    counts_.Add(channel, delta);
    if (channel >= 0 && channel < 16 && counts_.Count(channel) != before)
        update(ToRect(ChannelCounts::Cell(channel)));
}

void CMidiDisplayCtrl::SetCurrentChannel(int channel) {
    counts_.SetCurrent(channel);
    update();
}

void CMidiDisplayCtrl::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    for (int ch = 0; ch < 16; ++ch) {
        const QRect r = ToRect(ChannelCounts::Cell(ch));
        if (!event->region().intersects(r)) continue;
        const bool sounding = counts_.Count(ch) > 0;
        p.fillRect(r, sounding ? Qt::red : Qt::black);
        p.setPen(sounding ? Qt::black : Qt::white);
        p.drawText(r, Qt::AlignCenter, QString::fromStdString(ChannelCounts::Label(ch)));
        const bool current = ch == counts_.Current();
        p.setPen(QPen(current ? Qt::yellow : Qt::darkGray, current ? 2 : 1));
        p.setBrush(Qt::NoBrush);
        p.drawRect(r.adjusted(0, 0, -1, -1));
    }
}

}  // namespace talmeru
