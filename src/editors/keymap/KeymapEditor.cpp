#include "editors/keymap/KeymapEditor.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>

#include "application/TalmeruApp.h"
#include "editors/controls/KeyMatrix.h"
#include "model/Listers.h"
#include "platform/Format.h"
#include "platform/Prompter.h"
#include "widgets/WindowPlacement.h"

namespace talmeru {

namespace {

constexpr const char* kFrameName = "KeymapEditorFrame";

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

QPointer<KeymapPage>& OpenPage() {
    static QPointer<KeymapPage> page;
    return page;
}

}  // namespace

KeymapRow::KeymapRow(BankEdits& edits, QWidget* parent) : QWidget(parent), edits_(edits) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    label_ = new QLabel(this);
    label_->setFixedWidth(QFontMetrics(font()).horizontalAdvance("Layer 00") + 6);
    chooser_ = new QComboBox(this);
    chooser_->setMaxVisibleItems(20);
    chooser_->setFixedWidth(160);
    matrix_ = new CKeyMatrix(edits, this);
    layout->addWidget(label_, 0, Qt::AlignTop);
    layout->addWidget(chooser_, 0, Qt::AlignTop);
    layout->addWidget(matrix_, 1);
    connect(chooser_, &QComboBox::activated, this, [this](int index) { Choose(index); });
    connect(matrix_, &CKeyMatrix::edited, this, &KeymapRow::edited);
    connect(matrix_, &CKeyMatrix::scrolled, this, &KeymapRow::scrolled);
}

void KeymapRow::SetRowHeight(int h) {
    setFixedHeight(h);
}

void KeymapRow::Show(int program, int layer, int keymap) {
    program_ = program;
    layer_ = layer;
    keymap_ = keymap;
    Refresh();
}

void KeymapRow::Refresh() {
    const Program* p = edits_.Bank().GetProgram(program_);
    const Layer* l = p && layer_ >= 0 ? p->GetLayer(layer_) : nullptr;
    if (l) {
        keymap_ = l->keymap;
        label_->setText(Q(Fmt("%d", layer_)));
    } else {
        label_->setText(layer_ >= 0 ? "-" : "Keymap");
    }
    FillChooser();
    matrix_->Show(l ? program_ : -1, l ? layer_ : -1, keymap_);
}

void KeymapRow::FillChooser() {
    const Program* p = edits_.Bank().GetProgram(program_);
    const Layer* l = p && layer_ >= 0 ? p->GetLayer(layer_) : nullptr;
    const bool stereo = l && l->StereoState() == kStereoLeft;
    const ObjectList list = ListKeymaps(edits_.Bank(), keymap_, stereo);
    chooser_->clear();
    for (const ListItem& item : list.items)
        chooser_->addItem(Q(item.text), item.object ? item.object->Number() : -1);
    chooser_->setCurrentIndex(list.selected);
}

void KeymapRow::Choose(int index) {
    const int keymap = index >= 0 ? chooser_->itemData(index).toInt() : -1;
    if (keymap < 0) {
        ShowMessage("Error in selection");
        return;
    }
    if (layer_ < 0) {
        // A row without a layer just looks at another keymap.
        keymap_ = keymap;
        Refresh();
        return;
    }
    KeymapCommands commands(edits_, program_);
    if (commands.ChooseKeymap(layer_, keymap)) emit edited();
    Refresh();
}

KeymapPage::KeymapPage(TalmeruApp& app, QWidget* parent) : QWidget(parent), app_(app) {
    setWindowTitle("Keymap Editor");
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    expanded_ = new QCheckBox("Expanded view", this);
    expanded_->setChecked(app_.Settings().GetBool("State", "KeymapBigView", true));
    top->addWidget(expanded_);
    top->addSpacing(20);
    top->addWidget(new QLabel("Edit the:", this));
    auto* group = new QButtonGroup(this);
    const char* names[2] = {"Sample Ranges", "Layer Range"};
    for (int m = 0; m < 2; ++m) {
        modes_[size_t(m)] = new QRadioButton(names[m], this);
        group->addButton(modes_[size_t(m)], m);
        top->addWidget(modes_[size_t(m)]);
    }
    modes_[size_t(SharedDragMode())]->setChecked(true);
    connect(group, &QButtonGroup::idToggled, this, [](int id, bool on) {
        if (on) SetSharedDragMode(id);
    });
    top->addStretch(1);
    layout->addLayout(top);

    auto* area = new QScrollArea(this);
    area->setWidgetResizable(true);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    rowArea_ = new QWidget(area);
    rowLayout_ = new QVBoxLayout(rowArea_);
    rowLayout_->setContentsMargins(0, 0, 0, 0);
    rowLayout_->setSpacing(2);
    rowLayout_->addStretch(1);
    area->setWidget(rowArea_);
    layout->addWidget(area, 1);

    scroll_ = new QScrollBar(Qt::Horizontal, this);
    scroll_->setSingleStep(1);
    layout->addWidget(scroll_);
    // A page click moves one key, as a line click does.
    connect(scroll_, &QScrollBar::actionTriggered, this, [this](int action) {
        if (action == QAbstractSlider::SliderPageStepAdd)
            scroll_->setSliderPosition(std::min(scroll_->value() + 1, scroll_->maximum()));
        else if (action == QAbstractSlider::SliderPageStepSub)
            scroll_->setSliderPosition(std::max(scroll_->value() - 1, 0));
    });
    connect(scroll_, &QScrollBar::valueChanged, this, [this](int v) {
        if (!syncing_) SetStartKey(v);
    });
    connect(expanded_, &QCheckBox::toggled, this, [this] {
        for (KeymapRow* row : rows_)
            row->SetRowHeight(RowHeight());
    });
    resize(800, 400);
    SyncScrollBar();
}

