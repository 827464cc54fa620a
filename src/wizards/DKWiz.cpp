#include "wizards/DKWiz.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "model/NoteNames.h"
#include "model/Program.h"
#include "model/ZedoDatabase.h"
#include "platform/Format.h"
#include "platform/Prompter.h"
#include "platform/SoundPlayer.h"
#include "widgets/KeyboardLayout.h"
#include "widgets/WaveFileDialog.h"

namespace talmeru {

namespace {

constexpr int kKeyRole = Qt::UserRole + 1;
constexpr int kKeyWidth = 56;
constexpr int kBlackKeyWidth = 34;
constexpr int kRowHeight = 20;

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

DrumKit StartingKit(const ZedoDatabase& bank, const Program* current, bool autoProgramReplace) {
    DrumKit kit;
    kit.Begin(bank, current, autoProgramReplace);
    return kit;
}

QToolButton* ArrowButton(Qt::ArrowType arrow, QWidget* parent) {
    auto* b = new QToolButton(parent);
    b->setArrowType(arrow);
    b->setAutoRepeat(true);
    return b;
}

// Draws a layout row as its piano key (white, or a shorter black key over a white edge)
// with the note name, then the sample's name.
class PianoKeyDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const int key = index.data(kKeyRole).toInt();
        const bool black = IsBlackKey(key);
        const QRect r = option.rect;
        painter->save();
        if (option.state & QStyle::State_Selected) painter->fillRect(r, option.palette.highlight());
        const QRect white(r.left(), r.top(), kKeyWidth, r.height() - 1);
        painter->fillRect(white, Qt::white);
        painter->setPen(Qt::black);
        painter->drawRect(white);
        QRect keyRect = white;
        if (black) {
            keyRect = QRect(r.left(), r.top() + 2, kBlackKeyWidth, r.height() - 5);
            painter->fillRect(keyRect, Qt::black);
        }
        painter->setPen(black ? Qt::white : Qt::black);
        painter->drawText(keyRect.adjusted(3, 0, -2, 0), Qt::AlignVCenter | Qt::AlignLeft,
                          Q(NoteName(key)));
        painter->setPen((option.state & QStyle::State_Selected)
                            ? option.palette.color(QPalette::HighlightedText)
                            : option.palette.color(QPalette::Text));
        painter->drawText(r.adjusted(kKeyWidth + 8, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft,
                          index.data(Qt::DisplayRole).toString());
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize s = QStyledItemDelegate::sizeHint(option, index);
        return {s.width() + kKeyWidth + 8, std::max(s.height(), kRowHeight)};
    }
};

}  // namespace

// ---------------------------------------------------------------------------------------
// File page

DKWiz0::DKWiz0(DrumKit& kit, Profile& settings, QWidget* parent)
    : QWizardPage(parent),
      kit_(kit),
      list_(new QTreeWidget(this)),
      add_(new QPushButton("Add", this)),
      remove_(new QPushButton("Remove", this)) {
    setTitle("Select wave files");
    auto* explanation = new QLabel(
        "Choose the wave files that make up the drum kit, up to 128. Each sample will be "
        "placed on a key of its own; on the next pages you can arrange the keys and give each "
        "sample a pan position and a pitch shift.",
        this);
    explanation->setWordWrap(true);
    list_->setColumnCount(1);
    list_->setHeaderLabels({"Wave Filename"});
    list_->setRootIsDecorated(false);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->installEventFilter(this);
    for (const std::string& path : kit_.Files())
        list_->addTopLevelItem(new QTreeWidgetItem(QStringList{Q(path)}));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(add_);
    buttons->addWidget(remove_);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(explanation);
    layout->addWidget(list_);
    layout->addLayout(buttons);

    chooseFiles = [this, &settings] { return CWaveFileDialog::Ask(settings, true, this); };
    connect(add_, &QPushButton::clicked, this, [this] { AddFiles(chooseFiles()); });
    connect(remove_, &QPushButton::clicked, this, &DKWiz0::RemoveSelected);
    connect(list_, &QTreeWidget::itemSelectionChanged, this,
            [this] { remove_->setEnabled(!list_->selectedItems().isEmpty()); });
    remove_->setEnabled(false);
}

