#include "app/QtSoundPlayer.h"

#include <QEventLoop>
#include <QSoundEffect>
#include <QUrl>
#include <filesystem>
#include <system_error>

namespace talmeru {

bool QtSoundPlayer::PlayToEnd(const std::string& path) {
    std::error_code ec;
    // A missing file plays nothing at all rather than a default sound.
    if (waiting_ || !std::filesystem::is_regular_file(path, ec)) return false;
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
}

}  // namespace talmeru
