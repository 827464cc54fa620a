#include "editors/controls/KeyMatrix.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFocusEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <QRadioButton>
#include <QSlider>
#include <QVBoxLayout>
#include <algorithm>

#include "application/BankEdits.h"
#include "model/ZedoDatabase.h"
#include "platform/Format.h"
#include "widgets/FileDropFilter.h"

namespace talmeru {

namespace {

std::function<void(int)>& Opener() {
    static std::function<void(int)> opener;
    return opener;
}

SampleImporter& Importer() {
    static SampleImporter importer;
    return importer;
}

QColor FromColorRef(uint32_t c) {
    return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

}  // namespace

void SetSampleEditorOpener(std::function<void(int sample)> opener) {
    Opener() = std::move(opener);
}

bool HasSampleEditorOpener() {
    return static_cast<bool>(Opener());
}

void SetSampleImporter(SampleImporter importer) {
    Importer() = std::move(importer);
}

CKeyMatrix::CKeyMatrix(BankEdits& edits, QWidget* parent)
    : QWidget(parent), edits_(edits), model_(edits.Bank()) {
    setFocusPolicy(Qt::ClickFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    model_.SetBandHeight(QFontMetrics(QApplication::font()).height());
    new FileDropFilter(
        this, DropTarget::kKeymapRange,
        [this](const DropPlan& plan, QPoint at) { DropSample(plan.files, at); },
        [this](QPoint at) {
            return Importer() && edits_.Editable() && model_.HitRange(at.x(), at.y()) >= 0;
        });
    askSample = [this](SampleChoice& choice) -> std::optional<int> {
        SelectSampleDialog dialog(choice, this);
        if (dialog.exec() != QDialog::Accepted) return std::nullopt;
        const int chosen = dialog.Chosen();
        if (chosen < 0) {
            QApplication::beep();
            return std::nullopt;
        }
        return chosen;
    };
    askAmplitude = [this](int keymap, size_t entry) {
        auto* popup = new AmpPopup(edits_, model_.ProgramNumber(), keymap, entry, this);
        popup->setAttribute(Qt::WA_DeleteOnClose);
        connect(popup, &AmpPopup::changed, this, [this] { update(); });
        popup->move(mapToGlobal(QPoint(0, model_.BandHeight())));
        popup->show();
    };
}

CKeyMatrix::~CKeyMatrix() = default;

void CKeyMatrix::Show(int program, int layer, int keymap) {
    model_.Show(program, layer, keymap);
    timer_.stop();
    update();
}

void CKeyMatrix::Reload() {
    model_.Rebuild();
    timer_.stop();
    update();
}

void CKeyMatrix::MarkKey(int key, bool on) {
    if (key < 0 || key > 127) return;
    model_.SetSounding(key, on);
    RepaintKeys(key, key);
}

void CKeyMatrix::RepaintKeys(int a, int b) {
    const int lo = std::max(std::min(a, b), 0), hi = std::max(a, b);
    update(QRect(model_.KeyX(lo), 0, (hi - lo + 1) * kKeyWidth, height()));
}

const MatrixRange* CKeyMatrix::SelectedRange() const {
    const int r = model_.Selected();
    return r >= 0 ? &model_.Ranges()[size_t(r)] : nullptr;
}

void CKeyMatrix::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    const QRect clip = event->rect();
    const int w = width(), h = height(), band = model_.BandHeight();
    const KeyWindow& win = model_.Window();
    const int last = std::min(win.End(), 127);
    const int keysEnd = (last - win.start + 1) * kKeyWidth;
    if (keysEnd < w) p.fillRect(QRect(keysEnd, 0, w - keysEnd, h), palette().button());
    p.setFont(QApplication::font());
    for (int k = win.start; k <= last; ++k) {
        const int x = model_.KeyX(k);
        if (x >= w) break;
        const QRect cell(x, band, kKeyWidth, h - band);
        if (cell.intersects(clip)) {
            p.fillRect(cell, FromColorRef(model_.KeyBase(k)));
            p.fillRect(cell, QBrush(FromColorRef(model_.KeyMark(k)), Qt::Dense4Pattern));
        }
        const QRect bandCell(x, 0, kKeyWidth, band);
        if (bandCell.intersects(clip)) {
            const BandCell c = model_.Band(k);
            if (c.outsideLayer) {
                p.fillRect(bandCell, Qt::black);
                p.fillRect(bandCell, QBrush(FromColorRef(c.colour), Qt::Dense4Pattern));
            } else {
                p.fillRect(bandCell, FromColorRef(c.colour));
            }
            if (c.silent && band > 5) p.fillRect(QRect(x, 0, kKeyWidth, band - 5), Qt::white);
        }
        if (k % 12 == 0) {
            p.setPen(Qt::black);
            p.drawText(QRect(x + 1, h - band, 4 * kKeyWidth, band), Qt::AlignLeft | Qt::AlignTop,
                       QString::number(k / 12 - 1));
            p.drawLine(x - 1, 0, x - 1, h);
        }
    }
    const QFontMetrics fm(p.font());
    const auto labels =
        model_.Labels([&fm](const std::string& s) { return fm.horizontalAdvance(Q(s)); });
    for (const MatrixLabel& l : labels) {
        p.setPen(Qt::black);
        p.drawText(QRect(l.x + 2, l.row * band, w, band), Qt::AlignLeft | Qt::AlignTop, Q(l.text));
        if (l.row > 0) {
            p.setPen(QPen(FromColorRef(kLeaderLine), 1));
            const int lx = l.x + kKeyWidth / 2;
            p.drawLine(lx, band / 2, lx, l.row * band);
        }
    }
    // A silent range has no label but shows its selection all the same.
    for (size_t r = 0; r < model_.Ranges().size(); ++r) {
        if (!model_.Ranges()[r].selected) continue;
        if (auto span = model_.RangeSpan(r)) {
            p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
            p.fillRect(QRect(span->x0, 0, span->x1 - span->x0, band), Qt::white);
            p.setCompositionMode(QPainter::CompositionMode_SourceOver);
        }
    }
}

void CKeyMatrix::PressAt(QPoint at) {
    setFocus(Qt::MouseFocusReason);
    const int hit = model_.Press(at.x(), at.y());
    if (hit >= 0) {
        update();
        return;
    }
    if (model_.Anchor() >= 0) {
        setCursor(Qt::SizeHorCursor);
        RepaintKeys(model_.Anchor(), model_.Anchor());
    }
    update(QRect(0, 0, width(), model_.BandHeight()));
    timer_.start(kAutoScrollPeriodMs, this);
}

void CKeyMatrix::mousePressEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    if (event->button() == Qt::LeftButton) {
        PressAt(at);
    } else if (event->button() == Qt::RightButton) {
        PressAt(at);
        // A right press on a key starts no lasting drag: the menu takes the mouse.
        timer_.stop();
        if (model_.CancelDrag()) update();
        unsetCursor();
        MakeContextMenu()->exec(event->globalPosition().toPoint());
    }
}

void CKeyMatrix::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) EditSample();
}

