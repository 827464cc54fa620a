#include "editors/program/ModulatorEditor.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QSplitter>
#include <QStackedWidget>
#include <QTabBar>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <set>

#include "application/TalmeruApp.h"
#include "editors/controls/EnvelopeCtrl.h"
#include "platform/Format.h"

namespace talmeru {

namespace {

constexpr int kPathRole = Qt::UserRole;

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

// The tree's images, drawn rather than loaded: a coloured tile with a letter.
QIcon TreeIcon(int image) {
    struct Look {
        QColor colour;
        const char* letter;
    };
    Look look{Qt::gray, ""};
    switch (image) {
        case kImageBlock:
            look = {QColor(0x40, 0x40, 0xA0), "B"};
            break;
        case kImagePrompt:
            look = {Qt::darkGray, "<"};
            break;
        case kImageEnv:
            look = {QColor(0x20, 0x90, 0x20), "E"};
            break;
        case kImageFun:
            look = {QColor(0xB0, 0x60, 0x00), "F"};
            break;
        case kImageLfo:
            look = {QColor(0x00, 0x70, 0xB0), "L"};
            break;
        case kImageSource:
            look = {QColor(0x60, 0x60, 0x60), "S"};
            break;
        case kImageConstant:
            look = {QColor(0x80, 0x80, 0x20), "C"};
            break;
        case kImageInvalid:
            look = {Qt::red, "X"};
            break;
        case kImageBaseDepth:
            look = {QColor(0x70, 0x30, 0x90), "b"};
            break;
        case kImageAdjustedDepth:
            look = {QColor(0x90, 0x30, 0x70), "a"};
            break;
        default:
            break;
    }
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setBrush(look.colour);
    p.setPen(Qt::black);
    p.drawRect(1, 1, 13, 13);
    p.setPen(Qt::white);
    QFont f = p.font();
    f.setPixelSize(11);
    f.setBold(true);
    p.setFont(f);
    p.drawText(QRect(1, 1, 14, 14), Qt::AlignCenter, look.letter);
    return QIcon(pixmap);
}

int KindIndex(ModulatorKind kind) {
    return kind == ModulatorKind::kEnv ? 0 : kind == ModulatorKind::kLfo ? 1 : 2;
}

constexpr ModulatorKind kKinds[] = {ModulatorKind::kEnv, ModulatorKind::kLfo, ModulatorKind::kFun};

std::vector<int> PathOf(const QTreeWidgetItem* item) {
    std::vector<int> path;
    if (!item) return path;
    for (const QVariant& v : item->data(0, kPathRole).toList())
        path.push_back(v.toInt());
    return path;
}

void FillMenu(QMenu& menu, const std::vector<MenuItem>& items,
              const std::function<void(int)>& run) {
    for (const MenuItem& m : items) {
        if (m.separator) {
            menu.addSeparator();
        } else if (m.popup) {
            QMenu* sub = menu.addMenu(Q(m.text));
            sub->setEnabled(m.enabled);
            FillMenu(*sub, m.items, run);
        } else {
            QString text = Q(m.text);
            if (!m.detail.empty()) text += "\t" + Q(m.detail);
            QAction* a = menu.addAction(text);
            a->setEnabled(m.enabled);
            a->setData(m.command);
            const int command = m.command;
            QObject::connect(a, &QAction::triggered, &menu, [run, command] { run(command); });
        }
    }
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Pictures

void CLFODisplay::SetWave(int shape, int phase) {
    shape_ = shape;
    phase_ = phase;
    update();
}

void CLFODisplay::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    p.setPen(palette().color(QPalette::Mid));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    const int mid = height() / 2;
    p.setPen(QPen(Qt::gray, 1, Qt::DotLine));
    p.drawLine(2, mid, width() - 3, mid);
    if (shape_ < 1 || shape_ > 4) return;
    const int span = std::max(width() - 8, 1);
    const double amplitude = (height() - 10) / 2.0;
    QPainterPath path;
    for (int x = 0; x <= span; ++x) {
        const double y = mid - amplitude * LfoWaveValue(shape_, phase_, 2.0 * x / span);
        if (x == 0)
            path.moveTo(4 + x, y);
        else
            path.lineTo(4 + x, y);
    }
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::blue, 1.5));
    p.drawPath(path);
}

