#include "widgets/MusicKeyboard.h"

#include <QFontMetrics>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>
#include <QToolTip>
#include <algorithm>

#include "model/NoteNames.h"

namespace talmeru {

namespace {

QPolygon KeyPolygon(const KeyShape& s) {
    // A drawn shape reaches one pixel past the span's right end.
    const int ul = s.upper.left, ur = s.upper.right + 1;
    if (s.black) return QPolygon({{ul, 0}, {ur, 0}, {ur, kUpperBottom}, {ul, kUpperBottom}});
    const int ll = s.lower.left, lr = s.lower.right + 1;
    return QPolygon({{ul, 0},
                     {ur, 0},
                     {ur, kUpperBottom},
                     {lr, kUpperBottom},
                     {lr, kWhiteBottom},
                     {ll, kWhiteBottom},
                     {ll, kUpperBottom},
                     {ul, kUpperBottom}});
}

}  // namespace

CMusicKeyboard::CMusicKeyboard(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    // At least the layout's own size; wider and the keys widen with the window.
    setMinimumSize(sizeHint());
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    resize(sizeHint());
}

QSize CMusicKeyboard::sizeHint() const {
    return {layout_.Width() + 1, kHeight};
}

QString CMusicKeyboard::OctaveLabel(int key) {
    if (key % 12 != 0) return {};
    return QString::fromStdString(NoteName(key)).trimmed();
}

QTransform CMusicKeyboard::Scale() const {
    return QTransform::fromScale(double(width() - 1) / layout_.Width(),
                                 double(height() - 1) / kWhiteBottom);
}

QPoint CMusicKeyboard::ToLayout(QPoint at) const {
    return Scale().inverted().map(at);
}

int CMusicKeyboard::KeyAt(QPoint at) const {
    const QPoint p = ToLayout(at);
    return layout_.HitTest(p.x(), p.y());
}

QRect CMusicKeyboard::KeyBounds(int key) const {
    return Scale()
        .map(QPolygonF(KeyPolygon(KeyboardLayout::Shape(key))))
        .boundingRect()
        .toAlignedRect()
        .adjusted(0, 0, 1, 1);
}

void CMusicKeyboard::MarkKey(int key, bool on, bool editChannel) {
    if (layout_.Mark(key, on, editChannel)) update(KeyBounds(key));
}

QColor CMusicKeyboard::KeyColour(int key) const {
    // 0xFFFF00 as a Windows colour (blue, green, red) is cyan.
    if (layout_.SoundingOnEdit(key)) return {0x00, 0xFF, 0xFF};
    if (layout_.SoundingElsewhere(key)) return {0xFF, 0xB0, 0x00};
    return IsBlackKey(key) ? Qt::black : Qt::white;
}

void CMusicKeyboard::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    p.setPen(QPen(Qt::black, 1));
    const QTransform scale = Scale();
    // Black keys last: they lie over the white keys' upper parts.
    for (bool black : {false, true}) {
        for (int key = layout_.Lowest(); key <= layout_.Highest(); ++key) {
            if (IsBlackKey(key) != black || !event->region().intersects(KeyBounds(key))) continue;
            p.setBrush(KeyColour(key));
            p.drawPolygon(scale.map(QPolygonF(KeyPolygon(KeyboardLayout::Shape(key)))));
        }
    }
    // The octaves' C keys are named below the black keys, where the key has room for it.
    QFont small = font();
    small.setPointSizeF(std::max(6.0, small.pointSizeF() * 0.75));
    p.setFont(small);
    p.setPen(Qt::darkGray);
    const QFontMetrics metrics(small);
    const int labelTop = int(scale.map(QPointF(0, kUpperBottom)).y()) + 1;
    for (int key = layout_.Lowest(); key <= layout_.Highest(); key += 12) {
        const QString label = OctaveLabel(key);
        // Under the C and the D beside it: the next label is an octave away.
        const QRect c = KeyBounds(key), d = KeyBounds(std::min(key + 2, layout_.Highest()));
        const QRect room(c.left() + 1, labelTop, d.right() - c.left() - 2, c.bottom() - labelTop);
        if (label.isEmpty() || metrics.horizontalAdvance(label) > room.width() ||
            metrics.height() > room.height() + 2 || !event->region().intersects(room))
            continue;
        p.drawText(room.adjusted(1, 0, 0, -1), Qt::AlignLeft | Qt::AlignBottom, label);
    }
}

void CMusicKeyboard::Report(const std::vector<NoteEvent>& events) {
    for (const NoteEvent& e : events) {
        update(KeyBounds(e.key));
        emit keyEvent(e.key, e.on);
    }
}

void CMusicKeyboard::mousePressEvent(QMouseEvent* event) {
    const QPoint at = ToLayout(event->position().toPoint());
    Report(layout_.Press(at.x(), at.y()));
}

void CMusicKeyboard::mouseMoveEvent(QMouseEvent* event) {
    const QPoint at = ToLayout(event->position().toPoint());
    Report(layout_.Move(at.x(), at.y(), event->buttons() & Qt::LeftButton));
}

void CMusicKeyboard::mouseReleaseEvent(QMouseEvent*) {
    Report(layout_.Release());
}

bool CMusicKeyboard::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const int key = KeyAt(help->pos());
        // Shown for as long as the pointer stays on the key, as tooltips are.
        QToolTip::showText(help->globalPos(), QString::fromStdString(NoteName(key)), this,
                           KeyBounds(key));
        return true;
    }
    return QWidget::event(event);
}

}  // namespace talmeru
