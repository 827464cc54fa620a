#pragma once
// Lets the computer keyboard play a virtual keyboard that has focus: ComputerKeys turns key
// presses and releases into the notes the virtual keyboard reports for its mouse gestures.
#include <QObject>

#include "widgets/ComputerKeys.h"

namespace talmeru {

class CMusicKeyboard;

class ComputerKeyPlayer : public QObject {
    Q_OBJECT
  public:
    // Watches the keyboard's keys and gives it focus on a click or Tab.
    explicit ComputerKeyPlayer(CMusicKeyboard* keyboard);
    const ComputerKeys& Keys() const { return keys_; }

  signals:
    // The keys' range on taking focus and after an octave key, for the status bar.
    void rangeShown(const QString& text);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void Report(const std::vector<NoteEvent>& events);
    CMusicKeyboard* keyboard_;
    ComputerKeys keys_;
};

}  // namespace talmeru