void CFunPicture::SetOperator(int op) {
    op_ = op;
    update();
}

void CFunPicture::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Window));
    const QRect box(width() / 3, 6, width() / 3, height() - 12);
    p.setPen(Qt::black);
    p.setBrush(Qt::white);
    p.drawRect(box);
    if (op_ < 0 || op_ >= kFunOperatorCount) {
        p.drawText(box, Qt::AlignCenter, "none");
        return;
    }
    const int inputs = FunOperatorInputCount(op_);
    for (int i = 0; i < inputs; ++i) {
        const int y = box.top() + (i + 1) * box.height() / (inputs + 1);
        p.drawLine(box.left() - 14, y, box.left(), y);
        p.drawText(QRect(0, y - 8, box.left() - 16, 16), Qt::AlignRight | Qt::AlignVCenter,
                   FunOperatorInputName(op_, i));
    }
    const int out = box.center().y();
    p.drawLine(box.right(), out, box.right() + 16, out);
    p.drawLine(box.right() + 16, out, box.right() + 11, out - 4);
    p.drawLine(box.right() + 16, out, box.right() + 11, out + 4);
    QString name = FunOperatorName(op_);
    if (name.isEmpty()) name = QString("(%1)").arg(op_);
    p.drawText(box.adjusted(2, 2, -2, -2), Qt::AlignCenter | Qt::TextWordWrap, name);
}

// ---------------------------------------------------------------------------------------
// The window