KeymapPage::~KeymapPage() {
    SaveSettings();
}

void KeymapPage::SaveSettings() {
    app_.Settings().WriteBool("State", "KeymapBigView", expanded_->isChecked());
    if (auto* frame = qobject_cast<QMdiSubWindow*>(parentWidget()))
        SavePlacement(*frame, app_.Settings(), kFrameName);
}

int KeymapPage::RowHeight() const {
    return expanded_->isChecked() ? kExpandedRowHeight : kCompactRowHeight;
}

void KeymapPage::ShowProgram(int program) {
    program_ = program;
    Rebuild();
}

void KeymapPage::ShowKeymap(int keymap) {
    extraKeymap_ = keymap;
    Rebuild();
}

void KeymapPage::Rebuild() {
    // The rows wanted: every layer but right halves of stereo pairs (their left half edits
    // both), then the keymap asked for when no layer plays it.
    std::vector<std::pair<int, int>> wanted;
    const Program* p = app_.Bank().GetProgram(program_);
    bool keymapShown = false;
    if (p) {
        for (int i = 0; i < p->LayerCount(); ++i) {
            const Layer* l = p->GetLayer(i);
            if (!l || l->StereoState() == kStereoRight) continue;
            wanted.emplace_back(i, l->keymap);
            keymapShown = keymapShown || l->keymap == extraKeymap_;
        }
    }
    if (extraKeymap_ >= 0 && !keymapShown && app_.Bank().GetKeymap(extraKeymap_))
        wanted.emplace_back(-1, extraKeymap_);

    bool same = wanted.size() == rows_.size();
    for (size_t i = 0; same && i < rows_.size(); ++i)
        same = rows_[i]->LayerIndex() == wanted[i].first &&
               (wanted[i].first >= 0 || rows_[i]->KeymapNumber() == wanted[i].second);
    if (same) {
        for (size_t i = 0; i < rows_.size(); ++i)
            rows_[i]->Show(program_, wanted[i].first, wanted[i].second);
        SyncScrollBar();
        return;
    }
    // A row may be the sender of the signal that brought us here: let it go later.
    for (KeymapRow* row : rows_) {
        row->hide();
        row->deleteLater();
    }
    rows_.clear();
    for (const auto& [layer, keymap] : wanted) {
        auto* row = new KeymapRow(app_, rowArea_);
        row->SetRowHeight(RowHeight());
        rowLayout_->insertWidget(rowLayout_->count() - 1, row);
        row->Show(program_, layer, keymap);
        connect(row, &KeymapRow::edited, this, &KeymapPage::RefreshRows);
        connect(row, &KeymapRow::scrolled, this, [this] {
            SyncScrollBar();
            RepaintRows();
        });
        rows_.push_back(row);
    }
    SyncScrollBar();
}

void KeymapPage::RefreshRows() {
    Rebuild();
}

void KeymapPage::SyncScrollBar() {
    const KeyWindow& w = SharedKeyWindow();
    syncing_ = true;
    scroll_->setRange(0, w.LastStart());
    scroll_->setPageStep(std::max(w.count, 1));
    scroll_->setValue(w.start);
    syncing_ = false;
}

void KeymapPage::RepaintRows() {
    for (KeymapRow* row : rows_)
        row->Matrix()->update();
}

void KeymapPage::SetStartKey(int start) {
    SharedKeyWindow().SetStart(start);
    SyncScrollBar();
    RepaintRows();
}

void KeymapPage::MarkKey(int key, bool on) {
    for (KeymapRow* row : rows_)
        row->Matrix()->MarkKey(key, on);
}

KeymapPage* KeymapEditorWindow::Open(TalmeruApp& app, QMdiArea& area, int keymap) {
    QPointer<KeymapPage>& page = OpenPage();
    if (!page) {
        page = new KeymapPage(app);
        QMdiSubWindow* frame = area.addSubWindow(page);
        frame->setAttribute(Qt::WA_DeleteOnClose);
        frame->resize(std::min(area.width(), 1000), std::min(area.height(), 480));
        const QMdiSubWindow* active = area.activeSubWindow();
        RestorePlacement(*frame, app.Settings(), kFrameName, active && active->isMaximized());
    }
    page->ShowProgram(app.Editing().CurrentNumber());
    if (keymap >= 0) page->ShowKeymap(keymap);
    if (auto* frame = qobject_cast<QMdiSubWindow*>(page->parentWidget()))
        area.setActiveSubWindow(frame);
    return page;
}

KeymapPage* KeymapEditorWindow::Current() {
    return OpenPage();
}

}  // namespace talmeru
