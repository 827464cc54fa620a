#pragma once
// The virtual keyboard control: paints KeyboardLayout's keys and turns mouse gestures into
// key events for its owner.
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
    QRect KeyBounds(int key) const;
    KeyboardLayout layout_;
};

}  // namespace talmeru
