#include "app/MainFrame.h"

#include <algorithm>

#include <QAbstractItemView>
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCompleter>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QStatusBar>
#include <QStyle>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <filesystem>

#include "app/AudioProperties.h"
#include "app/BankOverview.h"
#include "app/BankEditor.h"
#include "app/BankFileDialog.h"
#include "app/BankFileSaveDialog.h"
#include "app/HelpBrowser.h"
#include "app/InsertMenu.h"
#include "app/ObjectBrowser.h"
#include "app/PropertiesSheet.h"
#include "app/UndoPanel.h"
#include "application/CopyList.h"
#include "editors/controls/KeyMatrix.h"
#include "editors/effects/EffectsEditor.h"
#include "editors/keymap/KeymapEditor.h"
#include "editors/program/LayerEditor.h"
#include "editors/program/ProgramTableWindow.h"
#include "editors/sample/EditorSample.h"
#include "editors/spectrum/SpectrumDialog.h"
#include "model/Listers.h"
#include "platform/Format.h"
#include "platform/Prompter.h"
#include "widgets/ComputerKeyPlayer.h"
#include "widgets/FileDropFilter.h"
#include "widgets/LevelMeter.h"
#include "widgets/MidiDisplayCtrl.h"
#include "widgets/MusicKeyboard.h"
#include "widgets/WaveFileDialog.h"
#include "widgets/WindowPlacement.h"
#include "wizards/DKWiz.h"
#include "wizards/MTWiz.h"
#include "wizards/TPWiz.h"

namespace talmeru {

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

// The main window's size, place and maximised state, and whether editors show as tabs. The
// docks and bars stand in "BARSTATE".
constexpr const char* kGeometryKey = "MainFrame-Geometry";
constexpr const char* kTabbedKey = "TabbedEditors";

}  // namespace

QRect FirstStartGeometry(const QRect& screen) {
    // Most of the screen, centred, leaving the desktop's edges visible around it.
    const QSize size(screen.width() * 9 / 10, screen.height() * 9 / 10);
    QRect r(QPoint(0, 0), size);
    r.moveCenter(screen.center());
    return r;
}

void QtEventPump::Pump() {
    if (QThread::currentThread() != qApp->thread()) return;
    // User input waits, so that no command starts inside another; only a modal progress
    // window takes it (its Cancel), and being modal it keeps every other window from it.
    const QWidget* modal = QApplication::activeModalWidget();
    const bool progress = modal && modal->property(kProgressWindowProperty).toBool();
    QCoreApplication::processEvents(progress ? QEventLoop::AllEvents
                                             : QEventLoop::ExcludeUserInputEvents);
}

CMainFrame::CMainFrame(TalmeruApp& app)
    : app_(app), mdi_(new QMdiArea(this)), uploads_(std::make_unique<UploadWindow>(this)) {
    setCentralWidget(mdi_);
    mdi_->setTabsClosable(true);
    mdi_->setTabsMovable(true);
    mdi_->setDocumentMode(true);
    setDockOptions(dockOptions() | QMainWindow::AnimatedDocks);
    status_ = new ConversionStatusWindow(app_.Options().importPrompt, this);
    // A note (a sample file taken from another folder, say) stays in sight even when the
    // user no longer wants the log's window.
    connect(status_, &ConversionStatusWindow::lineAdded, this, [this](const QString& line) {
        if (line.startsWith("? ")) statusBar()->showMessage(line);
    });
    BuildBars();
    BuildMenus();
    RestorePosition();
    // Audition notes arrive on the MIDI thread; they are handled here on the window's thread.
    app_.SetIncomingNotify([this] {
        QMetaObject::invokeMethod(
            this, [this] { app_.HandleIncoming(); }, Qt::QueuedConnection);
    });
    app_.Synth().Link().SetEventPump(&pump_);
    // The key matrices' "Edit Sample" opens the sample editor on the sample.
    SetSampleEditorOpener([this](int sample) { OpenSampleEditor(sample); });
    // WAV files dropped on a keymap range become samples the way New Sample makes them.
    SetSampleImporter([this](const std::vector<std::string>& files) {
        return SampleEditing(app_).NewSamples(files);
    });
    new FileDropFilter(this, DropTarget::kMainWindow, [this](const DropPlan& plan, QPoint) {
        // As File > Open: an unsaved bank is not dropped without a question.
        if (app_.SaveIfWanted() == 0) app_.OpenDocumentFile(plan.files.front());
    });
    auto* idle = new QTimer(this);
    connect(idle, &QTimer::timeout, this, &CMainFrame::UpdateGauges);
    idle->start(500);
    auto* meterClock = new QTimer(this);
    connect(meterClock, &QTimer::timeout, this, &CMainFrame::UpdateMeter);
    meterClock->start(33);
    qApp->installEventFilter(this);
    UpdateGauges();
    SetTitle(WindowTitle(app_.Bank().Path()));
}

CMainFrame::~CMainFrame() {
    SetSampleEditorOpener({});
    SetSampleImporter({});
    app_.Synth().Link().SetEventPump(nullptr);
    app_.SetIncomingNotify({});
}

