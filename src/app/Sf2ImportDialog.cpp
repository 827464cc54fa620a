#include "app/Sf2ImportDialog.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/Profile.h"

namespace talmeru {

namespace {

enum Column { kName, kSize, kSamples };
constexpr const char* kWarning = "color: #c00000; font-weight: bold";

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

// A progress bar's range is an int: sample RAM is metered in kilobytes.
int MeterUnits(int64_t value, bool bytes) {
    return int(std::min<int64_t>(bytes ? value / 1024 : value, INT32_MAX));
}

}  // namespace

Sf2ImportDialog::Sf2ImportDialog(const std::string& path, Sf2ImportChoice choice, QWidget* parent)
    : QDialog(parent),
      choice_(std::move(choice)),
      presets_(new QRadioButton("By &presets (General MIDI numbers, drum kits)")),
      instruments_(new QRadioButton("By &instruments (one program each)")),
      pause_(new QTimer(this)) {
    setWindowTitle("SoundFont Import");
    auto* file = new QLabel(QFileInfo(Q(path)).fileName());
    file->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* modes = new QGroupBox("Convert");
    auto* modeLayout = new QVBoxLayout(modes);
    modeLayout->addWidget(presets_);
    modeLayout->addWidget(instruments_);
    (choice_.Mode() == Sf2Programs::kPresets ? presets_ : instruments_)->setChecked(true);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(file);
    layout->addWidget(modes);
    layout->addWidget(MakeList(), 1);
    layout->addWidget(MakeMeter());
    layout->addWidget(buttons);

    // Ticks in quick succession are estimated once, when they pause.
    pause_->setSingleShot(true);
    pause_->setInterval(150);
    connect(pause_, &QTimer::timeout, this, &Sf2ImportDialog::UpdateMeter);
    connect(presets_, &QRadioButton::toggled, this, &Sf2ImportDialog::ModeChosen);
    FillList();
    UpdateMeter();
    resize(560, 600);
}

QWidget* Sf2ImportDialog::MakeList() {
    auto* box = new QWidget;
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    list_ = new QTreeWidget;
    list_->setColumnCount(3);
    list_->setHeaderLabels({"Preset", "Size", "Samples"});
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->header()->setSectionResizeMode(kName, QHeaderView::Stretch);
    list_->header()->setSectionResizeMode(kSize, QHeaderView::ResizeToContents);
    list_->header()->setSectionResizeMode(kSamples, QHeaderView::ResizeToContents);
    list_->header()->setStretchLastSection(false);
    connect(list_, &QTreeWidget::itemChanged, this, &Sf2ImportDialog::ItemChanged);
    auto* all = new QPushButton("Select &All");
    auto* none = new QPushButton("Select &None");
    connect(all, &QPushButton::clicked, this, [this] { SetAll(true); });
    connect(none, &QPushButton::clicked, this, [this] { SetAll(false); });
    count_ = new QLabel;
    auto* row = new QHBoxLayout;
    row->addWidget(all);
    row->addWidget(none);
    row->addStretch(1);
    row->addWidget(count_);
    layout->addWidget(list_, 1);
    layout->addLayout(row);
    return box;
}

QWidget* Sf2ImportDialog::MakeMeter() {
    auto* box = new QGroupBox("Needed / the synthesizer holds");
    auto* grid = new QGridLayout(box);
    const std::vector<Sf2BudgetLine>& meter = choice_.Meter();
    for (int row = 0; row < 4; ++row) {
        meterBar_[row] = new QProgressBar;
        meterBar_[row]->setTextVisible(false);
        meterBar_[row]->setMaximumHeight(12);
        meterText_[row] = new QLabel;
        grid->addWidget(new QLabel(Q(meter[size_t(row)].label)), row, 0);
        grid->addWidget(meterBar_[row], row, 1);
        grid->addWidget(meterText_[row], row, 2);
    }
    grid->setColumnStretch(1, 1);
    over_ = new QLabel;
    over_->setWordWrap(true);
    over_->setStyleSheet(kWarning);
    grid->addWidget(over_, 4, 0, 1, 3);
    return box;
}

void Sf2ImportDialog::FillList() {
    filling_ = true;
    list_->clear();
    const Sf2Programs mode = choice_.Mode();
    list_->headerItem()->setText(kName, mode == Sf2Programs::kPresets ? "Preset" : "Instrument");
    const std::vector<Sf2CatalogEntry>& entries = choice_.Entries();
    for (const size_t i : choice_.Order()) {
        auto* item = new QTreeWidgetItem(list_);
        item->setData(kName, Qt::UserRole, qulonglong(i));
        item->setText(kName, Q(Sf2ImportChoice::EntryLabel(entries[i], mode)));
        item->setText(kSize, Q(Sf2ImportChoice::SizeText(entries[i].sampleBytes)));
        item->setText(kSamples, QString::number(entries[i].samples));
        item->setTextAlignment(kSize, Qt::AlignRight | Qt::AlignVCenter);
        item->setTextAlignment(kSamples, Qt::AlignRight | Qt::AlignVCenter);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(kName, choice_.Checked(i) ? Qt::Checked : Qt::Unchecked);
    }
    filling_ = false;
}

void Sf2ImportDialog::ModeChosen() {
    choice_.SetMode(presets_->isChecked() ? Sf2Programs::kPresets : Sf2Programs::kInstruments);
    FillList();
    UpdateMeter();
}

void Sf2ImportDialog::ItemChanged(QTreeWidgetItem* item) {
    if (filling_) return;
    choice_.SetChecked(size_t(item->data(kName, Qt::UserRole).toULongLong()),
                       item->checkState(kName) == Qt::Checked);
    ShowCount();
    pause_->start();
}

void Sf2ImportDialog::SetAll(bool on) {
    choice_.SetAll(on);
    FillList();
    UpdateMeter();
}

void Sf2ImportDialog::ShowCount() {
    count_->setText(
        QString("%1 of %2 chosen").arg(choice_.CheckedCount()).arg(list_->topLevelItemCount()));
}

void Sf2ImportDialog::UpdateMeter() {
    pause_->stop();
    ShowCount();
    const std::vector<Sf2BudgetLine>& meter = choice_.Meter();
    for (int row = 0; row < 4; ++row) {
        const Sf2BudgetLine& line = meter[size_t(row)];
        const bool bytes = row == 3;
        // No known limit: the bar shows nothing rather than a full one.
        const int top = line.available > 0 ? MeterUnits(line.available, bytes) : 1;
        meterBar_[row]->setRange(0, std::max(top, 1));
        meterBar_[row]->setValue(
            line.available > 0 ? std::min(MeterUnits(line.needed, bytes), top) : 0);
        meterText_[row]->setText(Q(line.text));
        meterText_[row]->setStyleSheet(line.over ? kWarning : "");
    }
    const bool over = choice_.OverBudget();
    over_->setText(over ? Q(choice_.OverBudgetText()) : QString());
    over_->setVisible(over);
}

std::optional<Sf2Choice> Sf2ImportDialog::Ask(const std::string& path, const Sf2Catalog& catalog,
                                              Profile& settings, int64_t sampleRamTotal,
                                              QWidget* parent) {
    Sf2ImportChoice choice(catalog, Sf2ImportChoice::StoredMode(settings),
                           Sf2ImportChoice::BudgetFor(sampleRamTotal),
                           [path](const Sf2Choice& c) { return EstimateSf2Needs(path, c); });
    Sf2ImportDialog dialog(path, std::move(choice), parent);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    Sf2ImportChoice::StoreMode(settings, dialog.Model().Mode());
    return dialog.Model().Choice();
}

}  // namespace talmeru
