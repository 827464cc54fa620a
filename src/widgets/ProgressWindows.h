#pragma once
// The upload progress window (the worker reports from its own thread through queued calls;
// Cancel sets the worker's cancel flag) and the conversion status window of imports.
#include <QDialog>
#include <functional>

#include "files/ConversionLog.h"
#include "model/BankTransfer.h"

class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QProgressBar;

namespace talmeru {

// Marks the progress windows that take user input while the link waits.
inline constexpr const char* kProgressWindowProperty = "talmeruProgressWindow";

class UploadWindow : public UploadHost {
  public:
    explicit UploadWindow(QWidget* parent) : parent_(parent) {}
    bool RunUpload(const Work& work) override;

  private:
    QWidget* parent_;
};

// The whole-bank download's progress on the window's thread (the link's wait keeps it
// painting); Cancel makes the link give up the waiting request.
class DownloadWindow : public DownloadObserver {
  public:
    DownloadWindow(QWidget* parent, std::function<void()> cancel);
    ~DownloadWindow() override;
    void Reached(int type, int number) override;
    // The window once the first object arrived (none before).
    QDialog* Window() const { return dialog_; }

  private:
    QWidget* parent_;
    std::function<void()> cancel_;
    QDialog* dialog_ = nullptr;
    QProgressBar* bar_ = nullptr;
};

// Lists an import's log; shown after the import when "Show this status window in the
// future." stays ticked (the choice is kept in the settings).
class ConversionStatusWindow : public QDialog, public ConversionLog {
    Q_OBJECT
  public:
    // wanted: the import-prompt option, changed by the tick box.
    ConversionStatusWindow(bool& wanted, QWidget* parent);
    void Clear() override;
    void Add(const std::string& line) override;
    // Shows the log unless the user asked not to see it; modal.
    void ShowIfWanted();
    QPlainTextEdit* Text() const { return text_; }

  signals:
    // Each line as it is added, without its line ending.
    void lineAdded(const QString& line);

  private:
    bool& wanted_;
    QPlainTextEdit* text_;
    QCheckBox* again_;
};

}  // namespace talmeru