void CMainFrame::BuildBars() {
    toolbar_ = addToolBar("Toolbar");
    toolbar_->setObjectName("Toolbar");
    QStyle* look = style();
    toolbar_->addAction(look->standardIcon(QStyle::SP_FileIcon), "New Bank",
                        [this] { app_.NewBank(); });
    toolbar_->addAction(look->standardIcon(QStyle::SP_DialogOpenButton), "Open Bank",
                        [this] { app_.OpenBankCommand(); });
    saveButton_ = toolbar_->addAction(look->standardIcon(QStyle::SP_DialogSaveButton), "Save Bank",
                                      [this] { app_.Save(); });
    afterSave_ = toolbar_->addSeparator();
    QAction* sync = toolbar_->addAction(look->standardIcon(QStyle::SP_BrowserReload),
                                        "Sync with the synthesizer", [this] { app_.Sync(); });
    sync->setShortcut(Qt::Key_F5);
    toolbar_->addAction(look->standardIcon(QStyle::SP_BrowserStop), "PANIC! (all notes off)",
                        [this] { app_.Panic(); });
    toolbar_->addSeparator();
    QAction* browser = toolbar_->addAction(look->standardIcon(QStyle::SP_DirOpenIcon),
                                           "Object Browser", [this] { OpenObjectBrowser(); });
    browser->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
    QAction* bankEditor = toolbar_->addAction(look->standardIcon(QStyle::SP_FileDialogListView),
                                              "Bank Editor", [this] { OpenBankEditor(); });
    bankEditor->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_B));
    toolbar_->addAction(look->standardIcon(QStyle::SP_FileDialogDetailedView), "Program Editor",
                        [this] { OpenLayerEditor(); });
    toolbar_->addAction(look->standardIcon(QStyle::SP_FileDialogContentsView), "Sample Editor",
                        [this] { OpenSampleEditor(); });
    QAction* keys =
        toolbar_->addAction(look->standardIcon(QStyle::SP_MediaVolume), "Virtual Keyboard");
    toolbar_->addAction(look->standardIcon(QStyle::SP_MessageBoxInformation), "About Talmeru",
                        [this] { About(); });
    toolbar_->addSeparator();
    programBox_ = new QComboBox(toolbar_);
    programBox_->setFixedWidth(128);
    programBox_->view()->setMinimumWidth(300);
    programBox_->setToolTip("Current program");
    channelBox_ = new QComboBox(toolbar_);
    channelBox_->setFixedWidth(48);
    for (int ch = 1; ch <= 16; ++ch)
        channelBox_->addItem(QString::number(ch));
    channelBox_->setToolTip("Audition channel");
    toolbar_->addWidget(programBox_);
    toolbar_->addSeparator();
    toolbar_->addWidget(channelBox_);
    // Entries carry program numbers, looked up on use: never a pointer that a reload could
    // leave dangling.
    connect(programBox_, &QComboBox::activated, this, [this](int index) {
        app_.SelectProgram(app_.Bank().GetProgram(programBox_->itemData(index).toInt()), false);
        if (KeymapPage* keymaps = KeymapEditorWindow::Current())
            keymaps->ShowProgram(app_.Editing().CurrentNumber());
    });
    connect(channelBox_, &QComboBox::activated, this,
            [this](int index) { app_.SetAuditionChannel(index); });
    MakeProgramBoxSearchable();

    addToolBarBreak();
    keyboardBar_ = addToolBar("Virtual Keyboard Bar");
    keyboardBar_->setObjectName("VirtualKeyboardBar");
    keyboardBar_->setAllowedAreas(Qt::TopToolBarArea | Qt::BottomToolBarArea);
    keyboard_ = new CMusicKeyboard(keyboardBar_);
    velocity_ = new QSlider(Qt::Vertical, keyboardBar_);
    velocity_->setRange(0, 127);
    velocity_->setInvertedAppearance(true);
    velocity_->setValue(127 - app_.Synth().AuditionVelocity());
    velocity_->setFixedHeight(CMusicKeyboard::kHeight);
    velocity_->setToolTip("Virtual Keyboard volume");
    keyboardBar_->addWidget(keyboard_);
    keyboardBar_->addWidget(velocity_);
    connect(keyboard_, &CMusicKeyboard::keyEvent, this,
            [this](int key, bool down) { app_.KeyEvent(key, down); });
    auto* computerKeys = new ComputerKeyPlayer(keyboard_);
    connect(computerKeys, &ComputerKeyPlayer::rangeShown, this,
            [this](const QString& text) { statusBar()->showMessage(text, 4000); });
    // Every way of moving it counts: drags, keys, the wheel and clicks beside the handle.
    connect(velocity_, &QSlider::valueChanged, this,
            [this](int value) { app_.Synth().SetAuditionVelocity(127 - value); });

    // The button shows and hides the keyboard bar.
    keys->setCheckable(true);
    keys->setChecked(true);
    connect(keys, &QAction::triggered, keyboardBar_, &QWidget::setVisible);
    connect(keyboardBar_->toggleViewAction(), &QAction::toggled, keys, &QAction::setChecked);

    displayBar_ = addToolBar("MIDI Channel Display Bar");
    displayBar_->setObjectName("MidiChannelDisplayBar");
    displayBar_->setAllowedAreas(Qt::TopToolBarArea | Qt::BottomToolBarArea);
    displayBar_->setToolTip("Midi Channel Display");
    display_ = new CMidiDisplayCtrl(displayBar_);
    displayBar_->addWidget(display_);
    // The last bar of a row takes what the row has left: the keyboard's keys grow into it.
    insertToolBar(keyboardBar_, displayBar_);

    meter_ = new CLevelMeter(this);
    statusBar()->addPermanentWidget(meter_);
    sampleGauge_ = new QLabel(this);
    programGauge_ = new QLabel(this);
    const int width = fontMetrics().horizontalAdvance("  Sample RAM 100% (48.0 MB)  ");
    for (QLabel* gauge : {sampleGauge_, programGauge_}) {
        gauge->setMinimumWidth(width);
        statusBar()->addPermanentWidget(gauge);
    }
}

