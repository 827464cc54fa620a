#include "editors/program/LayerEditor.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMenu>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "application/TalmeruApp.h"
#include "editors/controls/RangeSelector.h"
#include "editors/keymap/KeymapEditor.h"
#include "editors/program/ModulatorEditor.h"
#include "platform/Format.h"
#include "widgets/MidiDisplayCtrl.h"
#include "widgets/MusicKeyboard.h"
#include "widgets/WindowPlacement.h"

namespace talmeru {

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

enum CommandButton { kDelete, kDuplicate, kDuplicateKeymap, kJoin, kSplit, kModulators };

}  // namespace

// ---------------------------------------------------------------------------------------
// Spins

CHoldSpin::CHoldSpin(FieldId id, bool accelerate, QWidget* parent)
    : QSpinBox(parent), id_(id), accelerate_(accelerate) {}

void CHoldSpin::stepBy(int steps) {
    int step = 1;
    if (accelerate_) {
        // Steps further apart than an arrow's auto-repeat (the wheel, single clicks) start
        // counting again.
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        if (heldSince_ < 0 || now - lastStep_ > 500) heldSince_ = now;
        lastStep_ = now;
        step = HoldStep(now - heldSince_);
    }
    QSpinBox::stepBy(steps * step);
}

QString CHoldSpin::textFromValue(int value) const {
    return Q(SpinText(id_, value));
}

int CHoldSpin::valueFromText(const QString& text) const {
    const int shown = text.trimmed().toInt();
    if (id_ == FieldId::kHeadroom1 || id_ == FieldId::kHeadroom2) return shown / 3;
    return shown;
}

QValidator::State CHoldSpin::validate(QString& text, int& pos) const {
    if (id_ != FieldId::kHeadroom1 && id_ != FieldId::kHeadroom2)
        return QSpinBox::validate(text, pos);
    bool ok = false;
    const int shown = text.trimmed().toInt(&ok);
    if (text.trimmed().isEmpty()) return QValidator::Intermediate;
    if (!ok || shown < 0 || shown > 3 * maximum()) return QValidator::Invalid;
    return shown % 3 == 0 ? QValidator::Acceptable : QValidator::Intermediate;
}

void CHoldSpin::mouseReleaseEvent(QMouseEvent* event) {
    heldSince_ = -1;
    QSpinBox::mouseReleaseEvent(event);
}

void CHoldSpin::keyReleaseEvent(QKeyEvent* event) {
    if (!event->isAutoRepeat()) heldSince_ = -1;
    QSpinBox::keyReleaseEvent(event);
}

// ---------------------------------------------------------------------------------------
// Pages

CLayerPage::CLayerPage(LayerEditor& editor, LayerPage page, QWidget* parent)
    : QWidget(parent), editor_(editor), page_(page) {
    auto* grid = new QGridLayout(this);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(2);
    grid->addWidget(new QLabel("Layer", this), 1, 0);
    int column = 1;
    const auto fields = PageFields(page);
    std::string lastHeading;
    for (size_t i = 0; i < fields.size(); ++i) {
        const FieldInfo& f = fields[i];
        if (*f.heading && f.heading != lastHeading) {
            int span = 0;
            for (size_t j = i; j < fields.size() && std::string(fields[j].heading) == f.heading;
                 ++j)
                ++span;
            auto* heading = new QLabel(QString("<b>%1</b>").arg(f.heading), this);
            heading->setAlignment(Qt::AlignCenter);
            grid->addWidget(heading, 0, column, 1, span);
        }
        lastHeading = f.heading;
        grid->addWidget(new QLabel(f.title, this), 1, column++);
        // A "Mods" column closes each block's group of columns.
        const bool groupEnds = i + 1 == fields.size() || FieldBlock(fields[i + 1].id) >= 0;
        if (groupEnds) modsColumns_.push_back(column++);
    }
    grid->setRowStretch(grid->rowCount() + kMaxLayers, 1);
    grid->setColumnStretch(column, 1);
}

