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
    effect_->setSource(QUrl::fromLocalFile(QString::fromStdString(path)));
    // Starts once the file is loaded; the call returns at once.
    effect_->play();
    return true;
}

void QtSoundPlayer::Stop() {
    if (effect_) effect_->stop();
    effect_.reset();
}

}  // namespace talmeru
