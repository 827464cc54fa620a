#pragma once
// The open-bank dialog: the file dialog with a panel that previews a Pinnacle Bank File and
// plays the WAV files its samples use.
#include <QFileDialog>
#include <memory>
#include <string>

#include "app/BankPreview.h"
#include "platform/SoundPlayer.h"

class QLabel;
class QPushButton;

namespace talmeru {

class SoundPlayer;

class CBankFileDialog : public QFileDialog {
    Q_OBJECT
  public:
    // player: plays the preview's files (none: the system's audio).
    explicit CBankFileDialog(QWidget* parent, SoundPlayer* player = nullptr);
    ~CBankFileDialog() override;
    std::string ChosenPath() const;

    QLabel* StatusText() const { return status_; }
    QPushButton* PlayButton() const { return play_; }
    QPushButton* StopButton() const { return stop_; }
    QLabel* PlayingName() const { return playing_; }
    const BankPreview& Preview() const { return preview_; }
    // As when the selection moves to path.
    void Selected(const QString& path);
    void Play();
    // Closing the dialog ends what it plays.
    void done(int result) override;

  private:
    BankPreview preview_;
    SoundPlayer* player_;
    QLabel* status_;
    QPushButton* play_;
    QPushButton* stop_;
    QLabel* playing_;
    bool stopped_ = false;
};

}  // namespace talmeru