void CMainFrame::BuildMenus() {
    QMenu* file = menuBar()->addMenu("&File");
    file->addAction("&New Bank", QKeySequence::New, [this] { app_.NewBank(); });
    file->addAction("&Open Bank...", QKeySequence::Open, [this] { app_.OpenBankCommand(); });
    saveAction_ = file->addAction("&Save", QKeySequence::Save, [this] { app_.Save(); });
    saveAs_ = file->addAction("Save &As...", [this] { app_.SaveAs(); });
    QMenu* exportMenu = file->addMenu("&Export");
    exportMenu->addAction("Cakewalk Instrument (.ins)", [this] { Export(true); });
    exportMenu->addAction("Text File Description (.txt)", [this] { Export(false); });
    file->addAction("&Restore ROM", [this] {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        app_.RestoreRomCommand();
        QApplication::restoreOverrideCursor();
    });
    file->addAction("Download All")->setEnabled(false);
    file->addAction("&Properties", [this] {
        if (ShowProperties()) app_.Refresh(kHintAll);
    });
    file->addAction("Bank &Overview...", [this] { ShowBankOverview(); });
    recentMenu_ = file->addMenu("Recent Files");
    file->addSeparator();
    file->addAction("E&xit", QKeySequence(Qt::CTRL | Qt::Key_Q), this, [this] { close(); });
    connect(file, &QMenu::aboutToShow, this, [this] {
        UpdateActions();
        FillRecentMenu();
    });

    QMenu* edit = menuBar()->addMenu("&Edit");
    undo_ = new UndoPanel(app_, this);
    addDockWidget(Qt::RightDockWidgetArea, undo_);
    undo_->hide();
    undo_->AddActions(*edit);
    undo_->AddButtons(*toolbar_, afterSave_);
    edit->addSeparator();
    duplicateProgram_ = edit->addMenu("D&uplicate")->addAction("Current Program", [this] {
        app_.DuplicateCurrentProgram();
    });
    deleteProgram_ = edit->addMenu("&Delete")->addAction("Current Program",
                                                         [this] { app_.DeleteCurrentProgram(); });
    QMenu* stereo = edit->addMenu("Stereo Layer Operations");
    splitStereo_ = stereo->addAction("Split", [this] {
        if (LayerEditor* e = OpenedLayerEditor()) e->SplitStereo();
    });
    joinStereo_ = stereo->addAction("Join", [this] {
        if (LayerEditor* e = OpenedLayerEditor()) e->JoinStereo();
    });
    connect(edit, &QMenu::aboutToShow, this, &CMainFrame::UpdateActions);
    AddInsertCommands(
        *edit, app_, *this, this,
        {[this](int) { OpenLayerEditor(); }, [this](int number) { OpenSampleEditor(number); }});

    QMenu* wizards = menuBar()->addMenu("&Wizards");
    QAction* waves = wizards->addAction("One-step wave import...", [this] { ImportWaves(); });
    waves->setStatusTip(
        "For each .WAV file selected, a program, keymap and sample header are created and added "
        "to the current bank.");
    QAction* drumKit = wizards->addAction("Drum Kit Wizard ...", [this] { DrumKitWizard(); });
    drumKit->setData(32851);
    QAction* tonal =
        wizards->addAction("Tonal Program Wizard ...", [this] { TonalProgramWizard(); });
    QAction* microtuning =
        wizards->addAction("Microtuning Wizard ...", [this] { MicrotuningWizard(); });
    connect(wizards, &QMenu::aboutToShow, this, [this, waves, drumKit, tonal, microtuning] {
        const ZedoDatabase& b = app_.Bank();
        waves->setEnabled(app_.Editable() && b.FirstFreeProgram() >= 0 &&
                          b.FirstFreeKeymap() >= 0 && b.FirstFreeSampleHeader() >= 0);
        drumKit->setEnabled(app_.Editable());
        tonal->setEnabled(app_.Editable());
        microtuning->setEnabled(app_.Editable());
    });

    QMenu* view = menuBar()->addMenu("&View");
    view->addAction(toolbar_->toggleViewAction());
    QAction* statusToggle = view->addAction("Status Bar");
    statusToggle->setCheckable(true);
    statusToggle->setChecked(true);
    connect(statusToggle, &QAction::toggled, statusBar(), &QWidget::setVisible);
    view->addAction(keyboardBar_->toggleViewAction());
    view->addAction(displayBar_->toggleViewAction());
    view->addSeparator();
    auto* viewMode = new QActionGroup(this);
    tabbedView_ = view->addAction("&Tabbed Editors", [this] { SetTabbedView(true); });
    QAction* windowed = view->addAction("&Editors in Windows", [this] { SetTabbedView(false); });
    for (QAction* a : {tabbedView_, windowed}) {
        a->setCheckable(true);
        viewMode->addAction(a);
    }
    SetTabbedView(app_.Settings().GetBool("State", kTabbedKey, true));
    windowed->setChecked(!tabbedView_->isChecked());

    QMenu* midi = menuBar()->addMenu("&MIDI");
    midi->addAction("PANIC!", [this] { app_.Panic(); });
    QAction* thru = midi->addAction("Enable MIDI Thru");
    thru->setCheckable(true);
    connect(midi, &QMenu::aboutToShow, this,
            [this, thru] { thru->setChecked(app_.Synth().Link().ThruEnabled()); });
    connect(thru, &QAction::triggered, this, [this](bool on) { app_.Synth().SetThru(on); });
    midi->addAction("Effects and Tuning...", [this] { EditorFrameEffects(app_, this).exec(); });

    // Alt+W belongs to Wizards; each menu has a letter of its own.
    QMenu* windows = menuBar()->addMenu("Wi&ndows");
    windows->addAction("&Cascade Windows", mdi_, &QMdiArea::cascadeSubWindows);
    windows->addAction("Close &All Windows", mdi_, &QMdiArea::closeAllSubWindows);
    windows->addSeparator();
    // Every window the toolbar opens, and the keymap editor, which it does not.
    windows->addAction("&Object Browser", [this] { OpenObjectBrowser(); });
    windows->addAction("&Bank Editor", [this] { OpenBankEditor(); });
    windows->addAction("&Program Editor", [this] { OpenLayerEditor(); });
    windows->addAction("&Sample Editor", [this] { OpenSampleEditor(); });
    windows->addAction("&Keymap Editor", [this] { OpenKeymapEditor(); });
    windows->addAction("Program &Table", [this] { OpenProgramTable(); });

    QMenu* help = menuBar()->addMenu("&Help");
    help->addAction("&Contents", QKeySequence::HelpContents,
                    [this] { ShowHelpFor(QApplication::focusWidget(), this); });
    help->addAction("&About Talmeru...", [this] { About(); });
}

