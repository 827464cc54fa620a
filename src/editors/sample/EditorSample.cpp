#include "editors/sample/EditorSample.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QEventLoop>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QStyle>
#include <QTreeWidget>
#include <QScrollArea>
#include <QSplitter>
#include <QVBoxLayout>
#include <filesystem>

#include "application/EnvelopePresets.h"
#include "application/TalmeruApp.h"
#include "editors/controls/EnvelopeCtrl.h"
#include "editors/sample/SampleMainView.h"
#include "editors/sample/SampleView.h"
#include "model/ZedoDatabase.h"
#include "platform/Prompter.h"
#include "platform/SoundPlayer.h"
#include "widgets/ProgressWindows.h"
#include "widgets/WaveFileDialog.h"

namespace talmeru {

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

// Keeps the wait cursor for as long as it lives.
struct WaitCursor {
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

constexpr const char* kFlagTexts[3] = {"De-Thump", "1=Linear  0=K8", "1=16 bit   0=8 bit"};
constexpr const char* kPointTexts[3] = {"Start", "Loop", "End"};

}  // namespace

EditorSample::EditorSample(TalmeruApp& app, QWidget* parent)
    : QWidget(parent), app_(app), edit_(app), audition_(app) {
    setWindowTitle("Sample Editor");
    // A transfer under its progress window keeps the fields from being edited meanwhile.
    edit_.SetBusyTest([] {
        const QWidget* modal = QApplication::activeModalWidget();
        return modal && modal->property(kProgressWindowProperty).toBool();
    });
    BuildForm();
    FillPresets();
    Refill();
}

EditorSample::~EditorSample() {
    envelope_->removeEventFilter(this);
}

QPushButton* EditorSample::Button(const char* text) const {
    for (const auto& [name, button] : buttons_)
        if (std::string_view(name) == text) return button;
    return nullptr;
}

void EditorSample::BuildForm() {
    // The form above and the sample view below share the height; the user moves the border.
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* split = new QSplitter(Qt::Vertical, this);
    split->setChildrenCollapsible(false);
    outer->addWidget(split);
    // The form scrolls when the window is too low for it, rather than being cut.
    auto* scroll = new QScrollArea(split);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    auto* form = new QWidget;
    scroll->setWidget(form);
    auto* top = new QHBoxLayout(form);
    auto* left = new QVBoxLayout;
    auto* right = new QVBoxLayout;
    top->addLayout(left, 3);
    top->addLayout(right, 2);

    auto button = [this](const char* text, auto slot) {
        auto* b = new QPushButton(text, this);
        buttons_.emplace_back(text, b);
        connect(b, &QPushButton::clicked, this, slot);
        return b;
    };

    auto* filterRow = new QHBoxLayout;
    const char* filterTexts[3] = {"All Samples", "Just RAM Samples", "Just ROM Samples"};
    for (int f = 0; f < 3; ++f) {
        filters_[size_t(f)] = new QRadioButton(filterTexts[f], this);
        filterRow->addWidget(filters_[size_t(f)]);
        filters_[size_t(f)]->setChecked(f == kSamplesAll);
        connect(filters_[size_t(f)], &QRadioButton::toggled, this, [this, f](bool on) {
            if (!on) return;
            edit_.SetFilter(f);
            Refill();
        });
    }
    left->addLayout(filterRow);

    list_ = new QTreeWidget(this);
    list_->setRootIsDecorated(false);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setColumnCount(kSampleColumns);
    QStringList titles;
    for (const char* t : kSampleColumnTitles)
        titles << t;
    list_->setHeaderLabels(titles);
    for (int c = 0; c < kSampleColumns; ++c)
        list_->setColumnWidth(c, kSampleColumnWidths[size_t(c)]);
    connect(list_, &QTreeWidget::itemSelectionChanged, this, &EditorSample::SelectionChanged);
    connect(list_, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem*) { Play(); });
    left->addWidget(list_, 1);

