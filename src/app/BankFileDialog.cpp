#include "app/BankFileDialog.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include "files/BankFormats.h"

namespace talmeru {

CBankFileDialog::CBankFileDialog(QWidget* parent, SoundPlayer* player)
    : QFileDialog(parent, "Open Bank File", {}, QString::fromStdString(OpenBankFilter())),
      player_(player ? player : &CurrentSoundPlayer()) {
    // The platform's own dialog takes no extra panel.
    setOption(QFileDialog::DontUseNativeDialog);
    setAcceptMode(QFileDialog::AcceptOpen);
    setFileMode(QFileDialog::ExistingFile);
    setDefaultSuffix("pbf");
    status_ = new QLabel(this);
    play_ = new QPushButton("Play", this);
    play_->setToolTip("Plays the wave files of the bank");
    play_->setEnabled(false);
    stop_ = new QPushButton("Stop", this);
    stop_->setEnabled(false);
    playing_ = new QLabel(this);
    auto* panel = new QWidget(this);
    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(new QLabel("Preview:", panel));
    row->addWidget(status_);
    row->addWidget(play_);
    row->addWidget(stop_);
    row->addWidget(playing_, 1);
    if (auto* grid = qobject_cast<QGridLayout*>(layout()))
        grid->addWidget(panel, grid->rowCount(), 0, 1, grid->columnCount());
    connect(this, &QFileDialog::currentChanged, this, &CBankFileDialog::Selected);
    connect(play_, &QPushButton::clicked, this, &CBankFileDialog::Play);
    connect(stop_, &QPushButton::clicked, this, [this] {
        stopped_ = true;
        player_->Stop();
    });
}

CBankFileDialog::~CBankFileDialog() = default;

std::string CBankFileDialog::ChosenPath() const {
    const QStringList files = selectedFiles();
    return files.isEmpty() ? std::string() : files.front().toStdString();
}

void CBankFileDialog::Selected(const QString& path) {
    status_->setText(QString::fromStdString(preview_.Select(path.toStdString())));
    play_->setEnabled(preview_.CanPlay());
}

void CBankFileDialog::Play() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    play_->setEnabled(false);
    stop_->setEnabled(true);
    stopped_ = false;
    for (const std::string& path : preview_.PlayList()) {
        if (stopped_) break;
        playing_->setText(QString::fromStdString(path));
        player_->PlayToEnd(path);
    }
    playing_->clear();
    stop_->setEnabled(false);
    play_->setEnabled(preview_.CanPlay());
    QApplication::restoreOverrideCursor();
}

void CBankFileDialog::done(int result) {
    stopped_ = true;
    player_->Stop();
    QFileDialog::done(result);
}

}  // namespace talmeru
