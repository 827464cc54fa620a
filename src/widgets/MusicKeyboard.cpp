#include "widgets/MusicKeyboard.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>
#include <QToolTip>

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
    setFixedSize(sizeHint());
}

QSize CMusicKeyboard::sizeHint() const {
    return {layout_.Width() + 1, kWhiteBottom + 1};
}

QRect CMusicKeyboard::KeyBounds(int key) const {
    return KeyPolygon(KeyboardLayout::Shape(key)).boundingRect().adjusted(0, 0, 1, 1);
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
    // Black keys last: they lie over the white keys' upper parts.
    for (bool black : {false, true}) {
        for (int key = layout_.Lowest(); key <= layout_.Highest(); ++key) {
            if (IsBlackKey(key) != black || !event->region().intersects(KeyBounds(key))) continue;
            p.setBrush(KeyColour(key));
            p.drawPolygon(KeyPolygon(KeyboardLayout::Shape(key)));
        }
    }
}

void CMusicKeyboard::Report(const std::vector<NoteEvent>& events) {
    for (const NoteEvent& e : events) {
        update(KeyBounds(e.key));
        emit keyEvent(e.key, e.on);
    }
}

void CMusicKeyboard::mousePressEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    Report(layout_.Press(at.x(), at.y()));
}

void CMusicKeyboard::mouseMoveEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    Report(layout_.Move(at.x(), at.y(), event->buttons() & Qt::LeftButton));
}

void CMusicKeyboard::mouseReleaseEvent(QMouseEvent*) {
    Report(layout_.Release());
}

bool CMusicKeyboard::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const int key = layout_.HitTest(help->pos().x(), help->pos().y());
        // Shown for as long as the pointer stays on the key, as tooltips are.
        QToolTip::showText(help->globalPos(), QString::fromStdString(NoteName(key)), this,
                           KeyBounds(key));
        return true;
    }
    return QWidget::event(event);
}

}  // namespace talmeru
