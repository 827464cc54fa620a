#pragma once
// The "Open Wave File" chooser: a file dialog with a side panel that describes the file
// under the cursor, plays it, and with "Auto-play" plays each file as it is chosen. The
// sample editor and the wizards use it.
#include <QFileDialog>
#include <string>
#include <vector>

class QCheckBox;
class QLabel;
class QPushButton;

namespace talmeru {

class Profile;

class CWaveFileDialog : public QFileDialog {
    Q_OBJECT
  public:
    CWaveFileDialog(Profile& settings, bool multiple, QWidget* parent = nullptr);
    ~CWaveFileDialog() override;

    std::vector<std::string> ChosenFiles() const;
    // Shows the panel for a file, as the dialog does when the cursor moves.
    void Describe(const QString& path);

    QLabel* NameLabel() const { return name_; }
    QLabel* FormatLabel() const { return format_; }
    QLabel* SamplesLabel() const { return samples_; }
    QLabel* BitsLabel() const { return bits_; }
    QLabel* NoteLabel() const { return note_; }
    QCheckBox* StereoBox() const { return stereo_; }
    QCheckBox* AutoPlayBox() const { return autoPlay_; }
    QPushButton* PlayButton() const { return play_; }

    // Runs the dialog: the chosen files, none when cancelled.
    static std::vector<std::string> Ask(Profile& settings, bool multiple, QWidget* parent);

  protected:
    void done(int result) override;

  private:
    Profile& settings_;
    QString shown_;
    QLabel* name_;
    QLabel* format_;
    QLabel* samples_;
    QLabel* bits_;
    QLabel* note_;
    QCheckBox* stereo_;
    QCheckBox* autoPlay_;
    QPushButton* play_;
    QPushButton* stop_;
};

}  // namespace talmeru