CModulatorEditor::CModulatorEditor(TalmeruApp& app, QWidget* parent)
    : QDialog(parent), app_(app), editing_(app) {
    setWindowTitle("Modulators");
    setModal(false);

    layers_ = new QTreeWidget(this);
    layers_->setColumnCount(3);
    layers_->setHeaderLabels({"Layer", "Dir.", "Keymap"});
    layers_->setRootIsDecorated(false);
    layers_->header()->setStretchLastSection(true);
    layers_->setMaximumHeight(140);
    tree_ = new QTreeWidget(this);
    tree_->setHeaderHidden(true);
    tree_->setContextMenuPolicy(Qt::CustomContextMenu);

    auto* right = new QWidget(this);
    auto* rightLayout = new QVBoxLayout(right);
    for (ModulatorKind kind : kKinds) {
        auto* group = new QGroupBox(kind == ModulatorKind::kEnv   ? "ENV"
                                    : kind == ModulatorKind::kLfo ? "LFO"
                                                                  : "FUN",
                                    right);
        auto* l = new QHBoxLayout(group);
        QTabBar* bar = new QTabBar(group);
        bar->setExpanding(false);
        bar->setDrawBase(false);
        bar->setContextMenuPolicy(Qt::CustomContextMenu);
        // An empty strip asks for no height; it keeps the height of one with tabs.
        bar->addTab("P0");
        bar->setMinimumHeight(bar->sizeHint().height());
        bar->removeTab(0);
        l->addWidget(bar, 1);
        tabs_[KindIndex(kind)] = bar;
        rightLayout->addWidget(group);
        connect(bar, &QTabBar::tabBarClicked, this, [this, kind, bar](int index) {
            if (index < 0) return;
            const int code = bar->tabData(index).toInt();
            editing_.Select(kind, {code >> 4, code & 0x0F});
            ShowDetails(kind);
        });
        connect(bar, &QTabBar::currentChanged, this, [this, kind, bar](int index) {
            if (filling_ || index < 0) return;
            const int code = bar->tabData(index).toInt();
            editing_.Select(kind, {code >> 4, code & 0x0F});
            ShowDetails(kind);
        });
        connect(bar, &QWidget::customContextMenuRequested, this, [this, kind, bar](QPoint at) {
            const int index = bar->tabAt(at);
            if (index >= 0) {
                bar->setCurrentIndex(index);
                const int code = bar->tabData(index).toInt();
                editing_.Select(kind, {code >> 4, code & 0x0F});
                ShowDetails(kind);
            }
            MakeListMenu(kind)->exec(bar->mapToGlobal(at));
        });
    }

    details_ = new QStackedWidget(right);
    details_->addWidget(new QLabel("No modulator selected", details_));
    auto* envPage = new QWidget(details_);
    BuildEnvPage(envPage);
    details_->addWidget(envPage);
    auto* lfoPage = new QWidget(details_);
    BuildLfoPage(lfoPage);
    details_->addWidget(lfoPage);
    auto* funPage = new QWidget(details_);
    auto* funLayout = new QVBoxLayout(funPage);
    picture_ = new CFunPicture(funPage);
    funName_ = new QLabel(funPage);
    funLayout->addWidget(picture_);
    funLayout->addWidget(funName_);
    funLayout->addStretch();
    details_->addWidget(funPage);
    rightLayout->addWidget(details_, 1);

    auto* buttons = new QHBoxLayout;
    addReplace_ = new QPushButton("Add/Replace", this);
    remove_ = new QPushButton("Remove", this);
    auto* expand = new QPushButton("Expand All", this);
    depth_ = new QSpinBox(this);
    depth_->setRange(-128, 127);
    depth_->setPrefix("Depth ");
    depth_->setEnabled(false);
    buttons->addWidget(addReplace_);
    buttons->addWidget(remove_);
    buttons->addWidget(expand);
    buttons->addWidget(depth_);
    buttons->addStretch();

    auto* left = new QWidget(this);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->addWidget(layers_);
    leftLayout->addWidget(tree_, 1);
    leftLayout->addLayout(buttons);
    auto* split = new QSplitter(this);
    split->addWidget(left);
    split->addWidget(right);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(split);
    resize(820, 560);

    connect(layers_, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem* item) { ShowLayer(item->data(0, kPathRole).toInt()); });
    connect(layers_, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item) { ShowLayer(item->data(0, kPathRole).toInt()); });
    connect(tree_, &QWidget::customContextMenuRequested, this, [this](QPoint at) {
        if (QTreeWidgetItem* item = tree_->itemAt(at)) tree_->setCurrentItem(item);
        MakeSourceMenu()->exec(tree_->viewport()->mapToGlobal(at));
    });
    connect(tree_, &QTreeWidget::currentItemChanged, this, [this] { ShowDepth(); });
    connect(addReplace_, &QPushButton::clicked, this, [this] {
        auto menu = MakeSourceMenu();
        const QList<QAction*> actions = menu->actions();
        if (!actions.isEmpty() && actions.front()->menu() && actions.front()->isEnabled())
            actions.front()->menu()->exec(
                addReplace_->mapToGlobal(QPoint(0, addReplace_->height())));
    });
    connect(remove_, &QPushButton::clicked, this, [this] { RunCommand(kCmdRemoveEntry); });
    connect(expand, &QPushButton::clicked, tree_, &QTreeView::expandAll);
    connect(depth_, &QSpinBox::valueChanged, this, [this](int value) {
        if (filling_) return;
        const std::vector<int> path = CurrentPath();
        const ModTreeItem* item = editing_.ItemAt(path);
        if (item && editing_.SetDepth(*item, value) == 0) {
            FillTree();
            SelectPath(path);
        }
    });
    SetProgram(-1);
}

CModulatorEditor::~CModulatorEditor() = default;