QToolButton* CLayerPage::SelectButton(int row) const {
    return row >= 0 && row < static_cast<int>(rows_.size()) ? rows_[static_cast<size_t>(row)].select
                                                            : nullptr;
}

QWidget* CLayerPage::Control(int row, FieldId id) const {
    if (row < 0 || row >= static_cast<int>(rows_.size())) return nullptr;
    const auto fields = PageFields(page_);
    for (size_t i = 0; i < fields.size(); ++i)
        if (fields[i].id == id) return rows_[static_cast<size_t>(row)].controls[i];
    return nullptr;
}

QPushButton* CLayerPage::ModsButton(int row, int which) const {
    if (row < 0 || row >= static_cast<int>(rows_.size())) return nullptr;
    const auto& mods = rows_[static_cast<size_t>(row)].mods;
    return which >= 0 && which < static_cast<int>(mods.size()) ? mods[static_cast<size_t>(which)]
                                                               : nullptr;
}

void CLayerPage::AddRow() {
    auto* grid = static_cast<QGridLayout*>(layout());
    const int r = static_cast<int>(rows_.size());
    const int gridRow = firstRow_ + r;
    Row row;
    row.select = new QToolButton(this);
    row.select->setCheckable(true);
    row.select->setMinimumWidth(44);
    row.select->setContextMenuPolicy(Qt::CustomContextMenu);
    row.select->setToolTip("Select the layer for the layer commands");
    grid->addWidget(row.select, gridRow, 0);
    connect(row.select, &QToolButton::clicked, this, [this, r] { editor_.ToggleSelected(r); });
    connect(row.select, &QWidget::customContextMenuRequested, this, [this, r](QPoint at) {
        if (std::find(editor_.Selection().begin(), editor_.Selection().end(), r) ==
            editor_.Selection().end())
            editor_.ToggleSelected(r);
        QMenu menu;
        LayerCommands c = editor_.Commands();
        const auto& sel = editor_.Selection();
        menu.addAction("Delete Layers", &editor_, &LayerEditor::DeleteLayers)
            ->setEnabled(c.CanDelete(sel));
        menu.addAction("Duplicate Layers", &editor_, &LayerEditor::DuplicateLayers)
            ->setEnabled(c.CanDuplicate(sel));
        menu.addAction("Duplicate Keymap", &editor_, &LayerEditor::DuplicateKeymaps)
            ->setEnabled(c.CanDuplicateKeymaps(sel));
        menu.addAction("Join Stereo", &editor_, &LayerEditor::JoinStereo)
            ->setEnabled(c.CanJoin(sel));
        menu.addAction("Split Stereo", &editor_, &LayerEditor::SplitStereo)
            ->setEnabled(c.CanSplit(sel));
        menu.exec(SelectButton(r)->mapToGlobal(at));
    });

    const auto fields = PageFields(page_);
    int column = 1;
    size_t mods = 0;
    for (size_t i = 0; i < fields.size(); ++i) {
        const FieldInfo& f = fields[i];
        const FieldId id = f.id;
        QWidget* control = nullptr;
        switch (f.kind) {
            case FieldKind::kRange:
            case FieldKind::kRangePair: {
                auto* range = new CRangeSelector(this);
                range->SetRange(f.minimum, f.maximum);
                range->SetSingleThumb(f.kind == FieldKind::kRange);
                range->SetDefaultValue(f.defaultValue);
                if (id == FieldId::kFineTune) range->SetFloatDisplay(-100.0, 100.0);
                range->SetSteps(f.lineStep, f.pageStep);
                range->setMinimumWidth(f.kind == FieldKind::kRangePair ? 160 : 120);
                connect(range, &CRangeSelector::notify, this, [this, r, id](int code, int value) {
                    Edit(r, id, value, code == kRangeSecondChanged ? 1 : 0);
                });
                control = range;
                break;
            }
            case FieldKind::kChoice: {
                auto* box = new QComboBox(this);
                for (const std::string& text : FieldChoices(id))
                    box->addItem(Q(text));
                connect(box, &QComboBox::activated, this,
                        [this, r, id, f](int index) { Edit(r, id, f.minimum + index, 0); });
                control = box;
                break;
            }
            case FieldKind::kCheck: {
                auto* box = new QCheckBox(this);
                connect(box, &QCheckBox::clicked, this,
                        [this, r, id](bool on) { Edit(r, id, on ? 1 : 0, 0); });
                control = box;
                break;
            }
            case FieldKind::kSpin: {
                auto* spin = new CHoldSpin(id, id == FieldId::kDelay, this);
                spin->setRange(f.minimum, f.maximum);
                connect(spin, &QSpinBox::valueChanged, this,
                        [this, r, id](int value) { Edit(r, id, value, 0); });
                control = spin;
                break;
            }
        }
        // The physical meaning sits under the stored value, in the same column.
        QLabel* meaning = nullptr;
        if (!FieldMeaning(id, f.defaultValue).empty()) {
            auto* cell = new QWidget(this);
            auto* stack = new QVBoxLayout(cell);
            stack->setContentsMargins(0, 0, 0, 0);
            stack->setSpacing(0);
            control->setParent(cell);
            meaning = new QLabel(cell);
            meaning->setObjectName("meaning");
            meaning->setAlignment(Qt::AlignCenter);
            meaning->setForegroundRole(QPalette::PlaceholderText);
            stack->addWidget(control);
            stack->addWidget(meaning);
            grid->addWidget(cell, gridRow, column++);
        } else {
            grid->addWidget(control, gridRow, column++);
        }
        row.controls.push_back(control);
        row.meanings.push_back(meaning);
        if (mods < modsColumns_.size() && column == modsColumns_[mods]) {
            auto* button = new QPushButton("Mods", this);
            button->setToolTip("Open the modulators of this layer's block");
            int block = -1;
            for (size_t j = i + 1; j-- > 0;)
                if (FieldBlock(fields[j].id) >= 0) {
                    block = FieldBlock(fields[j].id);
                    break;
                }
            connect(button, &QPushButton::clicked, this,
                    [this, r, block] { editor_.OpenModulators(r, block); });
            grid->addWidget(button, gridRow, column++);
            row.mods.push_back(button);
            ++mods;
        }
    }
    rows_.push_back(std::move(row));
}