void CKeyMatrix::mouseMoveEvent(QMouseEvent* event) {
    if (!model_.Dragging()) return;
    const bool held = event->buttons() & Qt::LeftButton;
    const int old = model_.Current();
    if (!held) {
        timer_.stop();
        unsetCursor();
        model_.Move(0, false);
        update();
        return;
    }
    if (!model_.Move(event->position().toPoint().x(), true)) return;
    if (!model_.Dragging()) {
        timer_.stop();
        unsetCursor();
        update();
        return;
    }
    const int now = model_.Current();
    const int anchor = model_.Anchor();
    RepaintKeys(std::min({old, now, anchor}), std::max({old, now, anchor}));
}

void CKeyMatrix::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    timer_.stop();
    unsetCursor();
    if (auto span = model_.Release()) CommitDrag(span->first, span->second);
    update();
}

void CKeyMatrix::CommitDrag(int lo, int hi) {
    KeymapCommands commands(edits_, model_.ProgramNumber());
    if (commands.CommitDrag(model_.LayerIndex(), model_.KeymapNumber(), SharedDragMode(), lo, hi,
                            model_.Offset()))
        emit edited();
}

void CKeyMatrix::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    // The context menu takes the focus while it is open; its command needs the selection.
    if (event->reason() == Qt::PopupFocusReason) return;
    timer_.stop();
    unsetCursor();
    const bool selected = model_.ClearSelection();
    if (model_.CancelDrag() || selected) update();
}