void CMainFrame::FillRecentMenu() {
    recentMenu_->clear();
    int n = 1;
    for (const std::string& path : app_.RecentFiles()) {
        // Replacing an unsaved bank without a word would lose its edits: ask first.
        recentMenu_->addAction(Q(Fmt("&%d %s", n++, path.c_str())), [this, path] {
            if (app_.SaveIfWanted() == 0) app_.OpenDocumentFile(path);
        });
    }
    recentMenu_->setEnabled(!app_.RecentFiles().empty());
}

void CMainFrame::SetTabbedView(bool tabbed) {
    mdi_->setViewMode(tabbed ? QMdiArea::TabbedView : QMdiArea::SubWindowView);
    tabbedView_->setChecked(tabbed);
    app_.Settings().WriteBool("State", kTabbedKey, tabbed);
}

void CMainFrame::RestorePosition() {
    const Profile& s = app_.Settings();
    const std::string stored = s.GetString("State", "MainFrame-Position");
    const std::string layout = s.GetString("State", kGeometryKey);
    int left = 0, top = 0, width = 0, height = 0;
    const bool placed =
        std::sscanf(stored.c_str(), "%d %d %d %d", &left, &top, &width, &height) == 4 &&
        width > 0 && height > 0;
    if (placed) setGeometry(left, top, width, height);
    // The stored geometry adds the maximised state and the screen to the position.
    const bool restored =
        !layout.empty() &&
        restoreGeometry(QByteArray::fromBase64(QByteArray::fromStdString(layout)));
    firstStart_ = !placed && !restored;
    if (firstStart_) {
        const QScreen* screen = QGuiApplication::primaryScreen();
        setGeometry(screen ? FirstStartGeometry(screen->availableGeometry())
                           : QRect(0, 0, 1200, 800));
    }
    const std::string bars = s.GetString("BARSTATE", "State");
    if (!bars.empty()) restoreState(QByteArray::fromBase64(QByteArray::fromStdString(bars)));
}

void CMainFrame::SaveLayout() {
    Profile& s = app_.Settings();
    s.WriteString("BARSTATE", "State", saveState().toBase64().toStdString());
    s.WriteString("State", kGeometryKey, saveGeometry().toBase64().toStdString());
    const QRect r = isMaximized() || isFullScreen() ? normalGeometry() : geometry();
    s.WriteString("State", "MainFrame-Position",
                  Fmt("%d %d %d %d", r.left(), r.top(), r.width(), r.height()));
}

void CMainFrame::EndBySystem() {
    app_.SaveIfWanted(false);
    endingBySystem_ = true;
    // Nobody is there to answer: open message boxes and dialogs end unanswered; the program
    // ends with its last window once the code that opened them has returned.
    for (int guard = 0; guard < 32; ++guard) {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal) break;
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
    }
    close();
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (!endingBySystem_ && !app_.CanExit()) {
        event->ignore();
        return;
    }
    Profile& s = app_.Settings();
    SaveLayout();
    if (KeymapPage* keymaps = KeymapEditorWindow::Current()) keymaps->SaveSettings();
    std::vector<std::string> open;
    // A browser closed a moment ago is only waiting to be deleted.
    if (browser_ && !browser_->isHidden()) {
        open.push_back("ObjectBrowser");
        browser_->SavePlacement();
    }
    if (sampleFrame_) {
        open.push_back("SampleEditor");
        SavePlacement(*sampleFrame_, s, kSampleEditorFrameName);
    }
    if (layerEditor_) {
        open.push_back("LayerEditor");
        layerEditor_->SavePlacement();
        layerEditor_->Editor()->Keymaps()->SaveSettings();
    }
    if (bankFrame_) {
        open.push_back("BankEditor");
        bankFrame_->StoreSplitter();
        if (auto* window = qobject_cast<QMdiSubWindow*>(bankFrame_->parentWidget()))
            SavePlacement(*window, s, kBankFrameName);
    }
    app_.SaveState(open);
    event->accept();
}

