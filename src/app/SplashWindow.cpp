#include "app/SplashWindow.h"

#include <QFont>
#include <QKeyEvent>
#include <QLinearGradient>
#include <QPainter>
#include <QTimer>

#include "application/TalmeruApp.h"

namespace talmeru {

namespace {

QPixmap SplashPicture() {
    QPixmap picture(420, 220);
    QPainter p(&picture);
    QLinearGradient sky(0, 0, 0, picture.height());
    sky.setColorAt(0, QColor(0x10, 0x20, 0x40));
    sky.setColorAt(1, QColor(0x30, 0x60, 0x90));
    p.fillRect(picture.rect(), sky);
    // A row of piano keys along the bottom edge.
    const int keyTop = 160, white = 20;
    for (int x = 0; x < picture.width(); x += white)
        p.fillRect(x + 1, keyTop, white - 2, picture.height() - keyTop, Qt::white);
    for (int x = 0, k = 0; x < picture.width(); x += white, ++k) {
        if (k % 7 != 2 && k % 7 != 6) p.fillRect(x + 14, keyTop, 12, 34, Qt::black);
    }
    p.setPen(Qt::white);
    QFont title("Sans", 34, QFont::Bold);
    p.setFont(title);
    p.drawText(QRect(0, 24, picture.width(), 60), Qt::AlignCenter, "Talmeru");
    p.setFont(QFont("Sans", 11));
    p.drawText(QRect(0, 86, picture.width(), 24), Qt::AlignCenter,
               "Sound banks for the Kurzweil MA-1");
    const int v = kTalmeruVersion;
    p.drawText(QRect(0, 112, picture.width(), 24), Qt::AlignCenter,
               QString("Version %1.%2.%3").arg(v >> 8).arg((v >> 4) & 15).arg(v & 15));
    return picture;
}

}  // namespace

CSplashWindow::CSplashWindow() : QSplashScreen(SplashPicture()) {
    setAttribute(Qt::WA_DeleteOnClose);
    QTimer::singleShot(kSplashMilliseconds, this, &QWidget::close);
}

void CSplashWindow::keyPressEvent(QKeyEvent*) {
    close();
}

void CSplashWindow::mousePressEvent(QMouseEvent*) {
    close();
}

}  // namespace talmeru
