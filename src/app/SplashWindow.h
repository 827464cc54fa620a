#pragma once
// The start-up picture, drawn in code: it closes by itself after a moment, or at once at a
// key or mouse press on it.
#include <QSplashScreen>

namespace talmeru {

inline constexpr int kSplashMilliseconds = 800;

class CSplashWindow : public QSplashScreen {
    Q_OBJECT
  public:
    CSplashWindow();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
};

}  // namespace talmeru