void CKeyMatrix::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const int before = model_.Window().start;
    model_.SetWidth(width());
    if (model_.Window().start != before) emit scrolled();
}

void CKeyMatrix::timerEvent(QTimerEvent* event) {
    if (event->timerId() == timer_.timerId())
        AutoScrollTick();
    else
        QWidget::timerEvent(event);
}

void CKeyMatrix::AutoScrollTick() {
    if (model_.AutoScrollTick()) {
        update();
        emit scrolled();
    }
}

std::unique_ptr<QMenu> CKeyMatrix::MakeContextMenu() {
    auto menu = std::make_unique<QMenu>(this);
    const MatrixRange* r = SelectedRange();
    const SampleHeader* h = r ? model_.HeaderOf(*r) : nullptr;
    const Keymap* k = model_.FindKeymap();
    auto add = [&](const std::string& text, int id, bool enabled) {
        QAction* a = menu->addAction(Q(text), this, [this, id] { Command(id); });
        a->setData(id);
        a->setEnabled(r && k && enabled);
    };
    std::optional<int> amp;
    if (r && k && r->entry < k->entries.size()) amp = k->entries[r->entry].amp;
    add("Replace Sample...", kCmdReplaceSample, true);
    add(AmpMenuText(amp), kCmdAdjustAmplitude, true);
    add("Silent Range", kCmdSilentRange, true);
    add("Split Range", kCmdSplitRange, r && r->low < r->top);
    // A keymap keeps at least one range.
    add("Delete Range", kCmdDeleteRange, k && k->entries.size() > 1);
    menu->addSeparator();
    add(EditSampleMenuText(r != nullptr, h ? h->Name() : "", h != nullptr), kCmdEditSample,
        HasSampleEditorOpener());
    return menu;
}

void CKeyMatrix::EditSample() {
    if (!HasSampleEditorOpener()) return;
    const MatrixRange* r = SelectedRange();
    const SampleHeader* h = r ? model_.HeaderOf(*r) : nullptr;
    Opener()(h ? h->Number() : -1);
}

void CKeyMatrix::DropSample(const std::vector<std::string>& files, QPoint at) {
    const int hit = model_.HitRange(at.x(), at.y());
    if (hit < 0 || !Importer()) return;
    const size_t entry = model_.Ranges()[size_t(hit)].entry;
    const int keymap = model_.KeymapNumber();
    const int program = model_.ProgramNumber();
    // The import refreshes the views, which may rebuild this row.
    QPointer<CKeyMatrix> self(this);
    BankEdits& edits = edits_;
    const int sample = Importer()(files);
    if (sample < 0) return;
    const bool changed = KeymapCommands(edits, program).ReplaceSample(keymap, entry, sample);
    if (!changed) return;
    if (self) {
        emit edited();
    } else {
        edits.Refresh(kHintKeymaps);
    }
}

void CKeyMatrix::Command(int id) {
    const MatrixRange* r = SelectedRange();
    if (!r) return;
    const size_t entry = r->entry;
    const int keymap = model_.KeymapNumber();
    KeymapCommands commands(edits_, model_.ProgramNumber());
    bool changed = false;
    switch (id) {
        case kCmdDeleteRange:
            changed = commands.DeleteRange(keymap, entry);
            break;
        case kCmdSplitRange:
            changed = commands.SplitRange(keymap, entry);
            break;
        case kCmdSilentRange:
            changed = commands.SilentRange(keymap, entry);
            break;
        case kCmdReplaceSample: {
            const Keymap* k = model_.FindKeymap();
            if (!k) return;
            SampleChoice choice(edits_.Bank(), r->sample, k->stereoRole == kStereoLeft);
            // The dialog runs its own event loop; the row may be rebuilt meanwhile.
            QPointer<CKeyMatrix> self(this);
            const auto sample = askSample(choice);
            if (!self) return;
            if (sample) changed = commands.ReplaceSample(keymap, entry, *sample);
            break;
        }
        case kCmdAdjustAmplitude:
            askAmplitude(keymap, entry);
            return;
        case kCmdEditSample:
            EditSample();
            return;
        default:
            return;
    }
    if (changed) emit edited();
}

