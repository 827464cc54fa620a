#pragma once
// The envelope control: draws an ENV modulator or a sample header's natural envelope as
// labelled points joined by lines, shows the values of the point under the pointer, lets the
// user drag points, and applies, saves and deletes the presets of the envelope's kind. Its
// logic lives in EnvelopeGraph and EnvelopePresets. Every change goes straight into the
// envelope and is recorded through the bank's edits.
#include <QWidget>
#include <functional>
#include <optional>
#include <string>

#include "editors/controls/EnvelopeGraph.h"
#include "editors/envelope/EnvelopeHome.h"

class QComboBox;

namespace talmeru {

class BankEdits;

class CEnvelopeCtrl : public QWidget {
    Q_OBJECT
  public:
    // Asks for a preset name, offering the given one; none when the user cancels.
    using NameAsker = std::function<std::optional<std::string>(const std::string&)>;

    // The kind decides which presets are listed while no envelope is shown.
    CEnvelopeCtrl(Profile& settings, BankEdits& edits, EnvelopeKind kind,
                  QWidget* parent = nullptr);

    void SetEnvelope(EnvModulator* env, const EnvelopeHome& home = {});
    void SetEnvelope(SampleHeader* header);
    void ClearEnvelope();
    // Repaints after the envelope changed elsewhere (a group size, for one).
    void Refresh() { update(); }
    void SetNameAsker(NameAsker asker) { asker_ = std::move(asker); }
    const EnvelopeGraph& Graph() const { return graph_; }
    EnvelopePresets Presets() const { return {settings_, graph_.Kind()}; }

    // The built-ins (natural kind) and the stored presets' names; no selection.
    void FillPresetList(QComboBox& list);
    // Applies the list's entry: a built-in natural envelope or a stored preset; the list's
    // selection is cleared. 0 when the envelope changed.
    int ApplyListChoice(QComboBox& list, int index);
    // Asks for a name (offering name) and stores the envelope under it: the preset's index,
    // or -1 when nothing was stored.
    int SavePreset(const std::string& name);
    int ApplyPreset(const std::string& name);
    int DeletePreset(const std::string& name);
    // Deletes the list's selected (else last chosen) stored preset and refills the list;
    // built-ins stay.
    int DeleteListChoice(QComboBox& list);
    QSize sizeHint() const override { return {300, 150}; }

  signals:
    void envelopeChanged();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    void FitGraph();
    void Changed();

    Profile& settings_;
    BankEdits& edits_;
    EnvelopeGraph graph_;
    EnvelopeHome home_;
    NameAsker asker_;
    std::string chosen_;  // the preset list's entry chosen last
};

}  // namespace talmeru