    auto* row1 = new QHBoxLayout;
    auto* row2 = new QHBoxLayout;
    row1->addWidget(button("Play", &EditorSample::Play));
    row1->addWidget(button("Stop", [] { CurrentSoundPlayer().Stop(); }));
    row1->addWidget(button("New", &EditorSample::NewSamples));
    row1->addWidget(button("Make Alias", &EditorSample::MakeAlias));
    row2->addWidget(button("Wave Editor", &EditorSample::WaveEditor));
    row2->addWidget(button("Extract", &EditorSample::Extract));
    row2->addWidget(button("Spectrum", [this] {
        if (SampleHeader* h = edit_.Current()) emit spectrumRequested(h->Number());
    }));
    row2->addWidget(button("Delete", [this] { edit_.DeleteCommand(); }));
    left->addLayout(row1);
    left->addLayout(row2);

    // Points.
    pointsGroup_ = new QGroupBox(this);
    auto* grid = new QGridLayout(pointsGroup_);
    // The points as loaded, which Reset brings back, beside the points as they are.
    auto* asLoaded = new QLabel("Original", pointsGroup_);
    asLoaded->setToolTip("The points as loaded; Reset brings them back");
    grid->addWidget(asLoaded, 0, 2);
    for (int p = 0; p < 3; ++p) {
        grid->addWidget(new QLabel(kPointTexts[p], pointsGroup_), p + 1, 0);
        points_[size_t(p)] = new QLineEdit(pointsGroup_);
        originals_[size_t(p)] = new QLabel(pointsGroup_);
        grid->addWidget(points_[size_t(p)], p + 1, 1);
        grid->addWidget(originals_[size_t(p)], p + 1, 2);
        fieldControls_.push_back(points_[size_t(p)]);
        connect(points_[size_t(p)], &QLineEdit::editingFinished, this, [this, p] {
            if (showing_) return;
            edit_.SetPoint(p, points_[size_t(p)]->text().toStdString());
            ShowFields();
        });
    }
    QPushButton* reset = button("Reset", [this] {
        edit_.ResetPoints();
        ShowFields();
    });
    fieldControls_.push_back(reset);
    grid->addWidget(reset, 4, 2);
    grid->addWidget(button("Loop On/Off",
                           [this] {
                               edit_.ToggleLoops();
                               ShowFields();
                           }),
                    4, 1);
    right->addWidget(pointsGroup_);

    // Pitch and amplitude.
    auto* pitch = new QGridLayout;
    maxNote_ = new QLabel(this);
    originalNote_ = new QLabel(this);
    actualNote_ = new QLabel(this);
    auto spin = [this](int low, int high) {
        auto* s = new QSpinBox(this);
        s->setRange(low, high);
        fieldControls_.push_back(s);
        return s;
    };
    // The spins only count clicks: each step moves the pitch by a semitone or 1/256.
    coarse_ = spin(-1000000, 1000000);
    fine_ = spin(-1000000, 1000000);
    coarse_->setToolTip("Coarse (semitones)");
    fine_->setToolTip("Fine (1/256 semitone)");
    connect(coarse_, &QSpinBox::valueChanged, this,
            [this](int v) { PitchSpin(coarse_, coarseLast_, v, true); });
    connect(fine_, &QSpinBox::valueChanged, this,
            [this](int v) { PitchSpin(fine_, fineLast_, v, false); });
    pitch->addWidget(new QLabel("Max Note", this), 0, 0);
    pitch->addWidget(maxNote_, 0, 1);
    pitch->addWidget(coarse_, 0, 2);
    pitch->addWidget(fine_, 0, 3);
    pitch->addWidget(new QLabel("Original Note", this), 1, 0);
    pitch->addWidget(originalNote_, 1, 1);
    pitch->addWidget(new QLabel("Actual Note", this), 2, 0);
    pitch->addWidget(actualNote_, 2, 1);
    amp_ = spin(-32, 32);
    connect(amp_, &QSpinBox::valueChanged, this, [this](int v) {
        if (showing_) return;
        edit_.SetAmp(v);
        ShowFields();
    });
    pitch->addWidget(new QLabel("Amp Adj.", this), 3, 0);
    pitch->addWidget(amp_, 3, 1);
    pitch->addWidget(new QLabel("db", this), 3, 2);
    right->addLayout(pitch);

    for (int bit = 0; bit < 3; ++bit) {
        flags_[size_t(bit)] = new QCheckBox(kFlagTexts[bit], this);
        fieldControls_.push_back(flags_[size_t(bit)]);
        right->addWidget(flags_[size_t(bit)]);
        connect(flags_[size_t(bit)], &QCheckBox::toggled, this, [this, bit](bool on) {
            if (showing_) return;
            edit_.SetFlag(bit, on);
            ShowFields();
        });
    }