void CLayerPage::ShowLayers(bool originals) {
    Program* p = editor_.CurrentProgram();
    const int count = p ? p->LayerCount() : 0;
    while (static_cast<int>(rows_.size()) < count)
        AddRow();
    shown_ = count;
    for (int r = 0; r < static_cast<int>(rows_.size()); ++r) {
        const bool visible = r < count;
        Row& row = rows_[static_cast<size_t>(r)];
        row.select->setVisible(visible);
        for (size_t i = 0; i < row.controls.size(); ++i) {
            row.controls[i]->setVisible(visible);
            if (row.meanings[i]) row.meanings[i]->parentWidget()->setVisible(visible);
        }
        for (QPushButton* b : row.mods)
            b->setVisible(visible);
        if (visible) ShowRow(r, originals);
    }
}

void CLayerPage::ShowRow(int r, bool originals) {
    Program* p = editor_.CurrentProgram();
    const Layer* layer = p ? p->GetLayer(r) : nullptr;
    if (!layer || r >= static_cast<int>(rows_.size())) return;
    Row& row = rows_[static_cast<size_t>(r)];
    const char* half = layer->StereoState() == kStereoLeft    ? " L"
                       : layer->StereoState() == kStereoRight ? " R"
                                                              : "";
    row.select->setText(Q(Fmt("%d%s", r, half)));
    const auto& sel = editor_.Selection();
    row.select->setChecked(std::find(sel.begin(), sel.end(), r) != sel.end());
    const auto fields = PageFields(page_);
    for (size_t i = 0; i < fields.size(); ++i) {
        const FieldInfo& f = fields[i];
        QWidget* control = row.controls[i];
        const QSignalBlocker block(control);
        control->setEnabled(FieldEnabled(*layer, f.id));
        const int value = FieldValue(*layer, f.id);
        switch (f.kind) {
            case FieldKind::kRange: {
                auto* range = static_cast<CRangeSelector*>(control);
                range->SetValues(value, value);
                if (originals) range->SetOriginalValue(value);
                break;
            }
            case FieldKind::kRangePair: {
                auto* range = static_cast<CRangeSelector*>(control);
                range->SetValues(value, FieldValue(*layer, f.id, 1));
                break;
            }
            case FieldKind::kChoice:
                static_cast<QComboBox*>(control)->setCurrentIndex(value - f.minimum);
                break;
            case FieldKind::kCheck:
                static_cast<QCheckBox*>(control)->setChecked(value != 0);
                break;
            case FieldKind::kSpin:
                static_cast<QSpinBox*>(control)->setValue(value);
                break;
        }
    }
    ShowMeanings(r);
    // The modulator editor edits a pair through its left half.
    for (QPushButton* b : row.mods)
        b->setEnabled(layer->StereoState() != kStereoRight);
}

