#include "app/BankFileSaveDialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLineEdit>
#include <QScreen>

#include "files/BankFormats.h"
#include "files/Pbf.h"

namespace talmeru {

CBankFileSaveDialog::CBankFileSaveDialog(const std::string& current, QWidget* parent)
    : QFileDialog(parent, "Save Bank File", QString::fromStdString(current),
                  QString::fromStdString(SaveBankFilter())) {
    // The platform's own dialog takes no extra controls.
    setOption(QFileDialog::DontUseNativeDialog);
    setAcceptMode(QFileDialog::AcceptSave);
    setDefaultSuffix("pbf");
    wavBox_ = new QCheckBox("Create all .WAV files in same directory (*.PBF only)", this);
    if (auto* grid = qobject_cast<QGridLayout*>(layout()))
        grid->addWidget(wavBox_, grid->rowCount(), 0, 1, grid->columnCount());
    const int type = SaveBankTypes::TypeForName(current);
    selectNameFilter(nameFilters().value(type));
    wavBox_->setEnabled(SaveBankTypes::WavBoxEnabled(type));
    connect(this, &QFileDialog::filterSelected, this,
            [this](const QString& filter) { TypeChosen(int(nameFilters().indexOf(filter))); });
    if (QScreen* screen = parent ? parent->screen() : nullptr) {
        adjustSize();
        move(screen->availableGeometry().center() - rect().center());
    }
}

int CBankFileSaveDialog::Type() const {
    return int(nameFilters().indexOf(selectedNameFilter()));
}

std::string CBankFileSaveDialog::CurrentName() const {
    if (auto* edit = findChild<QLineEdit*>("fileNameEdit")) return edit->text().toStdString();
    return {};
}

void CBankFileSaveDialog::ChooseType(int type) {
    selectNameFilter(nameFilters().value(type));
    TypeChosen(type);
}

void CBankFileSaveDialog::TypeChosen(int type) {
    wavBox_->setEnabled(SaveBankTypes::WavBoxEnabled(type));
    const std::string name = CurrentName();
    const std::string renamed = SaveBankTypes::WithType(name, type);
    if (renamed != name) selectFile(QString::fromStdString(renamed));
}

std::string CBankFileSaveDialog::ChosenPath() const {
    const QStringList files = selectedFiles();
    return files.isEmpty() ? std::string() : files.front().toStdString();
}

int CBankFileSaveDialog::SaveOptions() const {
    return SaveBankTypes::SaveOptions(ChosenPath(), wavBox_->isEnabled() && wavBox_->isChecked());
}

}  // namespace talmeru
