#pragma once
// The Properties sheet: pages Bank, Misc and Midi over PropertyValues, and Audio over
// AudioProperties.
#include <QDialog>

#include "app/AudioProperties.h"
#include "app/Properties.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QButtonGroup;
class QSpinBox;

namespace talmeru {

class PropertiesSheet : public QDialog {
    Q_OBJECT
  public:
    PropertiesSheet(TalmeruApp& app, QWidget* parent);
    // The values as the controls show them now.
    PropertyValues Values() const;
    // OK: applies the values; true when the caller should refresh.
    bool Apply();
    // After Apply: the audio settings changed, so the output opens anew.
    bool AudioChanged() const { return audioChanged_; }
    QComboBox* SynthOutBox() const { return out_; }
    QComboBox* SynthInBox() const { return in_; }
    QComboBox* AudioDeviceBox() const { return audioDevice_; }
    QComboBox* BufferBox() const { return buffer_; }
    QComboBox* RateBox() const { return rate_; }
    QSpinBox* SampleRamBox() const { return sampleRam_; }

  private:
    QWidget* AudioPage();

    TalmeruApp& app_;
    PropertyValues start_;
    QLineEdit* comment_;
    QCheckBox *merge_, *load_, *purge_, *convert_;
    QLineEdit* editor_;
    QCheckBox *switch_, *replace_, *prompt_, *prefix_, *reopen_;
    QButtonGroup* style_;
    QComboBox *out_, *in_, *audition_;
    QCheckBox* enable_;
    AudioProperties audio_;
    QComboBox *audioDevice_, *buffer_, *rate_;
    QSpinBox* sampleRam_;
    bool audioChanged_ = false;
};

}  // namespace talmeru