void CModulatorEditor::BuildEnvPage(QWidget* page) {
    auto* grid = new QGridLayout(page);
    attack_ = new QSpinBox(page);
    attack_->setRange(1, EnvModulator::kMaxAttack);
    decay_ = new QSpinBox(page);
    decay_->setRange(1, EnvModulator::kMaxDecay);
    release_ = new QSpinBox(page);
    release_->setRange(1, EnvModulator::kMaxRelease);
    linear_ = new QCheckBox("Linear", page);
    envelope_ = new CEnvelopeCtrl(app_.Settings(), app_, kModulatorEnvelope, page);
    presets_ = new QComboBox(page);
    auto* add = new QPushButton("Add", page);
    auto* del = new QPushButton("Delete", page);
    grid->addWidget(new QLabel("Attack", page), 0, 0);
    grid->addWidget(attack_, 0, 1);
    grid->addWidget(new QLabel("Decay", page), 0, 2);
    grid->addWidget(decay_, 0, 3);
    grid->addWidget(new QLabel("Release", page), 0, 4);
    grid->addWidget(release_, 0, 5);
    grid->addWidget(linear_, 0, 6);
    grid->addWidget(envelope_, 1, 0, 1, 7);
    grid->addWidget(new QLabel("Presets:", page), 2, 0);
    grid->addWidget(presets_, 2, 1, 1, 4);
    grid->addWidget(add, 2, 5);
    grid->addWidget(del, 2, 6);
    grid->setRowStretch(1, 1);

    auto counts = [this](QSpinBox* spin, void (EnvModulator::*set)(int)) {
        connect(spin, &QSpinBox::valueChanged, this, [this, set](int v) {
            if (filling_) return;
            auto* env =
                dynamic_cast<EnvModulator*>(editing_.Find(editing_.Selected(ModulatorKind::kEnv)));
            if (!env) return;
            (env->*set)(v);
            Edited();
            envelope_->Refresh();
        });
    };
    counts(attack_, &EnvModulator::SetAttackCount);
    counts(decay_, &EnvModulator::SetDecayCount);
    counts(release_, &EnvModulator::SetReleaseCount);
    connect(linear_, &QCheckBox::toggled, this, [this](bool on) {
        if (filling_) return;
        if (auto* env = dynamic_cast<EnvModulator*>(
                editing_.Find(editing_.Selected(ModulatorKind::kEnv)))) {
            env->SetLinear(on);
            Edited();
        }
    });
    connect(presets_, &QComboBox::activated, this, [this](int index) {
        if (envelope_->ApplyListChoice(*presets_, index) == 0) ShowDetails(ModulatorKind::kEnv);
    });
    connect(add, &QPushButton::clicked, this, [this] {
        if (envelope_->SavePreset("") >= 0) envelope_->FillPresetList(*presets_);
    });
    connect(del, &QPushButton::clicked, this, [this] { envelope_->DeleteListChoice(*presets_); });
}