std::vector<std::string> DKWiz0::Paths() const {
    std::vector<std::string> paths;
    for (int i = 0; i < list_->topLevelItemCount(); ++i)
        paths.push_back(list_->topLevelItem(i)->text(0).toStdString());
    return paths;
}

void DKWiz0::AddFiles(const std::vector<std::string>& paths) {
    if (paths.empty()) return;
    std::vector<std::string> all = Paths();
    const size_t before = all.size();
    DrumKit::AppendFiles(all, paths);
    for (size_t i = before; i < all.size(); ++i)
        list_->addTopLevelItem(new QTreeWidgetItem(QStringList{Q(all[i])}));
    emit completeChanged();
}

void DKWiz0::RemoveSelected() {
    qDeleteAll(list_->selectedItems());
    emit completeChanged();
}

bool DKWiz0::eventFilter(QObject* watched, QEvent* event) {
    if (watched == list_ && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
        RemoveSelected();
        return true;
    }
    return QWizardPage::eventFilter(watched, event);
}

bool DKWiz0::isComplete() const {
    return list_->topLevelItemCount() > 0;
}

bool DKWiz0::validatePage() {
    kit_.SetFiles(Paths());
    return true;
}

// ---------------------------------------------------------------------------------------
// Layout rows

CDrumSlotList::CDrumSlotList(QWidget* parent) : QListWidget(parent) {
    setItemDelegate(new PianoKeyDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
}

void CDrumSlotList::mousePressEvent(QMouseEvent* event) {
    QListWidgetItem* item = itemAt(event->position().toPoint());
    pressed_ = item ? row(item) : -1;
    QListWidget::mousePressEvent(event);
}

void CDrumSlotList::mouseReleaseEvent(QMouseEvent* event) {
    QListWidgetItem* item = itemAt(event->position().toPoint());
    const int to = item ? row(item) : -1;
    const int from = pressed_;
    pressed_ = -1;
    QListWidget::mouseReleaseEvent(event);
    if (from >= 0 && to >= 0 && from != to) emit SwapRows(from, to);
}

// ---------------------------------------------------------------------------------------
// Layout page

DKWiz1::DKWiz1(DrumKit& kit, Profile& settings, QWidget* parent)
    : QWizardPage(parent),
      kit_(kit),
      settings_(settings),
      lowestLabel_(new QLabel("Lowest Note", this)),
      note_(new QLabel(this)),
      up_(ArrowButton(Qt::UpArrow, this)),
      down_(ArrowButton(Qt::DownArrow, this)),
      whiteOnly_(new QRadioButton("White Keys Only", this)),
      whiteAndBlack_(new QRadioButton("White and Black Keys", this)),
      rows_(new CDrumSlotList(this)),
      play_(new QPushButton("Play", this)),
      stop_(new QPushButton("Stop", this)),
      duplicate_(new QPushButton("Duplicate", this)),
      remove_(new QPushButton("Remove", this)),
      quiet_(new QPushButton("Insert Quiet Key", this)),
      shift_(new QRadioButton("Shift samples up/down.", this)),
      noShift_(new QRadioButton("Don't shift samples", this)) {
    setTitle("Arrange the keys");
    kit_.ReadLayoutSettings(settings_);
    note_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    note_->setMinimumWidth(48);
    auto* spacing = new QButtonGroup(this);
    spacing->addButton(whiteOnly_, kWhiteKeysOnly);
    spacing->addButton(whiteAndBlack_, kWhiteAndBlackKeys);
    auto* mode = new QButtonGroup(this);
    mode->addButton(shift_, kShiftSamples);
    mode->addButton(noShift_, kDontShift);

    auto* spin = new QVBoxLayout;
    spin->setSpacing(0);
    spin->addWidget(up_);
    spin->addWidget(down_);
    auto* top = new QHBoxLayout;
    top->addWidget(lowestLabel_);
    top->addWidget(note_);
    top->addLayout(spin);
    top->addSpacing(16);
    top->addWidget(whiteOnly_);
    top->addWidget(whiteAndBlack_);
    top->addStretch();
    auto* side = new QVBoxLayout;
    side->addWidget(play_);
    side->addWidget(stop_);
    side->addSpacing(12);
    side->addWidget(duplicate_);
    side->addWidget(remove_);
    side->addWidget(quiet_);
    side->addSpacing(12);
    side->addWidget(shift_);
    side->addWidget(noShift_);
    side->addStretch();
    auto* middle = new QHBoxLayout;
    middle->addWidget(rows_, 1);
    middle->addLayout(side);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(middle);

    connect(up_, &QToolButton::clicked, this, [this] { Step(+1); });
    connect(down_, &QToolButton::clicked, this, [this] { Step(-1); });
    connect(spacing, &QButtonGroup::idClicked, this, [this](int id) {
        kit_.spacing = id;
        Fill(Selected());
    });
    connect(mode, &QButtonGroup::idClicked, this, [this](int id) { kit_.shiftMode = id; });
    connect(rows_, &QListWidget::currentRowChanged, this, [this] { UpdateButtons(); });
    connect(rows_, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* item) { Play(rows_->row(item)); });
    connect(rows_, &CDrumSlotList::SwapRows, this, [this](int from, int to) {
        if (kit_.Swap(from, to)) Fill(to);
    });
    connect(play_, &QPushButton::clicked, this, [this] { Play(Selected()); });
    connect(stop_, &QPushButton::clicked, this, [] { CurrentSoundPlayer().Stop(); });
    connect(duplicate_, &QPushButton::clicked, this, [this] { Fill(kit_.Duplicate(Selected())); });
    connect(remove_, &QPushButton::clicked, this, [this] { Fill(kit_.Remove(Selected())); });
    connect(quiet_, &QPushButton::clicked, this, [this] { Fill(kit_.InsertQuietKey(Selected())); });
}