    // Natural envelope.
    auto* natural = new QGroupBox("Natural Envelope", this);
    auto* env = new QGridLayout(natural);
    attack_ = new QSpinBox(natural);
    attack_->setRange(0, 8);
    fieldControls_.push_back(attack_);
    connect(attack_, &QSpinBox::valueChanged, this, [this](int v) {
        if (showing_) return;
        edit_.SetAttackSegs(v);
        ShowFields();
    });
    envelope_ = new CEnvelopeCtrl(app_.Settings(), app_, kNaturalEnvelope, natural);
    envelope_->installEventFilter(this);
    env->addWidget(new QLabel("Attack Segs", natural), 0, 0);
    env->addWidget(attack_, 0, 1);
    env->addWidget(envelope_, 1, 0, 1, 4);
    env->addWidget(new QLabel("Preset Envelopes", natural), 2, 0);
    presetName_ = new QLineEdit(natural);
    presetName_->setMaxLength(kPresetNameLength);
    presets_ = new QListWidget(natural);
    connect(presets_, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { PresetChosen(presets_->row(item)); });
    env->addWidget(presetName_, 2, 1, 1, 3);
    env->addWidget(presets_, 3, 0, 1, 4);
    env->addWidget(button("Add", &EditorSample::AddPreset), 4, 2);
    env->addWidget(button("Delete Preset", &EditorSample::DeletePreset), 4, 3);
    Button("Delete Preset")->setText("Delete");
    right->addWidget(natural, 1);
    BuildView(split);
    // The sample view is the editor's main view: it takes the larger part of the height.
    split->setStretchFactor(0, 2);
    split->setStretchFactor(1, 3);
    split_ = split;
}

void EditorSample::BuildView(QSplitter* into) {
    auto* group = new QGroupBox("Sample View", this);
    auto* layout = new QGridLayout(group);
    auto* tools = new QHBoxLayout;
    auto button = [this, group, tools](const char* text, const char* tip) {
        auto* b = new QPushButton(text, group);
        b->setToolTip(tip);
        buttons_.emplace_back(text, b);
        tools->addWidget(b);
        return b;
    };
    wave_ = new WaveView(group);
    join_ = new LoopJoinView(group);
    scroll_ = new QScrollBar(Qt::Horizontal, group);
    auto zoom = [this](double factor) { wave_->ZoomAboutLoop(factor); };
    connect(button("Zoom In", "Shows half as much (or turn the wheel over the wave)"),
            &QPushButton::clicked, this, [zoom] { zoom(0.5); });
    connect(button("Zoom Out", "Shows twice as much"), &QPushButton::clicked, this,
            [zoom] { zoom(2.0); });
    connect(button("Whole Sample", "Shows the whole sample"), &QPushButton::clicked, wave_,
            &WaveView::ZoomAll);
    snap_ = new QCheckBox("Snap to zero crossings", group);
    snap_->setToolTip("Dragged markers land on rising zero crossings; Shift while dragging swaps");
    snap_->setChecked(true);
    connect(snap_, &QCheckBox::toggled, wave_, &WaveView::SetSnap);
    tools->addWidget(snap_);
    tools->addStretch(1);
    connect(button("Find Loop", "Moves the loop points nearby to where the waveform joins best"),
            &QPushButton::clicked, this, [this] {
                WaitCursor wait;
                edit_.FindLoop();
                ShowFields();
            });
    connect(button("Detect Pitch", "Sets the root pitch from the sample's fundamental"),
            &QPushButton::clicked, this, [this] {
                WaitCursor wait;
                edit_.DetectPitch();
                ShowFields();
            });
    QPushButton* hold = button(
        "Hold to Play",
        "Plays the sample on the synthesizer at its root key, looping, while the button is held");
    connect(hold, &QPushButton::pressed, this, [this] {
        if (SampleHeader* h = edit_.Current()) audition_.Start(h->Number());
    });
    connect(hold, &QPushButton::released, this, [this] { audition_.Stop(); });

    connect(wave_, &WaveView::pointMoved, this, [this](int which, qint64 frame) {
        edit_.MovePoint(which, frame);
        ShowFields();
    });
    connect(wave_, &WaveView::viewChanged, this, [this] {
        QSignalBlocker block(scroll_);
        const auto span = static_cast<int>(std::lround(wave_->ViewSpan()));
        scroll_->setRange(0, static_cast<int>(std::max<int64_t>(0, wave_->Frames() - span)));
        scroll_->setPageStep(std::max(1, span));
        scroll_->setSingleStep(std::max(1, span / 10));
        scroll_->setValue(static_cast<int>(std::lround(wave_->ViewStart())));
    });
    connect(scroll_, &QScrollBar::valueChanged, this,
            [this](int value) { wave_->SetViewStart(value); });

    auto* joinLabel = new QLabel("Loop Join", group);
    layout->addLayout(tools, 0, 0, 1, 2);
    layout->addWidget(wave_, 1, 0);
    // Beside the wave: the loop join, and below it the tuning pane.
    auto* side = new QVBoxLayout;
    side->addWidget(join_, 2);
    side->addWidget(joinLabel, 0, Qt::AlignHCenter);
    tuning_ = new TuningPane(group);
    side->addWidget(tuning_, 3);
    layout->addLayout(side, 1, 1, 4, 1);
    axis_ = new TimeAxis(*wave_, group);
    layout->addWidget(axis_, 2, 0);
    layout->addWidget(scroll_, 3, 0);
    layout->addLayout(BuildPlayRow(group), 4, 0);
    layout->setColumnStretch(0, 4);
    layout->setColumnStretch(1, 1);
    layout->setRowStretch(1, 1);
    group->setMinimumHeight(320);
    into->addWidget(group);
}

