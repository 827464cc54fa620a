#pragma once
// The main window: a multi-document frame with the menus, the toolbar's program and channel
// boxes, the status bar's RAM gauges and output level meter, the keyboard bar and the MIDI
// channel display bar.
#include <QMainWindow>
#include <QPointer>
#include <memory>

#include "app/BankEditor.h"
#include "application/TalmeruApp.h"
#include "platform/EventPump.h"
#include "widgets/ProgressWindows.h"

class QComboBox;
class QDialog;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QRect;
class QSlider;
class QToolBar;

namespace talmeru {

class BrowserObject;
class CLevelMeter;
class CMidiDisplayCtrl;
class CObjectBrowserFrame;
class KeymapPage;
class CMusicKeyboard;
class EditorSample;
class LayerEditor;
class LayerEditorFrame;
class ProgramTableWindow;
class UndoPanel;

// Where the main window opens when no layout was stored: most of the screen's free area.
QRect FirstStartGeometry(const QRect& screen);

// Keeps the windows painting while the link waits for a reply on the window's thread; user
// input waits, so no command starts inside another.
class QtEventPump : public EventPump {
  public:
    void Pump() override;
};

class CMainFrame : public QMainWindow, public ShellWindow {
    Q_OBJECT
  public:
    explicit CMainFrame(TalmeruApp& app);
    ~CMainFrame() override;

    // ShellWindow: the dialogs are virtual so that tests answer them.
    void RefreshViews(RefreshHint hint) override;
    void FillProgramBox() override;
    // The program box takes typed text and offers the programs whose label holds it.
    void MakeProgramBoxSearchable();
    // File > Bank Overview: counts, RAM, format, path and comment of the current bank.
    QDialog* MakeBankOverview();
    void ShowBankOverview();
    void ShowCurrentProgram() override;
    void ShowChannel(int channel) override;
    void SetTitle(const std::string& title) override;
    WelcomeChoice AskWelcome() override;
    std::optional<std::string> AskOpenPath() override;
    std::optional<SaveChoice> AskSavePath(const std::string& current) override;
    bool ShowProperties() override;
    UploadHost& Uploads() override;
    DownloadObserver* Downloads() override;
    ConversionLog* Log() override;
    void ShowLog() override;
    bool AskCopy(CopyList& list) override;
    void ShowKey(int key, bool pressed, bool onCurrentChannel) override;
    void AddChannelNotes(int channel, int delta) override;
    void ProgramSelected() override;
    void ObjectEdited(BankObject& object) override;

    // The layer editor (Program Editor command) on the current program; the open one, if any.
    LayerEditorFrame* OpenLayerEditor();
    LayerEditor* OpenedLayerEditor() const;

    QComboBox* ProgramBox() const { return programBox_; }
    QComboBox* ChannelBox() const { return channelBox_; }
    CMusicKeyboard* Keyboard() const { return keyboard_; }
    CMidiDisplayCtrl* ChannelDisplay() const { return display_; }
    QSlider* VelocitySlider() const { return velocity_; }
    QLabel* SampleGauge() const { return sampleGauge_; }
    QLabel* ProgramGauge() const { return programGauge_; }
    void UpdateGauges();
    // Plays the emulator, when it is the synthesizer, with the audio settings stored; an
    // output already playing is opened anew only when reopen is set. When it cannot be heard
    // the status bar says so, once.
    void StartAudio(bool reopen = false);
    CLevelMeter* LevelMeter() const { return meter_; }
    // The meter's refresh: the engine's last block, about thirty times a second.
    void UpdateMeter();
    // Enables the commands by the state of the bank and the editors, and marks the title.
    void UpdateActions();
    // The system ends the program (a signal, a logout without questions): the unsaved bank
    // goes to "savedbank.pbf" unasked and the window closes the usual way.
    void EndBySystem();
    QToolBar* MainToolBar() const { return toolbar_; }
    QAction* SaveButton() const { return saveButton_; }
    QMenu* RecentMenu() const { return recentMenu_; }
    void FillRecentMenu();
    // Opens the keymap editor on the current program; a keymap number gets a row of its own
    // when no layer plays it.
    KeymapPage* OpenKeymapEditor(int keymap = -1);
    UndoPanel* Undo() const { return undo_; }

    // The sample editor window, opened (or brought forward) on a header (-1: none chosen).
    EditorSample* OpenSampleEditor(int number = -1);
    EditorSample* SampleEditor() const;
    // The program table of the current program (one window of the kind).
    ProgramTableWindow* OpenProgramTable();
    ProgramTableWindow* OpenedProgramTable() const;
    // New samples from WAV files in the sample editor, as its New Sample makes them.
    void ImportSamples(const std::vector<std::string>& files);
    // The bank editor window (toolbar "Bank Editor", Ctrl+Shift+B); refused while the bank
    // cannot be edited.
    void OpenBankEditor();
    CBankFrame* BankFrame() const { return bankFrame_; }
    // The editors that were open at the last exit.
    void ReopenEditors();
    // At start: the first start shows the Object Browser and the Program Editor; later ones
    // what the user left open.
    void OpenStartWindows();
    // No window layout was stored: the window took most of the screen.
    bool FirstStart() const { return firstStart_; }
    QMdiArea* Mdi() const { return mdi_; }
    // The editors as tabs (the default) or as windows of their own; kept in the settings.
    void SetTabbedView(bool tabbed);
    // The object browser (toolbar "Object Browser", Ctrl+Shift+O), opened or brought forward;
    // the open one, if any.
    CObjectBrowserFrame* OpenObjectBrowser();
    BrowserObject* ObjectBrowser() const;

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void BuildMenus();
    void BuildBars();
    void Export(bool instrument);
    void ImportWaves();
    void DrumKitWizard();
    void MicrotuningWizard();
    void TonalProgramWizard();
    void About();
    void RestorePosition();
    void SaveLayout();

    TalmeruApp& app_;
    QMdiArea* mdi_;
    QToolBar* toolbar_;
    QToolBar* keyboardBar_;
    QToolBar* displayBar_;
    QComboBox* programBox_;
    QComboBox* channelBox_;
    CMusicKeyboard* keyboard_;
    QSlider* velocity_;
    CMidiDisplayCtrl* display_;
    QLabel* sampleGauge_;
    QLabel* programGauge_;
    CLevelMeter* meter_;
    std::string audioLine_;  // what the status bar last said about the output
    QMenu* recentMenu_;
    QAction* saveAction_;
    QAction* saveAs_;
    QAction* duplicateProgram_;
    QAction* deleteProgram_;
    QAction* splitStereo_;
    QAction* joinStereo_;
    QAction* saveButton_;
    QAction* afterSave_ = nullptr;  // the toolbar's separator after Save
    UndoPanel* undo_;
    QAction* tabbedView_;
    bool endingBySystem_ = false;
    bool firstStart_ = false;
    QPointer<QMdiSubWindow> sampleFrame_;
    QPointer<QMdiSubWindow> tableFrame_;
    std::unique_ptr<UploadWindow> uploads_;
    std::unique_ptr<DownloadWindow> downloads_;
    ConversionStatusWindow* status_;
    QtEventPump pump_;
    QPointer<LayerEditorFrame> layerEditor_;
    QPointer<CBankFrame> bankFrame_;
    QPointer<CObjectBrowserFrame> browser_;
};

}  // namespace talmeru