AmpPopup::AmpPopup(BankEdits& edits, int program, int keymap, size_t entry, QWidget* parent)
    : QWidget(parent, Qt::Popup), edits_(edits), program_(program), keymap_(keymap), entry_(entry) {
    setWindowTitle("Amp");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Amp", this));
    slider_ = new QSlider(Qt::Horizontal, this);
    slider_->setRange(kAmpSliderMin, kAmpSliderMax);
    slider_->setSingleStep(1);
    slider_->setPageStep(1);
    // Ticks at -127 and +32 mark the safe range.
    slider_->setTickPosition(QSlider::TicksBelow);
    slider_->setTickInterval(kAmpSafeMax - kAmpSliderMin);
    slider_->setToolTip(Fmt("Safe range %d..%+d", kAmpSliderMin, kAmpSafeMax).c_str());
    readout_ = new QLabel(this);
    fullRange_ = new QCheckBox("Full Range", this);
    auto* row = new QHBoxLayout;
    row->addWidget(slider_, 1);
    row->addWidget(readout_);
    layout->addLayout(row);
    layout->addWidget(fullRange_);
    const Keymap* k = edits_.Bank().GetKeymap(keymap_);
    const int amp = k && entry_ < k->entries.size() ? k->entries[entry_].amp : 0;
    slider_->setValue(amp);
    readout_->setText(Q(Fmt("%+d", amp)));
    connect(slider_, &QSlider::valueChanged, this, &AmpPopup::Moved);
}

void AmpPopup::Moved(int value) {
    KeymapCommands commands(edits_, program_);
    const auto applied = commands.AdjustAmplitude(keymap_, entry_, value, fullRange_->isChecked());
    if (!applied) return;  // the keymap went away under us
    if (*applied != value) {
        // Setting the slider moves it again; the second move finds nothing to clamp.
        slider_->setValue(*applied);
        return;
    }
    readout_->setText(Q(Fmt("%+d", *applied)));
    emit changed();
}

SelectSampleDialog::SelectSampleDialog(SampleChoice& choice, QWidget* parent)
    : QDialog(parent), choice_(choice) {
    setWindowTitle("Select Sample");
    auto* layout = new QVBoxLayout(this);
    list_ = new QListWidget(this);
    layout->addWidget(list_, 1);
    auto* group = new QGroupBox("View only", this);
    auto* groupLayout = new QHBoxLayout(group);
    const char* names[3] = {"RAM", "ROM", "All"};
    for (int v = 0; v < 3; ++v) {
        QRadioButton* b = new QRadioButton(v == kViewRam ? Q(choice.RamLabel()) : names[v], group);
        b->setEnabled(v == kViewRam || !choice.Stereo());
        groupLayout->addWidget(b);
        views_[size_t(v)] = b;
        connect(b, &QRadioButton::toggled, this, [this, v](bool on) {
            if (!on) return;
            choice_.SetView(v);
            Fill();
        });
    }
    layout->addWidget(group);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(list_, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
    layout->addWidget(buttons);
    views_[size_t(choice.View())]->setChecked(true);
    Fill();
}

void SelectSampleDialog::Fill() {
    list_->clear();
    for (const ListItem& item : choice_.List().items)
        list_->addItem(Q(item.text));
    list_->setCurrentRow(choice_.List().selected);
}

int SelectSampleDialog::Chosen() const {
    const auto items = list_->selectedItems();
    return items.isEmpty() ? -1 : choice_.SampleAt(list_->row(items.front()));
}

}  // namespace talmeru