void CModulatorEditor::BuildLfoPage(QWidget* page) {
    auto* grid = new QGridLayout(page);
    shapes_ = new QButtonGroup(page);
    const char* names[] = {"Sine", "Square", "Ramp", "Triangle"};
    auto* shapeRow = new QHBoxLayout;
    for (int i = 0; i < 4; ++i) {
        auto* radio = new QRadioButton(names[i], page);
        shapes_->addButton(radio, i + 1);
        shapeRow->addWidget(radio);
    }
    grid->addLayout(shapeRow, 0, 0, 1, 3);
    auto slider = [&](int row, const char* title, int maximum, QSlider*& s, QLabel*& text) {
        s = new QSlider(Qt::Horizontal, page);
        s->setRange(0, maximum);
        text = new QLabel(page);
        text->setMinimumWidth(50);
        grid->addWidget(new QLabel(title, page), row, 0);
        grid->addWidget(s, row, 1);
        grid->addWidget(text, row, 2);
    };
    slider(1, "Base Rate [Hz]", 255, baseRate_, baseRateText_);
    slider(2, "Adj. Rate [Hz]", 255, adjustedRate_, adjustedRateText_);
    slider(3, "Phase [deg]", 15, phase_, phaseText_);
    wave_ = new CLFODisplay(page);
    grid->addWidget(wave_, 4, 0, 1, 3);
    grid->setRowStretch(4, 1);

    auto edit = [this](const std::function<void(LfoModulator&)>& change) {
        if (filling_) return;
        auto* lfo =
            dynamic_cast<LfoModulator*>(editing_.Find(editing_.Selected(ModulatorKind::kLfo)));
        if (!lfo) return;
        change(*lfo);
        Edited();
        ShowDetails(ModulatorKind::kLfo);
    };
    connect(shapes_, &QButtonGroup::idClicked, this,
            [edit](int id) { edit([id](LfoModulator& l) { l.SetShape(id); }); });
    connect(baseRate_, &QSlider::valueChanged, this, [edit](int v) {
        edit([v](LfoModulator& l) { l.SetBaseRate(static_cast<uint8_t>(v)); });
    });
    connect(adjustedRate_, &QSlider::valueChanged, this, [edit](int v) {
        edit([v](LfoModulator& l) { l.SetAdjustedRate(static_cast<uint8_t>(v)); });
    });
    connect(phase_, &QSlider::valueChanged, this,
            [edit](int v) { edit([v](LfoModulator& l) { l.SetPhase(v); }); });
}

QTabBar* CModulatorEditor::KindTabs(ModulatorKind kind) const {
    return tabs_[KindIndex(kind)];
}

void CModulatorEditor::SetProgram(int number) {
    editing_.SetProgram(number);
    const std::vector<int> path = CurrentPath();
    FillLayers();
    FillTree();
    SelectPath(path);
    FillTabs();
    ShowDetails(shown_);
}

void CModulatorEditor::ShowLayer(int index, int block) {
    if (!editing_.SetLayer(index)) return;
    FillLayers();
    FillTree();
    FillTabs();
    ShowDetails(shown_);
    if (block >= 0) {
        const std::vector<int> path = ModulatorEditing::BlockPath(block);
        if (QTreeWidgetItem* item = ItemFor(path)) {
            item->setExpanded(true);
            tree_->setCurrentItem(item);
            tree_->scrollToItem(item);
        }
    }
}

void CModulatorEditor::FillLayers() {
    layers_->clear();
    for (const LayerListRow& row : editing_.LayerRows()) {
        auto* item = new QTreeWidgetItem(layers_, {Q(row.number), Q(row.direction), Q(row.keymap)});
        item->setData(0, kPathRole, row.index);
        if (row.current) {
            QFont bold = item->font(0);
            bold.setBold(true);
            for (int c = 0; c < 3; ++c)
                item->setFont(c, bold);
            item->setIcon(0, TreeIcon(kImagePrompt));
            layers_->setCurrentItem(item);
            layers_->scrollToItem(item);
        }
    }
}

void CModulatorEditor::FillTree() {
    // Expanded items stay expanded across the rebuild, found again by their paths.
    std::set<std::vector<int>> expanded;
    std::function<void(QTreeWidgetItem*)> collect = [&](QTreeWidgetItem* item) {
        if (item->isExpanded()) expanded.insert(PathOf(item));
        for (int i = 0; i < item->childCount(); ++i)
            collect(item->child(i));
    };
    for (int i = 0; i < tree_->topLevelItemCount(); ++i)
        collect(tree_->topLevelItem(i));
    const bool wasFilling = filling_;
    filling_ = true;
    tree_->clear();
    std::function<void(QTreeWidgetItem*, const ModTreeItem&, std::vector<int>&)> add =
        [&](QTreeWidgetItem* item, const ModTreeItem& from, std::vector<int>& path) {
            item->setText(0, Q(from.text));
            item->setIcon(0, TreeIcon(from.image));
            QVariantList v;
            for (int i : path)
                v.push_back(i);
            item->setData(0, kPathRole, v);
            for (size_t i = 0; i < from.children.size(); ++i) {
                path.push_back(static_cast<int>(i));
                add(new QTreeWidgetItem(item), from.children[i], path);
                path.pop_back();
            }
            if (expanded.count(path)) item->setExpanded(true);
        };
    const auto& tree = editing_.Tree();
    for (size_t i = 0; i < tree.size(); ++i) {
        std::vector<int> path{static_cast<int>(i)};
        add(new QTreeWidgetItem(tree_), tree[i], path);
    }
    filling_ = wasFilling;
    ShowDepth();
}