DKWiz1::~DKWiz1() {
    if (played_) CurrentSoundPlayer().Stop();
}

void DKWiz1::SaveSettings() {
    kit_.WriteLayoutSettings(settings_);
}

void DKWiz1::initializePage() {
    const bool locked = kit_.EnterLayout();
    for (QWidget* w : std::initializer_list<QWidget*>{whiteOnly_, whiteAndBlack_, up_, down_,
                                                      lowestLabel_, note_})
        w->setEnabled(!locked);
    Fill(0);
}

bool DKWiz1::validatePage() {
    if (kit_.LeaveLayout()) Fill(Selected());
    return true;
}

int DKWiz1::Selected() const {
    return rows_->currentItem() && rows_->currentItem()->isSelected() ? rows_->currentRow() : -1;
}

void DKWiz1::ShowLowest() {
    note_->setText(Q(NoteName(kit_.lowest)));
    (kit_.spacing == kWhiteAndBlackKeys ? whiteAndBlack_ : whiteOnly_)->setChecked(true);
    (kit_.shiftMode == kDontShift ? noShift_ : shift_)->setChecked(true);
}

void DKWiz1::Fill(int select) {
    rows_->clear();
    for (int i = 0; i < static_cast<int>(kit_.Slots().size()); ++i) {
        auto* item = new QListWidgetItem(Q(kit_.SlotText(i)));
        item->setData(kKeyRole, kit_.SlotKey(i));
        rows_->addItem(item);
    }
    if (select >= 0 && select < rows_->count()) rows_->setCurrentRow(select);
    ShowLowest();
    UpdateButtons();
}

