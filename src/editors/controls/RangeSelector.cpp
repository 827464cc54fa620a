#include "editors/controls/RangeSelector.h"

#include <qdrawutil.h>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

namespace talmeru {

namespace {

QRect ToRect(const ThumbRect& r) {
    return QRect(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1));
}

}  // namespace

CRangeSelector::CRangeSelector(QWidget* parent) : QWidget(parent) {
    // The arrow and page keys belong to the control, as does a click.
    setFocusPolicy(Qt::StrongFocus);
    setContextMenuPolicy(Qt::DefaultContextMenu);
}

QSize CRangeSelector::sizeHint() const {
    return {track_.ThumbWidth() * 5, fontMetrics().height() + 8};
}

void CRangeSelector::SetRange(int minimum, int maximum) {
    track_.SetRange(minimum, maximum);
    update();
}

void CRangeSelector::SetValues(int first, int second) {
    track_.SetValues(first, second);
    update();
}

void CRangeSelector::SetSingleThumb(bool single) {
    track_.SetSingleThumb(single);
    update();
}

void CRangeSelector::SetSteps(int line, int page) {
    track_.SetSteps(line, page);
}

void CRangeSelector::SetFloatDisplay(double floatMinimum, double floatMaximum) {
    track_.SetFloatDisplay(floatMinimum, floatMaximum);
    update();
}

void CRangeSelector::ClearFloatDisplay() {
    track_.ClearFloatDisplay();
    update();
}

void CRangeSelector::Report(const std::vector<RangeNotice>& notices) {
    update();
    for (const RangeNotice& n : notices)
        emit notify(n.code, n.value);
}

void CRangeSelector::FitTrack() {
    // A hidden widget gets its resize event only when shown; the size is taken as it is now.
    track_.SetSize(width(), height());
}

void CRangeSelector::PaintThumb(QPainter& p, const ThumbRect& r, int value, bool pressed) {
    const QRect box = ToRect(r);
    qDrawWinButton(&p, box, palette(), pressed, &palette().brush(QPalette::Button));
    p.setPen(palette().color(QPalette::ButtonText));
    p.drawText(box, Qt::AlignCenter | Qt::TextSingleLine,
               QString::fromStdString(track_.ValueText(value)));
}

void CRangeSelector::paintEvent(QPaintEvent*) {
    FitTrack();
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    // Without the focus the track is greyed with the halftone pattern.
    if (!hasFocus()) p.fillRect(rect(), QBrush(Qt::darkGray, Qt::Dense4Pattern));
    qDrawShadePanel(&p, rect(), palette(), true, 1);

    const ThumbRect first = track_.FirstThumb();
    const bool two = track_.Thumbs() == 2;
    if (two) {
        const ThumbRect second = track_.SecondThumb();
        const int m = RangeTrack::kMargin;
        p.fillRect(QRect(first.right, height() / 2 - m, second.left - first.right, 2 * m),
                   Qt::black);
        PaintThumb(p, second, track_.Second(), track_.Dragging() && track_.HoldingSecond());
    }
    PaintThumb(p, first, track_.First(), track_.Dragging() && !track_.HoldingSecond());
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = ToRect(first).adjusted(3, 3, -3, -3);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &p, this);
    }
}

void CRangeSelector::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    setFocus(Qt::MouseFocusReason);
    FitTrack();
    track_.Press(event->position().toPoint().x());
    update();
}

void CRangeSelector::mouseMoveEvent(QMouseEvent* event) {
    if (!track_.Dragging()) return;
    FitTrack();
    Report(track_.Move(event->position().toPoint().x(), event->buttons() & Qt::LeftButton,
                       event->modifiers() & Qt::ShiftModifier));
}

void CRangeSelector::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mouseReleaseEvent(event);
    Report(track_.Release());
}

void CRangeSelector::keyPressEvent(QKeyEvent* event) {
    RangeKey key;
    switch (event->key()) {
        case Qt::Key_PageUp:
            key = RangeKey::kPageUp;
            break;
        case Qt::Key_PageDown:
            key = RangeKey::kPageDown;
            break;
        case Qt::Key_Up:
            key = RangeKey::kUp;
            break;
        case Qt::Key_Down:
            key = RangeKey::kDown;
            break;
        case Qt::Key_Left:
            key = RangeKey::kLeft;
            break;
        case Qt::Key_Right:
            key = RangeKey::kRight;
            break;
        default:
            return QWidget::keyPressEvent(event);
    }
    Report(track_.Key(key));
}

void CRangeSelector::focusInEvent(QFocusEvent* event) {
    update();
    QWidget::focusInEvent(event);
}

void CRangeSelector::focusOutEvent(QFocusEvent* event) {
    update();
    QWidget::focusOutEvent(event);
}

std::unique_ptr<QMenu> CRangeSelector::MakeContextMenu() {
    auto menu = std::make_unique<QMenu>(this);
    for (const RestoreItem& item : track_.RestoreItems()) {
        QAction* action = menu->addAction(QString::fromStdString(item.text));
        action->setEnabled(item.enabled);
        const int value = item.value;
        connect(action, &QAction::triggered, this,
                [this, value] { Report(track_.Restore(value)); });
    }
    return menu;
}

void CRangeSelector::contextMenuEvent(QContextMenuEvent* event) {
    MakeContextMenu()->exec(event->globalPos());
}

}  // namespace talmeru