void CMainFrame::RefreshViews(RefreshHint hint) {
    UpdateGauges();
    if (EditorSample* samples = SampleEditor(); samples && (hint & kHintSamples)) samples->Refill();
    if (LayerEditor* e = OpenedLayerEditor()) e->SetProgram(app_.Editing().CurrentNumber());
    if (ProgramTableWindow* t = OpenedProgramTable()) t->SetProgram(app_.Editing().CurrentNumber());
    if (KeymapPage* keymaps = KeymapEditorWindow::Current())
        keymaps->ShowProgram(app_.Editing().CurrentNumber());
    if (bankFrame_) bankFrame_->Refresh(hint);
    if (browser_) browser_->Browser()->Refresh(hint);
}

void CMainFrame::OpenBankEditor() {
    if (!app_.Editable()) {
        ShowMessage(
            "The Bank Editor can not be used with the\nMerge Wave Data option on. Turn it off in "
            "the Bank Property Sheet");
        return;
    }
    if (bankFrame_) {
        if (auto* window = qobject_cast<QMdiSubWindow*>(bankFrame_->parentWidget()))
            mdi_->setActiveSubWindow(window);
        return;
    }
    const QMdiSubWindow* active = mdi_->activeSubWindow();
    const bool maximised = active && active->isMaximized();
    bankFrame_ = new CBankFrame(app_);
    QMdiSubWindow* window = mdi_->addSubWindow(bankFrame_);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowIcon(style()->standardIcon(QStyle::SP_FileDialogListView));
    window->resize(960, 600);
    // Its placement is kept when it closes, as at exit.
    window->installEventFilter(this);
    RestorePlacement(*window, app_.Settings(), kBankFrameName, maximised);
    bankFrame_->ApplySplitter();
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
    // A shortcut acts on the state of this moment, not of the last time a menu opened.
    if (event->type() == QEvent::ShortcutOverride) UpdateActions();
    // F1 in a dialog or wizard, where the Help menu's shortcut does not reach.
    if (event->type() == QEvent::KeyPress && watched->isWidgetType()) {
        auto* key = static_cast<QKeyEvent*>(event);
        QWidget* window = static_cast<QWidget*>(watched)->window();
        if (key->key() == Qt::Key_F1 && key->modifiers() == Qt::NoModifier && window != this &&
            !qobject_cast<HelpBrowser*>(window)) {
            ShowHelpFor(static_cast<QWidget*>(watched), this);
            return true;
        }
    }
    if (event->type() == QEvent::Close && bankFrame_ && watched == bankFrame_->parentWidget()) {
        bankFrame_->StoreSplitter();
        SavePlacement(*static_cast<QMdiSubWindow*>(watched), app_.Settings(), kBankFrameName);
    }
    return QMainWindow::eventFilter(watched, event);
}

EditorSample* CMainFrame::SampleEditor() const {
    return sampleFrame_ ? qobject_cast<EditorSample*>(sampleFrame_->widget()) : nullptr;
}

EditorSample* CMainFrame::OpenSampleEditor(int number) {
    if (!sampleFrame_) {
        QMdiSubWindow* active = mdi_->activeSubWindow();
        const bool maximized = active && active->isMaximized();
        auto* editor = new EditorSample(app_);
        connect(editor, &EditorSample::spectrumRequested, this,
                [this](int sample) { ShowSpectrum(app_.Bank(), sample, this); });
        new FileDropFilter(editor, DropTarget::kSampleEditor,
                           [this](const DropPlan& plan, QPoint) { ImportSamples(plan.files); });
        sampleFrame_ = mdi_->addSubWindow(editor);
        sampleFrame_->setObjectName(kSampleEditorFrameName);
        sampleFrame_->setAttribute(Qt::WA_DeleteOnClose);
        RestorePlacement(*sampleFrame_, app_.Settings(), kSampleEditorFrameName, maximized);
    }
    mdi_->setActiveSubWindow(sampleFrame_);
    EditorSample* editor = SampleEditor();
    if (number >= 0) editor->SelectSample(number);
    return editor;
}

ProgramTableWindow* CMainFrame::OpenedProgramTable() const {
    return tableFrame_ ? qobject_cast<ProgramTableWindow*>(tableFrame_->widget()) : nullptr;
}

ProgramTableWindow* CMainFrame::OpenProgramTable() {
    if (!tableFrame_) {
        tableFrame_ = mdi_->addSubWindow(new ProgramTableWindow(app_));
        tableFrame_->setObjectName(kProgramTableFrameName);
        tableFrame_->setAttribute(Qt::WA_DeleteOnClose);
        tableFrame_->resize(760, 520);
        tableFrame_->show();
    }
    mdi_->setActiveSubWindow(tableFrame_);
    ProgramTableWindow* table = OpenedProgramTable();
    table->SetProgram(app_.Editing().CurrentNumber());
    return table;
}

void CMainFrame::ImportSamples(const std::vector<std::string>& files) {
    EditorSample* editor = SampleEditor();
    if (!editor) return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const int last = editor->Logic().NewSamples(files);
    QApplication::restoreOverrideCursor();
    editor->Refill();
    if (last >= 0) editor->SelectSample(last);
}