void DKWiz1::UpdateButtons() {
    const int row = Selected();
    const bool room = kit_.Slots().size() < size_t(kMaxDrumSamples);
    duplicate_->setEnabled(row >= 0 && room);
    remove_->setEnabled(row >= 0);
    quiet_->setEnabled(room);
    play_->setEnabled(row >= 0 && !kit_.SlotPath(row).empty());
}

void DKWiz1::Step(int delta) {
    const int v = kit_.StepLowest(delta);
    if (v == kit_.lowest) return;
    kit_.lowest = v;
    Fill(Selected());
}

void DKWiz1::Play(int row) {
    const std::string path = kit_.SlotPath(row);
    if (path.empty()) return;
    played_ = true;
    CurrentSoundPlayer().Play(path);
}

// ---------------------------------------------------------------------------------------
// Pan and pitch page

DKWiz3::DKWiz3(DrumKit& kit, QWidget* parent)
    : QWizardPage(parent),
      kit_(kit),
      list_(new QTreeWidget(this)),
      up_(ArrowButton(Qt::UpArrow, this)),
      down_(ArrowButton(Qt::DownArrow, this)),
      pan_(new QSlider(Qt::Horizontal, this)) {
    setTitle("Pan and pitch");
    list_->setColumnCount(4);
    list_->setHeaderLabels({"Sample", "Key", "Pan", "Pitch"});
    list_->setRootIsDecorated(false);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    pan_->setRange(0, 2 * kMaxPanGroup);
    pan_->setValue(kMaxPanGroup);
    pan_->setTickPosition(QSlider::TicksBelow);
    pan_->setPageStep(1);

    auto* spin = new QVBoxLayout;
    spin->setSpacing(0);
    spin->addWidget(up_);
    spin->addWidget(down_);
    auto* controls = new QHBoxLayout;
    controls->addWidget(new QLabel("Semitone Shift:", this));
    controls->addLayout(spin);
    controls->addSpacing(24);
    controls->addWidget(new QLabel("Pan Position", this));
    controls->addWidget(pan_, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_);
    layout->addLayout(controls);

    connect(up_, &QToolButton::clicked, this, [this] { Shift(+1); });
    connect(down_, &QToolButton::clicked, this, [this] { Shift(-1); });
    connect(pan_, &QSlider::valueChanged, this, [this](int position) {
        kit_.SetPanPosition(SelectedRows(), position);
        Fill();
    });
    // The slider shows where the first selected row sits.
    connect(list_, &QTreeWidget::itemSelectionChanged, this, [this] {
        const std::vector<int> rows = SelectedRows();
        if (rows.empty()) return;
        const QSignalBlocker quiet(pan_);
        pan_->setValue(kit_.Slots()[size_t(rows.front())].pan + kMaxPanGroup);
    });
}

void DKWiz3::initializePage() {
    list_->clear();
    for (size_t i = 0; i < kit_.Slots().size(); ++i)
        list_->addTopLevelItem(new QTreeWidgetItem(QStringList(4, QString())));
    Fill();
}

std::vector<int> DKWiz3::SelectedRows() const {
    std::vector<int> rows;
    for (int i = 0; i < list_->topLevelItemCount(); ++i)
        if (list_->topLevelItem(i)->isSelected()) rows.push_back(i);
    return rows;
}

void DKWiz3::Fill() {
    for (int i = 0; i < list_->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = list_->topLevelItem(i);
        const DrumSlot& s = kit_.Slots()[size_t(i)];
        const bool quiet = kit_.SlotPath(i).empty();
        item->setText(0, Q(kit_.SlotText(i)));
        item->setText(1, Q(NoteName(kit_.SlotKey(i))));
        item->setText(2, quiet ? QString() : Q(PanText(s.pan)));
        item->setText(3, quiet ? QString() : Q(Fmt("%+d", s.shift)));
    }
}

void DKWiz3::Shift(int delta) {
    kit_.ShiftRows(SelectedRows(), delta);
    Fill();
}

// ---------------------------------------------------------------------------------------
// Finish page

