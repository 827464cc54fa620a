#pragma once
// The "Modulators" window: the layers of the current program, the modulation tree of one
// layer with its source popup, the ENV, LFO and FUN lists with their menus, and the settings
// of the selected modulator. Its logic is ModulatorEditing; every change is recorded through
// the application.
#include <QDialog>
#include <QWidget>
#include <memory>

#include "editors/program/ModulatorEditing.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QMenu;
class QPushButton;
class QSlider;
class QSpinBox;
class QStackedWidget;
class QTabBar;
class QTreeWidget;
class QTreeWidgetItem;

namespace talmeru {

class CEnvelopeCtrl;
class TalmeruApp;

// The waveform of an LFO: two cycles of its shape from its phase.
class CLFODisplay : public QWidget {
    Q_OBJECT
  public:
    explicit CLFODisplay(QWidget* parent = nullptr) : QWidget(parent) {}
    void SetWave(int shape, int phase);
    QSize sizeHint() const override { return {200, 70}; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    int shape_ = 0;
    int phase_ = 0;
};

// A FUN's operator as a block with its named inputs; -1 draws the empty block.
class CFunPicture : public QWidget {
    Q_OBJECT
  public:
    explicit CFunPicture(QWidget* parent = nullptr) : QWidget(parent) {}
    void SetOperator(int op);
    QSize sizeHint() const override { return {200, 90}; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    int op_ = -1;
};

class CModulatorEditor : public QDialog {
    Q_OBJECT
  public:
    CModulatorEditor(TalmeruApp& app, QWidget* parent = nullptr);
    ~CModulatorEditor() override;

    // Another program clears the current layer; the same one is shown again as it is now.
    void SetProgram(int number);
    // Makes the layer current; with a block (0 Pitch, 1 Filter #1, 2 Filter #2, 3 Amp) its
    // item is expanded, scrolled into view and selected.
    void ShowLayer(int index, int block = -1);
    ModulatorEditing& Editing() { return editing_; }

    QTreeWidget* LayerList() const { return layers_; }
    QTreeWidget* Tree() const { return tree_; }
    QTabBar* KindTabs(ModulatorKind kind) const;
    // The item path of the tree's current item (empty for none).
    std::vector<int> CurrentPath() const;
    void SelectPath(const std::vector<int>& path);
    // The right-button menu of the current item, and that of a modulator list.
    std::unique_ptr<QMenu> MakeSourceMenu();
    std::unique_ptr<QMenu> MakeListMenu(ModulatorKind kind);
    void RunCommand(int command);
    void RunListCommand(ModulatorKind kind, int command);

    QSpinBox* AttackSpin() const { return attack_; }
    QCheckBox* LinearBox() const { return linear_; }
    QSlider* BaseRateSlider() const { return baseRate_; }
    QSpinBox* DepthSpin() const { return depth_; }
    CEnvelopeCtrl* Envelope() const { return envelope_; }

  private:
    void BuildEnvPage(QWidget* page);
    void BuildLfoPage(QWidget* page);
    void FillLayers();
    void FillTree();
    void FillTabs();
    void ShowDetails(ModulatorKind kind);
    void ShowDepth();
    void Edited();
    QTreeWidgetItem* ItemFor(const std::vector<int>& path) const;

    TalmeruApp& app_;
    ModulatorEditing editing_;
    QTreeWidget* layers_;
    QTreeWidget* tree_;
    QTabBar* tabs_[3];
    QStackedWidget* details_;
    ModulatorKind shown_ = ModulatorKind::kEnv;
    QSpinBox* depth_;
    QPushButton* addReplace_;
    QPushButton* remove_;

    QSpinBox* attack_;
    QSpinBox* decay_;
    QSpinBox* release_;
    QCheckBox* linear_;
    CEnvelopeCtrl* envelope_;
    QComboBox* presets_;

    QButtonGroup* shapes_;
    QSlider* baseRate_;
    QSlider* adjustedRate_;
    QSlider* phase_;
    QLabel* baseRateText_;
    QLabel* adjustedRateText_;
    QLabel* phaseText_;
    CLFODisplay* wave_;

    CFunPicture* picture_;
    QLabel* funName_;
    bool filling_ = false;
};

}  // namespace talmeru