void CMainFrame::ProgramSelected() {
    if (LayerEditor* e = OpenedLayerEditor()) e->SetProgram(app_.Editing().CurrentNumber());
    if (ProgramTableWindow* t = OpenedProgramTable()) t->SetProgram(app_.Editing().CurrentNumber());
}

void CMainFrame::ObjectEdited(BankObject& object) {
    if (ProgramTableWindow* t = OpenedProgramTable()) t->ObjectEdited(object);
}

LayerEditor* CMainFrame::OpenedLayerEditor() const {
    return layerEditor_ ? layerEditor_->Editor() : nullptr;
}

LayerEditorFrame* CMainFrame::OpenLayerEditor() {
    if (!layerEditor_) {
        const QMdiSubWindow* active = mdi_->activeSubWindow();
        const bool maximised = active && active->isMaximized();
        layerEditor_ = new LayerEditorFrame(app_);
        mdi_->addSubWindow(layerEditor_);
        layerEditor_->RestorePlacement(maximised);
        layerEditor_->Editor()->SetCurrentChannel(app_.Synth().AuditionChannel());
    }
    layerEditor_->Editor()->SetProgram(app_.Editing().CurrentNumber());
    if (!layerEditor_->isVisible()) layerEditor_->show();
    mdi_->setActiveSubWindow(layerEditor_);
    return layerEditor_;
}

void CMainFrame::ReopenEditors() {
    if (app_.Settings().GetBool("State", "ObjectBrowserOpen", false)) OpenObjectBrowser();
    if (app_.Settings().GetBool("State", "BankEditorOpen", false)) OpenBankEditor();
    if (app_.Settings().GetBool("State", "SampleEditorOpen", false)) OpenSampleEditor();
    if (app_.Settings().GetBool("State", "LayerEditorOpen", false)) OpenLayerEditor();
}

BrowserObject* CMainFrame::ObjectBrowser() const {
    return browser_ ? browser_->Browser() : nullptr;
}

CObjectBrowserFrame* CMainFrame::OpenObjectBrowser() {
    if (!browser_) {
        browser_ = new CObjectBrowserFrame(app_, *this, this);
        // Where the user left it, when the stored state knows; else at the left.
        if (!restoreDockWidget(browser_)) {
            addDockWidget(Qt::LeftDockWidgetArea, browser_);
            resizeDocks({browser_.data()}, {std::max(browser_->minimumSizeHint().width(), 300)},
                        Qt::Horizontal);
        }
    }
    browser_->show();
    browser_->raise();
    return browser_;
}

void CMainFrame::OpenStartWindows() {
    if (!firstStart_) {
        ReopenEditors();
        return;
    }
    OpenObjectBrowser();
    OpenLayerEditor();
}

KeymapPage* CMainFrame::OpenKeymapEditor(int keymap) {
    return KeymapEditorWindow::Open(app_, *mdi_, keymap);
}

void CMainFrame::MakeProgramBoxSearchable() {
    // Typing part of a name or number offers the programs that hold it; one chosen becomes
    // current, as one chosen from the list does.
    programBox_->setEditable(true);
    programBox_->setInsertPolicy(QComboBox::NoInsert);
    programBox_->lineEdit()->setPlaceholderText("Type to search");
    auto* completer = new QCompleter(programBox_->model(), programBox_);
    completer->setCaseSensitivity(Qt::CaseInsensitive);
    completer->setFilterMode(Qt::MatchContains);
    completer->setCompletionMode(QCompleter::PopupCompletion);
    programBox_->setCompleter(completer);
    connect(completer, qOverload<const QString&>(&QCompleter::activated), this,
            [this](const QString& text) {
                const int index = programBox_->findText(text);
                if (index < 0) return;
                programBox_->setCurrentIndex(index);
                emit programBox_->activated(index);
            });
    // Text that names no program gives way to the current program's again.
    connect(programBox_->lineEdit(), &QLineEdit::editingFinished, this, [this] {
        if (programBox_->findText(programBox_->currentText()) < 0) ShowCurrentProgram();
    });
}

void CMainFrame::FillProgramBox() {
    programBox_->clear();
    const ObjectList list =
        ListPrograms(app_.Bank(), app_.Editing().CurrentNumber(), app_.Numbering());
    for (const ListItem& item : list.items)
        programBox_->addItem(Q(item.text), item.object->Number());
    programBox_->setCurrentIndex(list.selected);
    // At least its classic 128 pixels, and wide enough that the longest label shows whole.
    int widest = 0;
    for (int i = 0; i < programBox_->count(); ++i)
        widest = std::max(widest,
                          programBox_->fontMetrics().horizontalAdvance(programBox_->itemText(i)));
    programBox_->setFixedWidth(std::max(128, widest + 36));
}

void CMainFrame::ShowCurrentProgram() {
    programBox_->setCurrentIndex(app_.Editing().CurrentProgram()
                                     ? programBox_->findData(app_.Editing().CurrentNumber())
                                     : -1);
    if (KeymapPage* keymaps = KeymapEditorWindow::Current())
        keymaps->ShowProgram(app_.Editing().CurrentNumber());
}

void CMainFrame::ShowChannel(int channel) {
    channelBox_->setCurrentIndex(channel);
    display_->SetCurrentChannel(channel);
    if (LayerEditor* e = OpenedLayerEditor()) e->SetCurrentChannel(channel);
}

