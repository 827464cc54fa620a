#pragma once
// The range selector control: a track with one or two thumbs that show their values. It
// paints RangeTrack and hands it the mouse, the keys and the context menu; every change
// reaches the owner as a notification (kRangeFirstChanged or kRangeSecondChanged).
#include <QWidget>
#include <memory>

#include "editors/controls/RangeTrack.h"

class QMenu;

namespace talmeru {

class CRangeSelector : public QWidget {
    Q_OBJECT
  public:
    explicit CRangeSelector(QWidget* parent = nullptr);

    void SetRange(int minimum, int maximum);
    void SetValues(int first, int second);
    void SetSingleThumb(bool single);
    void SetSteps(int line, int page);
    void SetOriginalValue(int value) { track_.SetOriginal(value); }
    void SetDefaultValue(int value) { track_.SetDefault(value); }
    void SetFloatDisplay(double floatMinimum, double floatMaximum);
    void ClearFloatDisplay();

    int First() const { return track_.First(); }
    int Second() const { return track_.Second(); }
    const RangeTrack& Track() const { return track_; }
    // The context menu as it would open now; its actions restore the values.
    std::unique_ptr<QMenu> MakeContextMenu();
    QSize sizeHint() const override;

  signals:
    void notify(int code, int value);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    void FitTrack();
    void Report(const std::vector<RangeNotice>& notices);
    void PaintThumb(QPainter& p, const ThumbRect& r, int value, bool pressed);
    RangeTrack track_;
};

}  // namespace talmeru