void CLayerPage::ShowMeanings(int r) {
    Program* p = editor_.CurrentProgram();
    const Layer* layer = p ? p->GetLayer(r) : nullptr;
    if (!layer || r >= static_cast<int>(rows_.size())) return;
    const Row& row = rows_[static_cast<size_t>(r)];
    const auto fields = PageFields(page_);
    for (size_t i = 0; i < fields.size(); ++i) {
        QLabel* meaning = row.meanings[i];
        if (!meaning) continue;
        const bool enabled = FieldEnabled(*layer, fields[i].id);
        meaning->setText(enabled ? Q(FieldMeaning(fields[i].id, FieldValue(*layer, fields[i].id)))
                                 : QString());
    }
}

void CLayerPage::Edit(int r, FieldId id, int value, int handle) {
    Program* p = editor_.CurrentProgram();
    Layer* layer = p ? p->GetLayer(r) : nullptr;
    if (!layer || !FieldEnabled(*layer, id)) return;
    if (!SetFieldValue(*layer, id, value, handle)) return;
    // A dragged thumb stays where the pointer put it; a new filter type enables its columns.
    editor_.LayerEdited(r, FieldOf(id).kind == FieldKind::kChoice);
}

// ---------------------------------------------------------------------------------------
// The editor

LayerEditor::LayerEditor(TalmeruApp& app, QWidget* parent) : QWidget(parent), app_(app) {
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    title_ = new QLabel(this);
    top->addWidget(title_, 1);
    const char* texts[] = {"Delete",      "Duplicate",    "Duplicate Keymap",
                           "Join Stereo", "Split Stereo", "Modulators..."};
    for (size_t i = 0; i < buttons_.size(); ++i) {
        buttons_[i] = new QPushButton(texts[i], this);
        top->addWidget(buttons_[i]);
    }
    connect(buttons_[kDelete], &QPushButton::clicked, this, &LayerEditor::DeleteLayers);
    connect(buttons_[kDuplicate], &QPushButton::clicked, this, &LayerEditor::DuplicateLayers);
    connect(buttons_[kDuplicateKeymap], &QPushButton::clicked, this,
            &LayerEditor::DuplicateKeymaps);
    connect(buttons_[kJoin], &QPushButton::clicked, this, &LayerEditor::JoinStereo);
    connect(buttons_[kSplit], &QPushButton::clicked, this, &LayerEditor::SplitStereo);
    connect(buttons_[kModulators], &QPushButton::clicked, this, [this] { OpenModulators(); });
    layout->addLayout(top);

    pages_ = new QTabWidget(this);
    // The keymaps of the layers come first, as a page of their own.
    keymaps_ = new KeymapPage(app_, pages_);
    pages_->addTab(keymaps_, "Keymap");
    for (LayerPage page : {LayerPage::kAmp, LayerPage::kPitch, LayerPage::kFilter}) {
        auto* scroll = new QScrollArea(pages_);
        auto* content = new CLayerPage(*this, page, scroll);
        scroll->setWidget(content);
        scroll->setWidgetResizable(true);
        pages_->addTab(scroll, PageTitle(page));
        layerPages_[static_cast<size_t>(page)] = content;
    }
    layout->addWidget(pages_, 1);

    auto* bottom = new QHBoxLayout;
    keyboard_ = new CMusicKeyboard(this);
    display_ = new CMidiDisplayCtrl(this);
    display_->SetCurrentChannel(app_.Synth().AuditionChannel());
    bottom->addWidget(keyboard_);
    bottom->addWidget(display_);
    bottom->addStretch();
    layout->addLayout(bottom);
    connect(keyboard_, &CMusicKeyboard::keyEvent, this,
            [this](int key, bool down) { app_.KeyEvent(key, down); });
    SetProgram(-1);
}

