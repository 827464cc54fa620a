#include "widgets/ProgressWindows.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <thread>

namespace talmeru {

namespace {

// Carries the worker's reports to the window's thread.
class QueuedObserver : public UploadObserver {
  public:
    QueuedObserver(QLabel* text, QProgressBar* bar, QEventLoop* loop)
        : text_(text), bar_(bar), loop_(loop) {}
    void ObjectText(const std::string& s) override {
        QMetaObject::invokeMethod(
            text_, [l = text_, t = QString::fromStdString(s)] { l->setText(t); },
            Qt::QueuedConnection);
    }
    void Percent(int, int percent) override {
        QMetaObject::invokeMethod(
            bar_, [b = bar_, percent] { b->setValue(percent); }, Qt::QueuedConnection);
    }
    void Ended() override {
        QMetaObject::invokeMethod(
            loop_, [l = loop_] { l->quit(); }, Qt::QueuedConnection);
    }

  private:
    QLabel* text_;
    QProgressBar* bar_;
    QEventLoop* loop_;
};

}  // namespace

bool UploadWindow::RunUpload(const Work& work) {
    QDialog dialog(parent_);
    dialog.setWindowTitle("Uploading");
    dialog.setModal(true);
    auto* layout = new QVBoxLayout(&dialog);
    auto* text = new QLabel(&dialog);
    text->setMinimumWidth(300);
    auto* bar = new QProgressBar(&dialog);
    bar->setRange(0, 100);
    auto* cancelButton = new QPushButton("Cancel", &dialog);
    layout->addWidget(text);
    layout->addWidget(bar);
    layout->addWidget(cancelButton);

    QEventLoop loop;
    std::atomic<bool> cancel{false};
    std::atomic<bool> done{false};
    QObject::connect(cancelButton, &QPushButton::clicked, [&] {
        cancel = true;
        cancelButton->setEnabled(false);
    });
    QueuedObserver observer(text, bar, &loop);
    dialog.show();
    std::thread worker([&] {
        work(observer, cancel);
        done = true;
        observer.Ended();
    });
    // The worker may end before the loop runs; then its queued quit arrives in the loop.
    if (!done) loop.exec();
    worker.join();
    return cancel;
}

DownloadWindow::DownloadWindow(QWidget* parent, std::function<void()> cancel)
    : parent_(parent), cancel_(std::move(cancel)) {}

DownloadWindow::~DownloadWindow() {
    delete dialog_;
}

void DownloadWindow::Reached(int type, int number) {
    // Rows: keymaps, sample headers and programs of 512 each, then three short ones.
    const int done = type <= 3 ? (type - 1) * 512 + number : 3 * 512 + (type - 4) * 20 + number;
    if (!dialog_) {
        dialog_ = new QDialog(parent_);
        dialog_->setWindowTitle("Downloading");
        dialog_->setModal(true);
        dialog_->setProperty(kProgressWindowProperty, true);
        auto* layout = new QVBoxLayout(dialog_);
        bar_ = new QProgressBar(dialog_);
        bar_->setRange(0, 3 * 512 + 3 * 20);
        auto* cancel = new QPushButton("Cancel", dialog_);
        QObject::connect(cancel, &QPushButton::clicked, [this, cancel] {
            cancel->setEnabled(false);
            cancel_();
        });
        layout->addWidget(bar_);
        layout->addWidget(cancel);
        dialog_->show();
    }
    bar_->setValue(done);
    if (done + 1 >= bar_->maximum()) dialog_->hide();
}

ConversionStatusWindow::ConversionStatusWindow(bool& wanted, QWidget* parent)
    : QDialog(parent), wanted_(wanted) {
    setWindowTitle("KRZ Conversion Status");
    auto* layout = new QVBoxLayout(this);
    text_ = new QPlainTextEdit(this);
    text_->setReadOnly(true);
    again_ = new QCheckBox("Show this status window in the future.", this);
    again_->setChecked(wanted_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(again_, &QCheckBox::toggled, this, [this](bool on) { wanted_ = on; });
    layout->addWidget(text_);
    layout->addWidget(again_);
    layout->addWidget(buttons);
    resize(480, 320);
}

void ConversionStatusWindow::Clear() {
    text_->clear();
}

void ConversionStatusWindow::Add(const std::string& line) {
    text_->appendPlainText(QString::fromStdString(line));
    emit lineAdded(QString::fromStdString(line).trimmed());
}

void ConversionStatusWindow::ShowIfWanted() {
    // The option may have changed elsewhere (the Properties sheet) since the box was made.
    again_->setChecked(wanted_);
    if (!text_->toPlainText().isEmpty() && wanted_) exec();
}

}  // namespace talmeru
