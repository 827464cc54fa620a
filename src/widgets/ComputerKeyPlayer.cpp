#include "widgets/ComputerKeyPlayer.h"

#include <QKeyEvent>

#include "widgets/MusicKeyboard.h"

namespace talmeru {

ComputerKeyPlayer::ComputerKeyPlayer(CMusicKeyboard* keyboard)
    : QObject(keyboard), keyboard_(keyboard) {
    keyboard->setFocusPolicy(Qt::StrongFocus);
    keyboard->installEventFilter(this);
}

bool ComputerKeyPlayer::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::ShortcutOverride: {
            // Our keys play notes here, even where a shortcut would take them.
            auto* key = static_cast<QKeyEvent*>(event);
            const bool ours = key->modifiers() == Qt::NoModifier ||
                              key->modifiers() == Qt::ShiftModifier ||
                              key->modifiers() == Qt::KeypadModifier;
            if (ours && (ComputerKeys::Offset(key->key()) >= 0 ||
                         ComputerKeys::OctaveStep(key->key()) != 0)) {
                event->accept();
                return true;
            }
            break;
        }
        case QEvent::KeyPress:
        case QEvent::KeyRelease: {
            auto* key = static_cast<QKeyEvent*>(event);
            if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
                break;
            const bool press = event->type() == QEvent::KeyPress;
            const int before = keys_.Base();
            bool handled = false;
            Report(press ? keys_.Press(key->key(), key->isAutoRepeat(), &handled)
                         : keys_.Release(key->key(), key->isAutoRepeat(), &handled));
            if (keys_.Base() != before) emit rangeShown(QString::fromStdString(keys_.RangeText()));
            if (handled) return true;
            break;
        }
        case QEvent::FocusIn:
            emit rangeShown(QString::fromStdString(keys_.RangeText()));
            break;
        case QEvent::FocusOut:
            Report(keys_.ReleaseAll());
            break;
        default:
            break;
    }
    return QObject::eventFilter(watched, event);
}

void ComputerKeyPlayer::Report(const std::vector<NoteEvent>& events) {
    for (const NoteEvent& e : events)
        emit keyboard_->keyEvent(e.key, e.on);
}

}  // namespace talmeru
