#include "editors/effects/EffectsEditor.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

#include "application/TalmeruApp.h"

namespace talmeru {

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

// The application's link on its edit channel.
class AppControllerOutput : public ControllerOutput {
  public:
    explicit AppControllerOutput(TalmeruApp& app) : app_(app) {}
    int EditChannel() const override { return app_.Synth().AuditionChannel(); }
    void SendController(uint8_t controller, uint8_t value) override {
        app_.Synth().SendShort(0xB0, controller, value);
    }
    void SendRpn(uint8_t msb, uint8_t lsb, uint8_t value) override {
        app_.Synth().SendRpn(msb, lsb, value);
    }
    void SendNrpn(uint8_t msb, uint8_t lsb, uint8_t value) override {
        app_.Synth().SendNrpn(msb, lsb, value);
    }

  private:
    TalmeruApp& app_;
};

// A spin box that shows and reads its value as the parameter's value text ("+0" for a centred
// 64), so the user sees semitones and cents rather than the raw MIDI value.
class CValueSpin : public QSpinBox {
  public:
    CValueSpin(EffectParam param, QWidget* parent) : QSpinBox(parent), param_(param) {
        const EffectParamInfo& info = InfoOf(param);
        setRange(info.minimum, info.maximum);
        // A typed value goes out once, when it is complete, not at every keystroke.
        setKeyboardTracking(false);
    }

  protected:
    QString textFromValue(int value) const override { return Q(EffectValueText(param_, value)); }
    int valueFromText(const QString& text) const override {
        return ParseEffectValueText(param_, text.toStdString()).value_or(value());
    }
    QValidator::State validate(QString& text, int&) const override {
        if (ParseEffectValueText(param_, text.toStdString())) return QValidator::Acceptable;
        for (QChar c : text)
            if (!c.isDigit() && c != '+' && c != '-' && c != ' ') return QValidator::Invalid;
        return QValidator::Intermediate;
    }

  private:
    EffectParam param_;
};

QSlider* MakeSlider(EffectParam param, QWidget* parent) {
    const EffectParamInfo& info = InfoOf(param);
    auto* slider = new QSlider(Qt::Horizontal, parent);
    slider->setRange(info.minimum, info.maximum);
    slider->setPageStep(8);
    return slider;
}

QComboBox* MakeTypeBox(const std::vector<std::string>& names, QWidget* parent) {
    auto* box = new QComboBox(parent);
    for (const std::string& name : names)
        box->addItem(Q(name));
    return box;
}

}  // namespace

EditorFrameEffects::EditorFrameEffects(TalmeruApp& app, QWidget* parent)
    : QDialog(parent),
      output_(std::make_unique<AppControllerOutput>(app)),
      logic_(std::make_unique<EffectsTuning>(app.Settings(), *output_)),
      transpose_(new CValueSpin(EffectParam::kTranspose, this)),
      fineTune_(MakeSlider(EffectParam::kFineTune, this)),
      fineTuneSpin_(new CValueSpin(EffectParam::kFineTune, this)),
      pitchBend_(new CValueSpin(EffectParam::kPitchBend, this)),
      chorusType_(MakeTypeBox(ChorusTypeNames(), this)),
      chorusDepth_(MakeSlider(EffectParam::kChorusDepth, this)),
      reverbType_(MakeTypeBox(ReverbTypeNames(), this)),
      reverbDepth_(MakeSlider(EffectParam::kReverbDepth, this)) {
    setWindowTitle("Effects and Tuning");
    Build();

    // The stored values are shown, not sent: the controls are connected only afterwards.
    logic_->Load();
    ShowValues();
    ShowBytes();

    connect(transpose_, &QSpinBox::valueChanged, this,
            [this](int v) { UserChanged(EffectParam::kTranspose, v); });
    // The fine tune's spin moves its slider, which sends.
    connect(fineTuneSpin_, &QSpinBox::valueChanged, fineTune_, &QSlider::setValue);
    connect(fineTune_, &QSlider::valueChanged, this, [this](int v) {
        const QSignalBlocker block(fineTuneSpin_);
        fineTuneSpin_->setValue(v);
        UserChanged(EffectParam::kFineTune, v);
    });
    connect(pitchBend_, &QSpinBox::valueChanged, this,
            [this](int v) { UserChanged(EffectParam::kPitchBend, v); });
    connect(chorusType_, &QComboBox::currentIndexChanged, this,
            [this](int i) { UserChanged(EffectParam::kChorusType, i); });
    connect(chorusDepth_, &QSlider::valueChanged, this,
            [this](int v) { UserChanged(EffectParam::kChorusDepth, v); });
    connect(reverbType_, &QComboBox::currentIndexChanged, this,
            [this](int i) { UserChanged(EffectParam::kReverbType, i); });
    connect(reverbDepth_, &QSlider::valueChanged, this,
            [this](int v) { UserChanged(EffectParam::kReverbDepth, v); });
}