void CMainFrame::SetTitle(const std::string& title) {
    // Qt shows "*" in place of "[*]" while the window is modified, as desktops expect.
    setWindowTitle(Q(title) + "[*]");
    setWindowModified(app_.Bank().IsModified());
}

WelcomeChoice CMainFrame::AskWelcome() {
    for (;;) {
        QMessageBox box(QMessageBox::Question, "Welcome to Talmeru !",
                        "A RAM bank is loaded. What shall I do?", QMessageBox::NoButton, this);
        QPushButton* download =
            box.addButton("Download Programs\n(not recommended)", QMessageBox::AcceptRole);
        QPushButton* reset = box.addButton("Reset Synth\n(recommended)", QMessageBox::AcceptRole);
        QPushButton* why = box.addButton("Why?", QMessageBox::HelpRole);
        box.addButton(QMessageBox::Close);
        box.exec();
        if (box.clickedButton() == download) return WelcomeChoice::DownloadPrograms;
        if (box.clickedButton() == reset) return WelcomeChoice::ResetSynth;
        if (box.clickedButton() != why) return WelcomeChoice::Closed;
        QMessageBox::information(
            this, "Talmeru",
            "Due to a firmware limitation, samples are \"Write-only\". If you choose the "
            "\"Download "
            "Programs\" option,\nany samples in RAM can not be determined, even though you can "
            "hear "
            "them.\nIf you save the bank, all RAM based samples will be corrupted, and you will "
            "not be "
            "able to use your bank ever again.\nIt is recommended that you select the \"Reset "
            "Synth\" "
            "option, and then reload the bank that you last used with File|Open.");
    }
}

std::optional<std::string> CMainFrame::AskOpenPath() {
    CBankFileDialog dialog(this);
    if (dialog.exec() != QDialog::Accepted || dialog.ChosenPath().empty()) return std::nullopt;
    return dialog.ChosenPath();
}

std::optional<SaveChoice> CMainFrame::AskSavePath(const std::string& current) {
    CBankFileSaveDialog dialog(current, this);
    if (dialog.exec() != QDialog::Accepted || dialog.ChosenPath().empty()) return std::nullopt;
    return SaveChoice{dialog.ChosenPath(), dialog.SaveOptions()};
}

bool CMainFrame::ShowProperties() {
    PropertiesSheet sheet(app_, this);
    if (sheet.exec() != QDialog::Accepted) return false;
    const bool changed = sheet.Apply();
    // The synthesizer may have become the emulator, or stopped being it.
    StartAudio(sheet.AudioChanged());
    return changed;
}

void CMainFrame::StartAudio(bool reopen) {
    const AudioStatus& status =
        app_.Synth().UpdateAudio(ReadAudioSettings(app_.Settings()), reopen);
    const std::string line = AudioStatusLine(status);
    if (!line.empty()) {
        statusBar()->showMessage(Q(line));
    } else if (!audioLine_.empty() && statusBar()->currentMessage() == Q(audioLine_)) {
        statusBar()->clearMessage();
    }
    audioLine_ = line;
    QString tip = "Output level: left above, right below";
    if (status.state == AudioState::kPlaying && status.sampleRate > 0)
        tip += Q(Fmt("\n%s, %.0f Hz, %d frames (%.1f ms)", status.device.c_str(), status.sampleRate,
                     status.bufferFrames, 1000.0 * status.bufferFrames / status.sampleRate));
    meter_->setToolTip(tip);
    UpdateMeter();
}

void CMainFrame::UpdateMeter() {
    const voice::EngineStats stats = app_.Synth().Audio().Stats();
    meter_->Show(stats.peakLeft, stats.peakRight, app_.Synth().Audio().Playing());
}

UploadHost& CMainFrame::Uploads() {
    return *uploads_;
}

DownloadObserver* CMainFrame::Downloads() {
    downloads_ = std::make_unique<DownloadWindow>(this, [this] { app_.Synth().Link().Cancel(); });
    return downloads_.get();
}

ConversionLog* CMainFrame::Log() {
    return status_;
}

bool CMainFrame::AskCopy(CopyList& list) {
    QDialog dialog(this);
    dialog.setWindowTitle("Copy Program (and dependent objects)");
    auto* layout = new QVBoxLayout(&dialog);
    auto* lines = new QListWidget(&dialog);
    for (const CopyLine& l : list.Lines()) {
        auto* item = new QListWidgetItem(Q(l.text), lines);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(l.ticked ? Qt::Checked : Qt::Unchecked);
    }
    auto setAll = [lines](bool on) {
        for (int i = 0; i < lines->count(); ++i)
            lines->item(i)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    };
    auto* all = new QPushButton("Select All", &dialog);
    auto* none = new QPushButton("Select None", &dialog);
    connect(all, &QPushButton::clicked, &dialog, [setAll] { setAll(true); });
    connect(none, &QPushButton::clicked, &dialog, [setAll] { setAll(false); });
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
        for (int i = 0; i < lines->count(); ++i)
            list.Lines()[size_t(i)].ticked = lines->item(i)->checkState() == Qt::Checked;
        if (!list.TicksOrphans() ||
            AskYesNo(
                "WARNING:Normally, if you copy a keymap, you want to copy the parent program "
                "too. Also, if you copy a sample, you want to copy the parent keymap.  Are you "
                "sure want to copy ONLY the selected objects?"))
            dialog.accept();
    });
    layout->addWidget(lines);
    layout->addWidget(all);
    layout->addWidget(none);
    layout->addWidget(new QLabel("Checked objects will be duplicated.", &dialog));
    layout->addWidget(buttons);
    return dialog.exec() == QDialog::Accepted;
}

