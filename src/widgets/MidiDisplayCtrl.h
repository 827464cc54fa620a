#pragma once
// The MIDI channel display: sixteen cells with the sounding-note count of each channel, the
// current edit channel framed apart.
#include <QWidget>

#include "widgets/ChannelCounts.h"

namespace talmeru {

class CMidiDisplayCtrl : public QWidget {
    Q_OBJECT
  public:
    explicit CMidiDisplayCtrl(QWidget* parent = nullptr);
    void AddNotes(int channel, int delta);
    void SetCurrentChannel(int channel);
    const ChannelCounts& Counts() const { return counts_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    ChannelCounts counts_;
};

}  // namespace talmeru
