#pragma once
// Tells the window's thread when the system ends the program: SIGTERM or SIGHUP (a shutdown,
// a closed terminal). Nobody can be asked then, so the unsaved bank is kept without asking.
#include <QObject>

class QSocketNotifier;

namespace talmeru {

class SystemEndWatcher : public QObject {
    Q_OBJECT
  public:
    explicit SystemEndWatcher(QObject* parent = nullptr);
    ~SystemEndWatcher() override;

  signals:
    void ending();

  private:
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace talmeru
