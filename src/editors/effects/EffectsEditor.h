#pragma once
// The effects and tuning dialog: reverb and chorus type and depth, and the edit channel's
// transpose, fine tune and pitch-bend range. Every change goes to the synthesizer at once as
// controller messages on the edit channel, and each control's MIDI bytes are shown beside it;
// the values are kept in the settings when the dialog closes. Its logic is EffectsTuning.
#include <QDialog>
#include <array>
#include <map>
#include <memory>

#include "editors/effects/EffectsTuning.h"

class QComboBox;
class QLabel;
class QSlider;
class QSpinBox;

namespace talmeru {

class TalmeruApp;

class EditorFrameEffects : public QDialog {
    Q_OBJECT
  public:
    explicit EditorFrameEffects(TalmeruApp& app, QWidget* parent = nullptr);
    ~EditorFrameEffects() override;

    // Every way of closing keeps the values.
    void done(int result) override;

    const EffectsTuning& Logic() const { return *logic_; }
    QSpinBox* TransposeSpin() const { return transpose_; }
    QSlider* FineTuneSlider() const { return fineTune_; }
    QSpinBox* FineTuneSpin() const { return fineTuneSpin_; }
    QSpinBox* PitchBendSpin() const { return pitchBend_; }
    QComboBox* ChorusTypeBox() const { return chorusType_; }
    QSlider* ChorusDepthSlider() const { return chorusDepth_; }
    QComboBox* ReverbTypeBox() const { return reverbType_; }
    QSlider* ReverbDepthSlider() const { return reverbDepth_; }
    QLabel* BytesLabel(EffectParam param) const { return bytes_[size_t(param)]; }
    // A control by its number; nullptr for a number the dialog does not have.
    QWidget* Control(int number) const;

  private:
    void Build();
    void ShowValues();
    void ShowBytes();
    void UserChanged(EffectParam param, int value);

    std::unique_ptr<ControllerOutput> output_;
    std::unique_ptr<EffectsTuning> logic_;
    QSpinBox* transpose_;
    QSlider* fineTune_;
    QSpinBox* fineTuneSpin_;
    QSpinBox* pitchBend_;
    QComboBox* chorusType_;
    QSlider* chorusDepth_;
    QComboBox* reverbType_;
    QSlider* reverbDepth_;
    std::array<QLabel*, kEffectParamCount> bytes_{};
    std::map<int, QWidget*> controls_;
};

}  // namespace talmeru