QHBoxLayout* EditorSample::BuildPlayRow(QWidget* group) {
    auto* row = new QHBoxLayout;
    auto* play = new QPushButton("Play Sample", group);
    play->setToolTip("Plays the sample at its own rate here, without the synthesizer");
    buttons_.emplace_back("Play Sample", play);
    connect(play, &QPushButton::clicked, this, &EditorSample::PlayView);
    loopPlay_ = new QCheckBox("Loop", group);
    loopPlay_->setToolTip("Play Sample repeats the loop after the end, as the synthesizer does");
    loopPlay_->setChecked(true);
    length_ = new QLabel(group);
    length_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // A fixed size: a new length, at every marker drop, then lays nothing out again.
    length_->setFixedSize(length_->fontMetrics().horizontalAdvance("0000.000 s (000000000 frames)"),
                          length_->fontMetrics().height() + 2);
    row->addWidget(play);
    row->addWidget(loopPlay_);
    row->addSpacing(12);
    row->addWidget(new QLabel("Length:", group));
    row->addWidget(length_);
    row->addStretch(1);
    return row;
}

void EditorSample::ShowMeasures(const SampleHeader* header, const WavePeaks* left) {
    if (!header || !left) {
        axis_->SetTiming(0, 0);
        length_->setText("-");
        tuning_->Show(std::nullopt, header ? std::optional(RootKeyOf(*header)) : std::nullopt);
        Button("Play Sample")->setEnabled(false);
        return;
    }
    const SampleEditing::FramePoints points = SampleEditing::PointsInFrames(*header);
    // The sample's own rate: a converted SoundFont's samples keep theirs within a shared block.
    const int rate = header->SampleRate();
    axis_->SetTiming(rate, points.start);
    length_->setText(Q(LengthText(points.end - points.start, rate)));
    tuning_->Show(ReadTuning(*left, points, rate), RootKeyOf(*header));
    Button("Play Sample")->setEnabled(true);
}

void EditorSample::PlayView() {
    const SampleHeader* h = edit_.Current();
    const auto left = h ? edit_.Frames(*h) : nullptr;
    if (!left) return;
    const SampleHeader* partner = StereoPartner(*h);
    const auto right = partner ? edit_.Frames(*partner) : nullptr;
    const SampleEditing::FramePoints points = SampleEditing::PointsInFrames(*h);
    const int rate = h->SampleRate();
    // A loop is heard for a few seconds: long enough to judge its join.
    const bool loop = loopPlay_->isChecked();
    const int64_t least = int64_t{rate} * 4;
    const std::vector<int16_t> l = PlaybackFrames(left->Data(), points, loop, least);
    const std::vector<int16_t> r =
        right ? PlaybackFrames(right->Data(), points, loop, least) : std::vector<int16_t>{};
    const std::vector<uint8_t> wav = PlaybackWav(l, r, rate);
    const QString path = QDir(QDir::tempPath()).filePath("talmeru-sample-view.wav");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(reinterpret_cast<const char*>(wav.data()), qint64(wav.size())) !=
            qint64(wav.size())) {
        ShowMessage("The sample could not be written to " + path.toStdString() + " to be played.");
        return;
    }
    file.close();
    CurrentSoundPlayer().Stop();
    CurrentSoundPlayer().Play(path.toStdString());
}