DKWiz2::DKWiz2(DrumKit& kit, const ZedoDatabase& bank, int currentNumber, Profile& settings,
               QWidget* parent)
    : QWizardPage(parent),
      kit_(kit),
      bank_(bank),
      currentNumber_(currentNumber),
      settings_(settings),
      addLayers_(new QRadioButton("Add drum kit as new layer to current Program", this)),
      newProgram_(new QRadioButton("Make drum kit as a new Program  ...", this)),
      name_(new QLineEdit(this)),
      number_(new QSpinBox(this)),
      noteOff_(new QCheckBox("Note Off stops playback", this)),
      loop_(new QCheckBox("Use loop information from *.wav files", this)) {
    setTitle("Finish");
    kit_.ReadFinishSettings(settings_);
    noteOff_->setChecked(kit_.noteOffStops);
    loop_->setChecked(kit_.useLoops);
    name_->setMaxLength(kNameLength);
    number_->setRange(0, kSlotCount - 1);
    auto* group = new QButtonGroup(this);
    group->addButton(addLayers_, kAddLayers);
    group->addButton(newProgram_, kNewProgram);

    auto* form = new QFormLayout;
    form->addRow("Program Name", name_);
    form->addRow("Program Number", number_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(addLayers_);
    layout->addWidget(newProgram_);
    layout->addLayout(form);
    layout->addSpacing(12);
    layout->addWidget(noteOff_);
    layout->addWidget(loop_);
    layout->addStretch();
    name_->setText(Q(kit_.name));
    number_->setValue(kit_.number);
    connect(group, &QButtonGroup::idClicked, this, [this](int id) {
        kit_.placement = id;
        UpdateEnabled();
    });
    connect(name_, &QLineEdit::textChanged, this,
            [this](const QString& text) { kit_.name = text.toStdString(); });
    connect(number_, &QSpinBox::valueChanged, this, [this](int n) { kit_.number = n; });
}

void DKWiz2::initializePage() {
    const Program* current = bank_.GetProgram(currentNumber_);
    const bool canAdd = current && current->LayerCount() < kMaxLayers;
    addLayers_->setEnabled(canAdd);
    if (!canAdd) kit_.placement = kNewProgram;
    (kit_.placement == kAddLayers ? addLayers_ : newProgram_)->setChecked(true);
    UpdateEnabled();
}

void DKWiz2::UpdateEnabled() {
    const bool fresh = kit_.placement == kNewProgram;
    name_->setEnabled(fresh);
    number_->setEnabled(fresh);
}

bool DKWiz2::validatePage() {
    kit_.noteOffStops = noteOff_->isChecked();
    kit_.useLoops = loop_->isChecked();
    const std::string problem = kit_.Problem(bank_, bank_.GetProgram(currentNumber_));
    if (!problem.empty()) {
        ShowMessage(problem);
        return false;
    }
    kit_.WriteFinishSettings(settings_);
    return true;
}

// ---------------------------------------------------------------------------------------

DKWiz::DKWiz(const ZedoDatabase& bank, int currentNumber, Profile& settings,
             bool autoProgramReplace, QWidget* parent)
    : QWizard(parent),
      kit_(StartingKit(bank, bank.GetProgram(currentNumber), autoProgramReplace)),
      filePage_(new DKWiz0(kit_, settings, this)),
      layoutPage_(new DKWiz1(kit_, settings, this)),
      panPage_(new DKWiz3(kit_, this)),
      finishPage_(new DKWiz2(kit_, bank, currentNumber, settings, this)) {
    setWindowTitle("Drum Kit Wizard");
    addPage(filePage_);
    addPage(layoutPage_);
    addPage(panPage_);
    addPage(finishPage_);
}

// The pages go with the sheet's children, after the choices: the layout page's settings are
// kept while the choices still exist.
DKWiz::~DKWiz() {
    layoutPage_->SaveSettings();
}

}  // namespace talmeru