void CMainFrame::ShowLog() {
    status_->ShowIfWanted();
}

void CMainFrame::ShowKey(int key, bool pressed, bool onCurrentChannel) {
    keyboard_->MarkKey(key, pressed, onCurrentChannel);
    if (LayerEditor* e = OpenedLayerEditor()) e->ShowKey(key, pressed, onCurrentChannel);
    if (KeymapPage* keymaps = KeymapEditorWindow::Current()) keymaps->MarkKey(key, pressed);
}

void CMainFrame::AddChannelNotes(int channel, int delta) {
    display_->AddNotes(channel, delta);
    if (LayerEditor* e = OpenedLayerEditor()) e->AddChannelNotes(channel, delta);
}

void CMainFrame::UpdateGauges() {
    sampleGauge_->setText(Q(app_.Synth().SampleGauge()));
    programGauge_->setText(Q(app_.Synth().ProgramGauge()));
    UpdateActions();
}

void CMainFrame::UpdateActions() {
    const ZedoDatabase& bank = app_.Bank();
    const bool canSave = bank.IsModified() && app_.Editable();
    saveAction_->setText(bank.Path().empty() ? "Save" : Q(Fmt("Save \"%s\"", bank.Path().c_str())));
    saveAction_->setEnabled(canSave);
    saveButton_->setEnabled(canSave);
    saveAs_->setEnabled(app_.Editable());
    undo_->UpdateActions();
    const bool can = app_.Editing().CurrentProgram() && app_.Editable();
    deleteProgram_->setEnabled(can);
    duplicateProgram_->setEnabled(can);
    LayerEditor* layers = OpenedLayerEditor();
    splitStereo_->setEnabled(layers && layers->CanSplit());
    joinStereo_->setEnabled(layers && layers->CanJoin());
    setWindowModified(bank.IsModified());
}

void CMainFrame::Export(bool instrument) {
    const std::string title = std::filesystem::path(app_.Bank().Path()).stem().string();
    const QString path =
        QFileDialog::getSaveFileName(this, {}, Q(title + (instrument ? ".ins" : ".txt")),
                                     instrument ? "Cakewalk Instrument File (*.ins);;All Files (*)"
                                                : "Text File (*.txt);;All Files (*)");
    if (!path.isEmpty()) app_.ExportBank(path.toStdString(), instrument);
}

void CMainFrame::ImportWaves() {
    const std::vector<std::string> paths = CWaveFileDialog::Ask(app_.Settings(), true, this);
    if (paths.empty()) return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    app_.ImportWaves(paths);
    QApplication::restoreOverrideCursor();
}

void CMainFrame::DrumKitWizard() {
    DKWiz wizard(app_.Bank(), app_.Editing().CurrentNumber(), app_.Settings(),
                 app_.Options().autoProgramReplace, this);
    if (wizard.exec() != QDialog::Accepted) return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    app_.FlushPendingEdits();
    Program* made = wizard.Kit().Build(app_, app_.Editing().CurrentProgram());
    QApplication::restoreOverrideCursor();
    app_.FinishWizard(made);
}

void CMainFrame::MicrotuningWizard() {
    MTWiz wizard(app_.Bank(), app_.Numbering(), this);
    if (wizard.exec() != QDialog::Accepted) return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    app_.FlushPendingEdits();
    Program* made = wizard.Choices().Build(app_);
    QApplication::restoreOverrideCursor();
    app_.FinishWizard(made);
}

void CMainFrame::TonalProgramWizard() {
    const int current =
        app_.Editing().CurrentProgram() ? app_.Editing().CurrentProgram()->Number() : -1;
    const bool replace = app_.Options().autoProgramReplace;
    TPWiz wizard(app_.Bank(), app_.Settings(), current, replace, this);
    // Notes from MIDI input can set the original keys while the sheet is open.
    app_.SetNoteListener([&wizard](int key, bool down) {
        if (down) wizard.KeyPage()->NoteOn(key);
    });
    const int result = wizard.exec();
    app_.SetNoteListener(nullptr);
    if (result != QDialog::Accepted) return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    app_.FlushPendingEdits();
    Program* made = wizard.Choices().Build(app_, current, replace);
    QApplication::restoreOverrideCursor();
    app_.FinishWizard(made);
}

QDialog* CMainFrame::MakeBankOverview() {
    auto* dialog = new QDialog(this);
    dialog->setWindowTitle("Bank Overview");
    auto* form = new QFormLayout(dialog);
    for (const auto& [label, value] : BankOverview(app_.Bank(), &app_.Synth().Link().Memory())) {
        auto* text = new QLabel(Q(value), dialog);
        text->setTextInteractionFlags(Qt::TextSelectableByMouse);
        text->setWordWrap(true);
        form->addRow(Q(label + ":"), text);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, dialog);
    connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    form->addRow(buttons);
    return dialog;
}

void CMainFrame::ShowBankOverview() {
    std::unique_ptr<QDialog> dialog(MakeBankOverview());
    dialog->exec();
}

void CMainFrame::About() {
    QString text;
    for (const std::string& line : app_.Synth().AboutLines())
        text += Q(line) + "\n";
    QMessageBox::about(this, "About Talmeru", text);
}

}  // namespace talmeru