LayerEditor::~LayerEditor() = default;

Program* LayerEditor::CurrentProgram() const {
    return app_.Bank().GetProgram(program_);
}

CLayerPage* LayerEditor::Page(LayerPage page) const {
    return layerPages_[static_cast<size_t>(page)];
}

void LayerEditor::SetProgram(int number) {
    const bool another = number != program_;
    if (another) selection_.clear();
    program_ = number;
    Program* p = CurrentProgram();
    if (!p) program_ = -1;
    title_->setText(p ? Q(Fmt("<b>%s</b>  (%d layers)", p->DisplayName(app_.Numbering()).c_str(),
                              p->LayerCount()))
                      : QString("No program"));
    if (parentWidget())
        parentWidget()->setWindowTitle(p ? Q("Layer Editor - " + p->Name())
                                         : QString("Layer Editor"));
    // Layers that went away leave the selection.
    const int count = p ? p->LayerCount() : 0;
    std::erase_if(selection_, [count](int i) { return i >= count; });
    RefreshRows(another);
    // The keymap rows are made again only when the layers they stand for may have changed.
    if (another || keymaps_->RowCount() != count) {
        keymaps_->ShowProgram(program_);
    } else {
        keymaps_->RefreshRows();
    }
    if (modulators_) modulators_->SetProgram(program_);
}

void LayerEditor::RefreshRows(bool originals) {
    for (CLayerPage* page : layerPages_)
        page->ShowLayers(originals);
    UpdateCommands();
}

void LayerEditor::SetSelection(std::vector<int> selection) {
    selection_ = std::move(selection);
    RefreshRows();
    emit selectionChanged();
}

void LayerEditor::ToggleSelected(int index) {
    auto it = std::find(selection_.begin(), selection_.end(), index);
    if (it != selection_.end())
        selection_.erase(it);
    else
        selection_.push_back(index);
    for (CLayerPage* page : layerPages_)
        if (QToolButton* b = page->SelectButton(index))
            b->setChecked(std::find(selection_.begin(), selection_.end(), index) !=
                          selection_.end());
    UpdateCommands();
    emit selectionChanged();
}

LayerCommands LayerEditor::Commands() {
    LayerCommands c(app_, program_);
    return c;
}

void LayerEditor::UpdateCommands() {
    LayerCommands c = Commands();
    buttons_[kDelete]->setEnabled(c.CanDelete(selection_));
    buttons_[kDuplicate]->setEnabled(c.CanDuplicate(selection_));
    buttons_[kDuplicateKeymap]->setEnabled(c.CanDuplicateKeymaps(selection_));
    buttons_[kJoin]->setEnabled(c.CanJoin(selection_));
    buttons_[kSplit]->setEnabled(c.CanSplit(selection_));
    buttons_[kModulators]->setEnabled(CurrentProgram() != nullptr);
}

void LayerEditor::AfterCommand(int rc, RefreshHint hint) {
    if (rc != 0) {
        RefreshRows();
        return;
    }
    // The views, this one included, read the program again.
    app_.Refresh(hint);
    RefreshRows();
    if (modulators_) modulators_->SetProgram(program_);
}