void EditorSample::ShowWave(bool enabled) {
    SampleHeader* h = enabled ? edit_.Current() : nullptr;
    const auto left = h ? edit_.Frames(*h) : nullptr;
    const SampleHeader* partner = h ? StereoPartner(*h) : nullptr;
    const auto right = partner ? edit_.Frames(*partner) : nullptr;
    if (!left) {
        wave_->Clear();
        join_->Clear();
        shownHeader_ = -1;
    } else {
        const SampleEditing::FramePoints points = SampleEditing::PointsInFrames(*h);
        // Samples of one wave data (a SoundFont's) each show their own stretch of it.
        wave_->Show(left, right, points, h->Number() != shownHeader_);
        shownHeader_ = h->Number();
        // A few milliseconds either side of the join.
        const int rate = h->SampleRate();
        join_->Show(left, points, std::clamp(rate / 200, 16, 2048));
    }
    ShowMeasures(left ? h : nullptr, left.get());
    const bool editable = app_.Editable();
    Button("Zoom In")->setEnabled(left != nullptr);
    Button("Zoom Out")->setEnabled(left != nullptr);
    Button("Whole Sample")->setEnabled(left != nullptr);
    Button("Find Loop")->setEnabled(left && editable);
    Button("Detect Pitch")->setEnabled(left && editable);
    Button("Hold to Play")->setEnabled(h && h->Wave());
    wave_->setEnabled(left != nullptr);
}

std::vector<int> EditorSample::SelectedNumbers() const {
    std::vector<int> numbers;
    for (int i = 0; i < list_->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = list_->topLevelItem(i);
        if (item->isSelected()) numbers.push_back(item->data(0, Qt::UserRole).toInt());
    }
    return numbers;
}

void EditorSample::FillList() {
    QSignalBlocker block(list_);
    list_->clear();
    QStyle* look = style();
    const QIcon icons[3] = {look->standardIcon(QStyle::SP_MediaVolume),
                            look->standardIcon(QStyle::SP_MediaSeekForward),
                            look->standardIcon(QStyle::SP_DriveHDIcon)};
    for (const SampleRow& row : edit_.Rows()) {
        auto* item = new QTreeWidgetItem(list_);
        for (int c = 0; c < kSampleColumns; ++c)
            item->setText(c, Q(row.cells[size_t(c)]));
        item->setIcon(0, icons[row.icon]);
        item->setData(0, Qt::UserRole, row.number);
    }
}

void EditorSample::Refill() {
    const std::vector<int> before = edit_.Selected();
    FillList();
    {
        QSignalBlocker block(list_);
        for (int i = 0; i < list_->topLevelItemCount(); ++i) {
            QTreeWidgetItem* item = list_->topLevelItem(i);
            const int n = item->data(0, Qt::UserRole).toInt();
            if (std::find(before.begin(), before.end(), n) != before.end()) item->setSelected(true);
        }
    }
    SelectionChanged();
}

void EditorSample::SelectSample(int number) {
    if (const SampleHeader* h = app_.Bank().GetSampleHeader(number);
        h && h->stereoRole == kStereoRight) {
        // The list shows pairs by their left half.
        for (int n = 0; n < kSlotCount; ++n)
            if (const SampleHeader* l = app_.Bank().GetSampleHeader(n); l && l->chained == h) {
                number = n;
                break;
            }
    }
    QTreeWidgetItem* found = nullptr;
    for (int i = 0; i < list_->topLevelItemCount() && !found; ++i)
        if (list_->topLevelItem(i)->data(0, Qt::UserRole).toInt() == number)
            found = list_->topLevelItem(i);
    if (!found && edit_.Filter() != kSamplesAll) {
        // A header the filter hides is shown with the filter off.
        filters_[kSamplesAll]->setChecked(true);
        SelectSample(number);
        return;
    }
    {
        QSignalBlocker block(list_);
        list_->clearSelection();
        if (found) {
            found->setSelected(true);
            list_->setCurrentItem(found);
            list_->scrollToItem(found);
        }
    }
    SelectionChanged();
}