QTreeWidgetItem* CModulatorEditor::ItemFor(const std::vector<int>& path) const {
    QTreeWidgetItem* item = nullptr;
    for (size_t i = 0; i < path.size(); ++i) {
        const int at = path[i];
        if (i == 0) {
            if (at < 0 || at >= tree_->topLevelItemCount()) return nullptr;
            item = tree_->topLevelItem(at);
        } else {
            if (at < 0 || at >= item->childCount()) return nullptr;
            item = item->child(at);
        }
    }
    return item;
}

std::vector<int> CModulatorEditor::CurrentPath() const {
    return PathOf(tree_->currentItem());
}

void CModulatorEditor::SelectPath(const std::vector<int>& path) {
    if (QTreeWidgetItem* item = ItemFor(path)) {
        tree_->setCurrentItem(item);
        tree_->scrollToItem(item);
    }
}

void CModulatorEditor::FillTabs() {
    filling_ = true;
    for (ModulatorKind kind : kKinds) {
        QTabBar* bar = KindTabs(kind);
        while (bar->count() > 0)
            bar->removeTab(0);
        const ModRef selected = editing_.Selected(kind);
        for (const ModRef& ref : editing_.ModulatorsOf(kind)) {
            const Modulator* m = editing_.Find(ref);
            std::string text = Fmt("%s%d", ref.owner == kProgramModulator ? "P" : "L", ref.id);
            if (!m->SubtypeName().empty()) text += " " + m->SubtypeName();
            const int index = bar->addTab(Q(text));
            bar->setTabData(index, ref.owner * 16 + ref.id);
            if (ref == selected) bar->setCurrentIndex(index);
        }
        // A list whose selection went away shows no tab as chosen.
        if (!selected.Valid() && bar->count() > 0) bar->setCurrentIndex(-1);
    }
    filling_ = false;
}

void CModulatorEditor::ShowDetails(ModulatorKind kind) {
    shown_ = kind;
    filling_ = true;
    Modulator* m = editing_.Find(editing_.Selected(kind));
    if (auto* env = dynamic_cast<EnvModulator*>(m)) {
        details_->setCurrentIndex(1);
        attack_->setValue(env->AttackCount());
        decay_->setValue(env->DecayCount());
        release_->setValue(env->ReleaseCount());
        linear_->setChecked(env->Linear());
        EnvelopeHome home;
        home.program = editing_.CurrentProgram();
        if (env->ownerKind == kLayerModulator) home.layer = editing_.CurrentLayer();
        envelope_->SetEnvelope(env, home);
        envelope_->FillPresetList(*presets_);
    } else if (auto* lfo = dynamic_cast<LfoModulator*>(m)) {
        envelope_->ClearEnvelope();
        details_->setCurrentIndex(2);
        if (QAbstractButton* b = shapes_->button(lfo->Shape())) {
            b->setChecked(true);
        } else {
            shapes_->setExclusive(false);
            for (QAbstractButton* any : shapes_->buttons())
                any->setChecked(false);
            shapes_->setExclusive(true);
        }
        baseRate_->setValue(lfo->BaseRate());
        adjustedRate_->setValue(lfo->AdjustedRate());
        phase_->setValue(lfo->Phase());
        baseRateText_->setText(Q(Fmt("%5.2f", LfoModulator::RateHz(lfo->BaseRate()))));
        adjustedRateText_->setText(Q(Fmt("%5.2f", LfoModulator::RateHz(lfo->AdjustedRate()))));
        phaseText_->setText(Q(Fmt("%5.1f", lfo->Phase() * 22.5)));
        wave_->SetWave(lfo->Shape(), lfo->Phase());
    } else if (auto* fun = dynamic_cast<FunModulator*>(m)) {
        envelope_->ClearEnvelope();
        details_->setCurrentIndex(3);
        picture_->SetOperator(fun->Operator());
        funName_->setText(FunOperatorName(fun->Operator()));
    } else {
        envelope_->ClearEnvelope();
        details_->setCurrentIndex(kind == ModulatorKind::kFun ? 3 : 0);
        picture_->SetOperator(-1);
        funName_->clear();
    }
    filling_ = false;
}