void LayerEditor::DeleteLayers() {
    LayerCommands c = Commands();
    const std::vector<int> victims = selection_;
    if (!c.CanDelete(victims)) return;
    selection_.clear();
    AfterCommand(c.Delete(victims), kHintLayers);
}

void LayerEditor::DuplicateLayers() {
    LayerCommands c = Commands();
    if (!c.CanDuplicate(selection_)) return;
    AfterCommand(c.Duplicate(selection_), kHintLayers);
}

void LayerEditor::DuplicateKeymaps() {
    LayerCommands c = Commands();
    if (!c.CanDuplicateKeymaps(selection_)) return;
    AfterCommand(c.DuplicateKeymaps(selection_), kHintLayers | kHintKeymaps);
}

bool LayerEditor::CanJoin() {
    return Commands().CanJoin(selection_);
}

bool LayerEditor::CanSplit() {
    return Commands().CanSplit(selection_);
}

void LayerEditor::JoinStereo() {
    LayerCommands c = Commands();
    if (!c.CanJoin(selection_)) return;
    AfterCommand(c.Join(selection_), kHintLayers);
}

void LayerEditor::SplitStereo() {
    LayerCommands c = Commands();
    if (!c.CanSplit(selection_)) return;
    AfterCommand(c.Split(selection_), kHintLayers);
}

void LayerEditor::LayerEdited(int index, bool showRow) {
    Program* p = CurrentProgram();
    Layer* layer = p ? p->GetLayer(index) : nullptr;
    if (!layer) return;
    LayerChanged(*layer, app_);
    // The right half shows what it took over; a filter type enables its columns.
    Layer* partner = layer->StereoState() == kStereoLeft ? layer->Partner() : nullptr;
    for (CLayerPage* page : layerPages_) {
        page->ShowMeanings(index);
        if (showRow) page->ShowRow(index);
        if (partner) page->ShowRow(partner->Index());
    }
    // The modulation tree names the filter types.
    if (modulators_ && showRow) modulators_->SetProgram(program_);
}

CModulatorEditor* LayerEditor::Modulators() const {
    return modulators_.data();
}

CModulatorEditor* LayerEditor::OpenModulators(int layer, int block) {
    if (!modulators_) {
        modulators_ = new CModulatorEditor(app_, this);
        modulators_->setWindowFlag(Qt::Window, true);
        modulators_->setAttribute(Qt::WA_DeleteOnClose);
    }
    modulators_->SetProgram(program_);
    if (layer >= 0) modulators_->ShowLayer(layer, block);
    modulators_->show();
    modulators_->raise();
    modulators_->activateWindow();
    return modulators_;
}

void LayerEditor::ShowKey(int key, bool pressed, bool onCurrentChannel) {
    keyboard_->MarkKey(key, pressed, onCurrentChannel);
    keymaps_->MarkKey(key, pressed);
    emit keyShown(key, pressed);
}

void LayerEditor::AddChannelNotes(int channel, int delta) {
    display_->AddNotes(channel, delta);
}

void LayerEditor::SetCurrentChannel(int channel) {
    display_->SetCurrentChannel(channel);
}

// ---------------------------------------------------------------------------------------
// The frame

LayerEditorFrame::LayerEditorFrame(TalmeruApp& app, QWidget* parent)
    : QMdiSubWindow(parent), app_(app), editor_(new LayerEditor(app, this)) {
    setObjectName(kName);
    setWidget(editor_);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle("Layer Editor");
    resize(900, 520);
}

void LayerEditorFrame::RestorePlacement(bool maximised) {
    talmeru::RestorePlacement(*this, app_.Settings(), kName, maximised);
}

void LayerEditorFrame::SavePlacement() {
    talmeru::SavePlacement(*this, app_.Settings(), kName);
}

void LayerEditorFrame::closeEvent(QCloseEvent* event) {
    SavePlacement();
    QMdiSubWindow::closeEvent(event);
}

}  // namespace talmeru
