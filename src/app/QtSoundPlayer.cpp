#include "app/QtSoundPlayer.h"

#include <QEventLoop>
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

bool QtSoundPlayer::PlayToEnd(const std::string& path) {
    std::error_code ec;
    // A missing file plays nothing at all rather than a default sound.
    if (waiting_ || !std::filesystem::is_regular_file(path, ec)) return false;
    Stop();
    QSoundEffect effect;
    QEventLoop loop;
    bool failed = false;
    QObject::connect(&effect, &QSoundEffect::statusChanged, &loop, [&] {
        if (effect.status() == QSoundEffect::Ready) {
            effect.play();
        } else if (effect.status() == QSoundEffect::Error) {
            failed = true;
            loop.quit();
        }
    });
    QObject::connect(&effect, &QSoundEffect::playingChanged, &loop, [&] {
        if (!effect.isPlaying()) loop.quit();
    });
    effect.setSource(QUrl::fromLocalFile(QString::fromStdString(path)));
    if (effect.status() == QSoundEffect::Error) return false;
    waiting_ = &loop;
    loop.exec();
    waiting_ = nullptr;
    effect.stop();
    return !failed;
}

void QtSoundPlayer::Stop() {
    if (waiting_) waiting_->quit();
    if (effect_) effect_->stop();
    effect_.reset();
}

}  // namespace talmeru