EditorFrameEffects::~EditorFrameEffects() = default;

void EditorFrameEffects::Build() {
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    for (EffectParam p : kEffectParams) {
        auto* label = new QLabel(this);
        label->setFont(fixed);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        // Room for the three-message form, so the layout does not jump as values change.
        label->setMinimumWidth(QFontMetrics(fixed).horizontalAdvance(QString(26, 'F')));
        bytes_[size_t(p)] = label;
        controls_[InfoOf(p).bytesControl] = label;
    }
    controls_[kCtrlTranspose] = transpose_;
    controls_[kCtrlFineTune] = fineTune_;
    controls_[kCtrlFineTuneSpin] = fineTuneSpin_;
    controls_[kCtrlPitchBend] = pitchBend_;
    controls_[kCtrlChorusType] = chorusType_;
    controls_[kCtrlChorusDepth] = chorusDepth_;
    controls_[kCtrlReverbType] = reverbType_;
    controls_[kCtrlReverbDepth] = reverbDepth_;
    for (const auto& [number, widget] : controls_)
        widget->setToolTip(Q(EffectsToolTip(number)));

    auto row = [](QGridLayout* grid, const char* name, QWidget* control, QLabel* bytes) {
        const int r = grid->rowCount();
        grid->addWidget(new QLabel(name), r, 0);
        grid->addWidget(control, r, 1);
        grid->addWidget(bytes, r, 2);
    };

    auto* effects = new QGroupBox("Effects", this);
    auto* effectsGrid = new QGridLayout(effects);
    row(effectsGrid, "Reverb type", reverbType_, BytesLabel(EffectParam::kReverbType));
    row(effectsGrid, "Reverb depth", reverbDepth_, BytesLabel(EffectParam::kReverbDepth));
    row(effectsGrid, "Chorus type", chorusType_, BytesLabel(EffectParam::kChorusType));
    row(effectsGrid, "Chorus depth", chorusDepth_, BytesLabel(EffectParam::kChorusDepth));

    auto* fine = new QWidget(this);
    auto* fineLayout = new QHBoxLayout(fine);
    fineLayout->setContentsMargins(0, 0, 0, 0);
    fineLayout->addWidget(fineTune_, 1);
    fineLayout->addWidget(fineTuneSpin_);

    auto* tuning = new QGroupBox("Tuning of the edit channel", this);
    auto* tuningGrid = new QGridLayout(tuning);
    row(tuningGrid, "Transpose", transpose_, BytesLabel(EffectParam::kTranspose));
    row(tuningGrid, "Fine tune", fine, BytesLabel(EffectParam::kFineTune));
    row(tuningGrid, "Pitch bend range", pitchBend_, BytesLabel(EffectParam::kPitchBend));
    for (QGridLayout* grid : {effectsGrid, tuningGrid})
        grid->setColumnStretch(1, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(effects);
    layout->addWidget(tuning);
    layout->addWidget(buttons);
}

QWidget* EditorFrameEffects::Control(int number) const {
    auto it = controls_.find(number);
    return it == controls_.end() ? nullptr : it->second;
}

void EditorFrameEffects::ShowValues() {
    const EffectsTuning& l = *logic_;
    transpose_->setValue(l.Value(EffectParam::kTranspose));
    fineTune_->setValue(l.Value(EffectParam::kFineTune));
    fineTuneSpin_->setValue(l.Value(EffectParam::kFineTune));
    pitchBend_->setValue(l.Value(EffectParam::kPitchBend));
    chorusType_->setCurrentIndex(l.Value(EffectParam::kChorusType));
    chorusDepth_->setValue(l.Value(EffectParam::kChorusDepth));
    reverbType_->setCurrentIndex(l.Value(EffectParam::kReverbType));
    reverbDepth_->setValue(l.Value(EffectParam::kReverbDepth));
}

void EditorFrameEffects::ShowBytes() {
    // All of them: the texts follow the edit channel as it is now.
    for (EffectParam p : kEffectParams)
        BytesLabel(p)->setText(Q(logic_->BytesText(p)));
}

void EditorFrameEffects::UserChanged(EffectParam param, int value) {
    logic_->Change(param, value);
    ShowBytes();
}

void EditorFrameEffects::done(int result) {
    logic_->Save();
    QDialog::done(result);
}

}  // namespace talmeru
