#include "app/QtSoundPlayer.h"

#include <QSoundEffect>
#include <QUrl>
#include <filesystem>

namespace talmeru {

QtSoundPlayer::QtSoundPlayer() = default;

QtSoundPlayer::~QtSoundPlayer() {
    Stop();
}

bool QtSoundPlayer::Play(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return false;
    // A fresh effect per sound: the previous one stops and its data is freed.
    Stop();
    effect_ = std::make_unique<QSoundEffect>();
    QSoundEffect* effect = effect_.get();
    // The file loads in the background; it plays once it is ready, and the call returns at
    // once.
    QObject::connect(effect, &QSoundEffect::statusChanged, effect, [effect] {
        if (effect->status() == QSoundEffect::Ready && !effect->isPlaying()) effect->play();
    });
    effect->setSource(QUrl::fromLocalFile(QString::fromStdString(path)));
    if (effect->status() == QSoundEffect::Ready) effect->play();
    return true;
}

void QtSoundPlayer::Stop() {
    if (effect_) effect_->stop();
    effect_.reset();
}

}  // namespace talmeru
