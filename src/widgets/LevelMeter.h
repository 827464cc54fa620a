#pragma once
// The output level meter of the status bar: the emulator's left and right output as two thin
// bars with their held peaks; grey while nothing plays or all is silent.
#include <QWidget>

#include "widgets/LevelMeterModel.h"

namespace talmeru {

class CLevelMeter : public QWidget {
    Q_OBJECT
  public:
    explicit CLevelMeter(QWidget* parent = nullptr);
    // One refresh with the last block's peaks (linear); live is false while nothing plays.
    void Show(double left, double right, bool live);
    const LevelMeterModel& Model() const { return model_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    LevelMeterModel model_;
};

}  // namespace talmeru