void EditorSample::SelectionChanged() {
    edit_.Select(SelectedNumbers());
    ShowFields();
}

bool EditorSample::EnvelopeIsCurrent() const {
    const SampleHeader* shown = envelope_->Graph().Header();
    // Compared, never followed: the header shown may have left the bank.
    return !shown || shown == edit_.Current();
}

void EditorSample::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The form's own height would win on the first showing; the view gets three fifths.
    if (sized_) return;
    sized_ = true;
    const int h = split_->height();
    split_->setSizes({h - h * 3 / 5, h * 3 / 5});
}

bool EditorSample::eventFilter(QObject* watched, QEvent* event) {
    if (watched == envelope_ && event->type() != QEvent::Destroy && !EnvelopeIsCurrent())
        envelope_->ClearEnvelope();
    return QWidget::eventFilter(watched, event);
}

void EditorSample::ShowFields() {
    showing_ = true;
    const SampleFieldsView v = edit_.Fields();
    const bool any = !edit_.Selected().empty();
    const bool editable = app_.Editable();
    pointsGroup_->setTitle(Q(v.caption));
    for (int p = 0; p < 3; ++p) {
        points_[size_t(p)]->setText(Q(v.points[size_t(p)]));
        originals_[size_t(p)]->setText(Q(v.originals[size_t(p)]));
    }
    maxNote_->setText(Q(v.maxNote));
    originalNote_->setText(Q(v.originalNote));
    actualNote_->setText(Q(v.actualNote));
    amp_->setValue(v.amp);
    for (int bit = 0; bit < 3; ++bit)
        flags_[size_t(bit)]->setChecked(v.flags[size_t(bit)]);
    attack_->setValue(v.attackSegs);
    coarse_->setValue(coarseLast_ = 0);
    fine_->setValue(fineLast_ = 0);
    for (QWidget* w : fieldControls_)
        w->setEnabled(v.enabled);
    if (SampleHeader* h = v.enabled ? edit_.Current() : nullptr)
        envelope_->SetEnvelope(h);
    else
        envelope_->ClearEnvelope();
    envelope_->setEnabled(v.enabled);

    Button("New")->setEnabled(editable);
    Button("Make Alias")->setEnabled(any && editable);
    Button("Loop On/Off")->setEnabled(any);
    Button("Delete")->setEnabled(any);
    Button("Extract")->setEnabled(any);
    presets_->setEnabled(any);
    Button("Play")->setEnabled(v.canPlay);
    Button("Wave Editor")->setEnabled(v.canPlay && editable);
    Button("Spectrum")->setEnabled(v.canSpectrum);
    Button("Add")->setEnabled(v.enabled);
    ShowWave(v.enabled);
    showing_ = false;
}

void EditorSample::PitchSpin(QSpinBox* spin, int& last, int value, bool coarse) {
    const int delta = value - last;
    last = value;
    if (showing_ || delta == 0) return;
    edit_.StepPitch(delta, coarse);
    // Stay near zero so that the spin never runs into its ends.
    QSignalBlocker block(spin);
    spin->setValue(last = 0);
    ShowFields();
}

void EditorSample::FillPresets() {
    presets_->clear();
    for (const std::string& name : EnvelopePresets(app_.Settings(), kNaturalEnvelope).ListNames())
        presets_->addItem(Q(name));
}

void EditorSample::PresetChosen(int row) {
    if (row < 0) return;
    const QString name = presets_->item(row)->text();
    edit_.ApplyPreset(row, name.toStdString());
    presetName_->setText(name);
    presets_->clearSelection();
    presets_->setCurrentRow(-1);
    ShowFields();
}

void EditorSample::AddPreset() {
    const int index = edit_.AddPreset(presetName_->text().toStdString());
    FillPresets();
    if (index >= 0) presets_->setCurrentRow(index);
}

void EditorSample::DeletePreset() {
    int row = presets_->currentRow();
    if (row < 0) {
        const auto found = presets_->findItems(presetName_->text(), Qt::MatchExactly);
        if (!found.isEmpty()) row = presets_->row(found.front());
    }
    if (row < 0) return;
    if (edit_.DeletePreset(row, presets_->item(row)->text().toStdString()) == 0) {
        presetName_->clear();
        FillPresets();
    }
}

