#pragma once
// The virtual keyboard control: paints KeyboardLayout's keys and turns mouse gestures into
// key events for its owner.
#include <QTransform>
#include <QWidget>

#include "widgets/KeyboardLayout.h"

namespace talmeru {

class CMusicKeyboard : public QWidget {
    Q_OBJECT
  public:
    explicit CMusicKeyboard(QWidget* parent = nullptr);
    // editChannel: the note sounds on the audition channel (else on another one).
    void MarkKey(int key, bool on, bool editChannel = true);
    // A key's fill: silent white or black, cyan on the edit channel, amber elsewhere.
    QColor KeyColour(int key) const;
    const KeyboardLayout& Layout() const { return layout_; }
    QSize sizeHint() const override;
    // The bar's height: room for the C keys' octave labels under the black keys.
    static constexpr int kHeight = 44;
    // The label a key carries: "C4" on the C of each octave, nothing on the others.
    static QString OctaveLabel(int key);
    // Where a key lies on the widget at its present size (the keys grow with it).
    QRect KeyBounds(int key) const;
    // The key under a point of the widget.
    int KeyAt(QPoint at) const;

  signals:
    void keyEvent(int key, bool down);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool event(QEvent* event) override;

  private:
    void Report(const std::vector<NoteEvent>& events);
    // The layout's pixels to the widget's: keys stretch to fill it.
    QTransform Scale() const;
    QPoint ToLayout(QPoint at) const;
    KeyboardLayout layout_;
};

}  // namespace talmeru