void CModulatorEditor::ShowDepth() {
    const ModTreeItem* item = editing_.ItemAt(CurrentPath());
    const bool depth =
        item && (item->role == TreeRole::kBaseDepth || item->role == TreeRole::kAdjustedDepth);
    const bool was = filling_;
    filling_ = true;
    depth_->setEnabled(depth);
    const Layer* layer = editing_.CurrentLayer();
    if (depth && layer && item->entry >= 0 &&
        item->entry < static_cast<int>(layer->Block(item->block).Entries().size())) {
        const ModulationEntry& e =
            layer->Block(item->block).Entries()[static_cast<size_t>(item->entry)];
        depth_->setValue(item->role == TreeRole::kBaseDepth ? e.baseDepth : e.adjustedDepth);
    }
    filling_ = was;
    remove_->setEnabled(item && item->entryItem);
    addReplace_->setEnabled(item &&
                            (item->role == TreeRole::kBlock || item->role == TreeRole::kSource));
}

void CModulatorEditor::Edited() {
    editing_.Changed();
    FillTabs();
}

std::unique_ptr<QMenu> CModulatorEditor::MakeSourceMenu() {
    auto menu = std::make_unique<QMenu>(this);
    FillMenu(*menu, editing_.SourceMenu(editing_.ItemAt(CurrentPath())),
             [this](int c) { RunCommand(c); });
    return menu;
}

std::unique_ptr<QMenu> CModulatorEditor::MakeListMenu(ModulatorKind kind) {
    auto menu = std::make_unique<QMenu>(this);
    FillMenu(*menu, editing_.ListMenu(kind), [this, kind](int c) { RunListCommand(kind, c); });
    return menu;
}

void CModulatorEditor::RunCommand(int command) {
    const std::vector<int> path = CurrentPath();
    if (editing_.Command(command, editing_.ItemAt(path)) != 0) return;
    FillTree();
    SelectPath(path);
    FillTabs();
    ShowDetails(shown_);
}

void CModulatorEditor::RunListCommand(ModulatorKind kind, int command) {
    std::vector<std::vector<int>> found;
    const std::vector<int> path = CurrentPath();
    if (editing_.ListCommand(kind, command, &found) != 0) return;
    if (command == kCmdFindInstances) {
        tree_->clearSelection();
        tree_->setSelectionMode(QAbstractItemView::MultiSelection);
        for (const auto& at : found) {
            if (QTreeWidgetItem* item = ItemFor(at)) {
                for (QTreeWidgetItem* up = item->parent(); up; up = up->parent())
                    up->setExpanded(true);
                item->setSelected(true);
                tree_->scrollToItem(item);
            }
        }
        tree_->setSelectionMode(QAbstractItemView::SingleSelection);
        return;
    }
    FillTree();
    SelectPath(path);
    FillTabs();
    ShowDetails(kind);
}

}  // namespace talmeru