void EditorSample::Play() {
    SampleHeader* h = edit_.Current();
    if (h && h->Wave() && edit_.Fields().canPlay) CurrentSoundPlayer().Play(h->Wave()->path);
}

void EditorSample::NewSamples() {
    const std::vector<std::string> files =
        askFiles_ ? askFiles_() : CWaveFileDialog::Ask(app_.Settings(), true, this);
    if (files.empty()) return;
    int last = -1;
    {
        WaitCursor wait;
        last = edit_.NewSamples(files);
    }
    Refill();
    if (last >= 0) SelectSample(last);
}

void EditorSample::MakeAlias() {
    const int last = edit_.MakeAliases();
    Refill();
    if (last >= 0) SelectSample(last);
}

void EditorSample::Extract() {
    const ExtractPlan plan = edit_.PlanExtract();
    if (plan.numbers.empty()) return;
    ShowMessage(plan.warning);
    std::optional<std::string> chosen;
    if (askSavePath_) {
        chosen = askSavePath_(plan.proposedName);
    } else {
        QFileDialog dialog(this);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix("wav");
        dialog.setNameFilters({"Wave Files (*.wav)", "All Files (*)"});
        dialog.selectFile(Q(plan.proposedName));
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            chosen = dialog.selectedFiles().front().toStdString();
    }
    if (!chosen) return;
    WaitCursor wait;
    edit_.Extract(plan, *chosen);
}

void EditorSample::WaveEditor() {
    const auto run =
        runEditor_ ? runEditor_ : [this](const std::string& editor, const std::string& file) {
            RunEditorProcess(editor, file);
        };
    const auto choose = chooseChanges_
                            ? chooseChanges_
                            : [this](const std::string& path, const WaveEditOffer& offer) {
                                  return AskChanges(path, offer);
                              };
    edit_.RunWaveEditor(run, choose);
    // The file may hold other frames now.
    edit_.ForgetWaves();
    Refill();
}

void EditorSample::RunEditorProcess(const std::string& editor, const std::string& file) {
    WaitCursor wait;
    QProcess process;
    std::error_code ec;
    // The file goes as one argument of its own: no shell sees its name.
    if (std::filesystem::is_regular_file(editor, ec)) {
        process.setProgram(Q(editor));
        process.setArguments({Q(file)});
    } else {
        QStringList parts = QProcess::splitCommand(Q(editor));
        if (parts.isEmpty()) return;
        process.setProgram(parts.takeFirst());
        process.setArguments(parts << Q(file));
    }
    QEventLoop loop;
    connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    process.start();
    if (!process.waitForStarted(-1)) {
        QApplication::restoreOverrideCursor();
        QMessageBox::warning(this, "Result of Last Operation", process.errorString());
        QApplication::setOverrideCursor(Qt::WaitCursor);
        return;
    }
    // Waits for the editor however long it runs, painting but taking no input meanwhile.
    if (process.state() != QProcess::NotRunning) loop.exec(QEventLoop::ExcludeUserInputEvents);
}

std::optional<int> EditorSample::AskChanges(const std::string& path, const WaveEditOffer& offer) {
    QDialog dialog(this);
    dialog.setWindowTitle("Wave Editor Changes Detected");
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(Q(path), &dialog));
    auto option = [&](const char* text, const std::string& detail, bool available) {
        auto* box = new QCheckBox(text, &dialog);
        box->setEnabled(available);
        layout->addWidget(box);
        layout->addWidget(new QLabel(Q(detail), &dialog));
        return box;
    };
    QCheckBox* note = option("Update original note (fast)", offer.noteText, offer.noteAvailable);
    QCheckBox* points =
        option("Update start, loop, && end points (fast)", offer.pointsText, offer.pointsAvailable);
    auto* waveform = new QCheckBox("Update waveform data (slow)", &dialog);
    waveform->setChecked(true);
    layout->addWidget(waveform);
    auto* buttons = new QDialogButtonBox(&dialog);
    buttons->addButton("Update", QDialogButtonBox::AcceptRole);
    buttons->addButton(QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return (note->isChecked() ? kUpdateNote : 0) | (points->isChecked() ? kUpdatePoints : 0) |
           (waveform->isChecked() ? kUpdateWaveform : 0);
}

}  // namespace talmeru
