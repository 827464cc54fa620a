// The keymap editor's window in a real main frame: rows, the mouse on the key matrix, its
// context menu and pop-ups, painting, undo from the Edit menu and the settings it keeps.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>
#include <QToolBar>
#include <QUrl>
#include <algorithm>

#include "app/AppFixture.h"
#include "app/MainFrame.h"
#include "app/UndoPanel.h"
#include "editors/controls/KeyMatrix.h"
#include "editors/keymap/KeymapEditor.h"

namespace talmeru::test {
namespace {

class KeymapWindow : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        Make();
        frame = std::make_unique<CMainFrame>(*app);
        ASSERT_TRUE(app->Start(*frame, {}));
        frame->resize(1200, 900);
        frame->show();
        ZedoDatabase& bank = app->Bank();
        map = bank.CreateKeymap("test map", 300);
        // Sample 500 plays the ROM, 501 RAM data.
        for (int n : {500, 501}) {
            auto s = std::make_unique<SampleHeader>();
            s->SetNumber(n);
            s->SetName("smp" + std::to_string(n));
            bank.PutSampleHeader(std::move(s));
        }
        if (!bank.GetWaveData(0)) bank.AddWaveData(std::make_unique<RomWaveData>());
        bank.GetSampleHeader(500)->AttachWave(bank.GetWaveData(0), kAttachReference);
        WaveData* ram = bank.AddWaveData(std::make_unique<InvalidWaveData>(501));
        bank.GetSampleHeader(501)->AttachWave(ram, kAttachReference);
        map->entries = {{59, 0, 501}, {60, 3, 500}, {127, 0, kNoSample}};
        Keymap* left = bank.CreateKeymap("st left", 301);
        Keymap* right = bank.CreateKeymap("st right", 302);
        left->entries = right->entries = {{127, 0, 0}};
        PairStereo(*left, *right);
        program = bank.CreateProgram("keymap test", bank.FirstFreeProgram());
        ASSERT_NE(program->AddLayer(*map, false), nullptr);
        ASSERT_NE(program->AddLayer(*left, true), nullptr);
        app->SelectProgram(program, true);
        SetStartKey(24);
        SetSharedDragMode(kEditSampleRanges);
        prompter.Clear();
    }
    void TearDown() override {
        SetSampleEditorOpener(nullptr);
        frame.reset();
        // The key window is shared by every editor of the run: the next test finds it new.
        SharedKeyWindow() = KeyWindow{};
        AppTest::TearDown();
    }
    void SetStartKey(int start) {
        if (page) page->SetStartKey(start);
        SharedKeyWindow().SetStart(start);
    }
    KeymapPage* Open(int keymap = -1) {
        page = frame->OpenKeymapEditor(keymap);
        QApplication::processEvents();
        SetStartKey(24);
        return page;
    }
    CKeyMatrix* Matrix(int row = 0) { return page->Row(row)->Matrix(); }
    QPoint KeyPoint(CKeyMatrix* m, int key) {
        return {m->Model().KeyX(key) + kKeyWidth / 2, m->Model().BandHeight() + 10};
    }
    QPoint BandPoint(CKeyMatrix* m, int key) { return {m->Model().KeyX(key) + 2, 2}; }
    void Mouse(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButton button,
               Qt::MouseButtons held) {
        QMouseEvent e(type, QPointF(at), QPointF(w->mapToGlobal(at)), button, held, Qt::NoModifier);
        QApplication::sendEvent(w, &e);
    }
    void Drag(CKeyMatrix* m, int from, int to) {
        Mouse(m, QEvent::MouseButtonPress, KeyPoint(m, from), Qt::LeftButton, Qt::LeftButton);
        Mouse(m, QEvent::MouseMove, KeyPoint(m, to), Qt::NoButton, Qt::LeftButton);
        Mouse(m, QEvent::MouseButtonRelease, KeyPoint(m, to), Qt::LeftButton, Qt::NoButton);
    }
    QAction* MenuAction(QMenu& menu, int id) {
        for (QAction* a : menu.actions())
            if (a->data().toInt() == id && !a->isSeparator()) return a;
        return nullptr;
    }
    std::vector<int> Tops() const {
        std::vector<int> tops;
        for (const KeymapEntry& e : app->Bank().GetKeymap(300)->entries)
            tops.push_back(e.topKey);
        return tops;
    }

    std::unique_ptr<CMainFrame> frame;
    KeymapPage* page = nullptr;
    Keymap* map = nullptr;
    Program* program = nullptr;
};

TEST_F(KeymapWindow, OneRowPerLayerButRightHalvesAndOneForAKeymapNoLayerPlays) {
    Open();
    ASSERT_EQ(page->RowCount(), 2);
    EXPECT_EQ(page->Row(0)->KeymapNumber(), 300);
    EXPECT_EQ(page->Row(1)->LayerIndex(), 1);
    // A stereo layer offers stereo keymaps only.
    QComboBox* stereo = page->Row(1)->Chooser();
    for (int i = 0; i < stereo->count(); ++i)
        EXPECT_EQ(app->Bank().GetKeymap(stereo->itemData(i).toInt())->stereoRole, kStereoLeft);
    EXPECT_EQ(stereo->currentData().toInt(), 301);

    Keymap* lone = app->Bank().CreateKeymap("lone", 310);
    lone->entries = {{127, 0, 0}};
    EXPECT_EQ(frame->OpenKeymapEditor(310), page);
    ASSERT_EQ(page->RowCount(), 3);
    EXPECT_EQ(page->Row(2)->LayerIndex(), -1);
    EXPECT_EQ(page->Row(2)->KeymapNumber(), 310);
    frame->OpenKeymapEditor(300);  // layer 0 plays it already
    EXPECT_EQ(page->RowCount(), 2);

    EXPECT_GT(SharedKeyWindow().count, 20);
    EXPECT_EQ(page->ScrollBar()->maximum(), 128 - SharedKeyWindow().count);
    const int start = page->ScrollBar()->maximum() - 1;
    page->ScrollBar()->setValue(start);
    EXPECT_EQ(SharedKeyWindow().start, start);
    EXPECT_EQ(Matrix()->Model().KeyAt(0), start);
    page->ScrollBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(SharedKeyWindow().start, start + 1);
    page->ScrollBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(SharedKeyWindow().start, start + 1);  // the last key is in view
    page->ScrollBar()->triggerAction(QAbstractSlider::SliderPageStepSub);
    EXPECT_EQ(SharedKeyWindow().start, start);
    EXPECT_EQ(Matrix(1)->Model().KeyAt(0), start);
}

TEST_F(KeymapWindow, ADragMakesARangeAndTheEditMenuUndoesIt) {
    Open();
    QAction* undo = frame->Undo()->UndoAction();
    QMenu* edit = undo->associatedObjects().isEmpty()
                      ? nullptr
                      : qobject_cast<QMenu*>(undo->associatedObjects()[0]);
    ASSERT_NE(edit, nullptr);
    emit edit->aboutToShow();
    app->Editing().History().Reset();
    emit edit->aboutToShow();
    EXPECT_EQ(undo->text().toStdString(), "Undo");
    EXPECT_FALSE(undo->isEnabled());

    Drag(Matrix(), 70, 65);
    EXPECT_EQ(Tops(), (std::vector<int>{59, 60, 64, 70, 127}));
    EXPECT_FALSE(Matrix()->AutoScrolling());
    app->Editing().History().Settle();
    Drag(Matrix(), 30, 31);
    EXPECT_EQ(Tops(), (std::vector<int>{29, 31, 59, 60, 64, 70, 127}));
    // The rows show the edit.
    EXPECT_EQ(Matrix()->Model().Ranges().size(), 7u);

    emit edit->aboutToShow();
    EXPECT_EQ(undo->text().toStdString(), "Undo \"Keymap change\"");
    // The toolbar has it too, the step named in its tooltip.
    const auto on = undo->associatedObjects();
    EXPECT_TRUE(std::any_of(on.begin(), on.end(),
                            [](QObject* o) { return qobject_cast<QToolBar*>(o) != nullptr; }));
    EXPECT_EQ(undo->toolTip().toStdString(), "Undo \"Keymap change\"");
    ASSERT_TRUE(undo->isEnabled());
    undo->trigger();
    EXPECT_EQ(Tops(), (std::vector<int>{59, 60, 64, 70, 127}));
    EXPECT_EQ(Matrix()->Model().Ranges().size(), 5u);
    emit edit->aboutToShow();
    EXPECT_EQ(frame->Undo()->RedoAction()->text().toStdString(), "Redo \"Keymap change\"");
    undo->trigger();
    emit edit->aboutToShow();
    EXPECT_FALSE(undo->isEnabled());
    EXPECT_TRUE(frame->Undo()->RedoAction()->isEnabled());
}

TEST_F(KeymapWindow, LayerRangeModeSetsTheLayersKeys) {
    Open();
    page->ModeButton(kEditLayerRange)->setChecked(true);
    EXPECT_EQ(SharedDragMode(), kEditLayerRange);
    Drag(Matrix(), 50, 40);
    EXPECT_EQ(program->GetLayer(0)->keyLow, 40);
    EXPECT_EQ(program->GetLayer(0)->keyHigh, 50);
    EXPECT_EQ(Tops(), (std::vector<int>{59, 60, 127}));
    page->ModeButton(kEditSampleRanges)->setChecked(true);
    EXPECT_EQ(SharedDragMode(), kEditSampleRanges);
}

TEST_F(KeymapWindow, TheContextMenuFollowsTheRangeUnderThePointer) {
    Open();
    CKeyMatrix* m = Matrix();
    auto none = m->MakeContextMenu();
    EXPECT_FALSE(MenuAction(*none, kCmdDeleteRange)->isEnabled());
    EXPECT_EQ(MenuAction(*none, kCmdAdjustAmplitude)->text().toStdString(),
              "Adjust Amplitude [  ] ...");

    Mouse(m, QEvent::MouseButtonPress, BandPoint(m, 60), Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(m->Model().Selected(), 1);
    EXPECT_FALSE(m->Model().Dragging());
    auto one = m->MakeContextMenu();
    EXPECT_FALSE(MenuAction(*one, kCmdSplitRange)->isEnabled());  // a single key
    EXPECT_TRUE(MenuAction(*one, kCmdDeleteRange)->isEnabled());
    EXPECT_EQ(MenuAction(*one, kCmdAdjustAmplitude)->text().toStdString(),
              "Adjust Amplitude [+3] ...");
    // The main window opens the sample editor on the range's sample.
    ASSERT_TRUE(MenuAction(*one, kCmdEditSample)->isEnabled());
    EXPECT_EQ(frame->SampleEditor(), nullptr);
    MenuAction(*one, kCmdEditSample)->trigger();
    EXPECT_NE(frame->SampleEditor(), nullptr);

    int opened = -2;
    SetSampleEditorOpener([&opened](int s) { opened = s; });
    Mouse(m, QEvent::MouseButtonPress, BandPoint(m, 100), Qt::LeftButton, Qt::LeftButton);
    auto silent = m->MakeContextMenu();
    EXPECT_EQ(MenuAction(*silent, kCmdEditSample)->text().toStdString(), "Edit Sample Unknown");
    EXPECT_TRUE(MenuAction(*silent, kCmdSplitRange)->isEnabled());
    MenuAction(*silent, kCmdSplitRange)->trigger();
    EXPECT_EQ(Tops(), (std::vector<int>{59, 60, 94, 127}));
    EXPECT_TRUE(app->Editing().CanUndo());  // menu commands are undoable too

    Mouse(m, QEvent::MouseButtonPress, BandPoint(m, 30), Qt::LeftButton, Qt::LeftButton);
    m->Command(kCmdEditSample);
    EXPECT_EQ(opened, 501);
    m->Command(kCmdSilentRange);
    EXPECT_EQ(app->Bank().GetKeymap(300)->entries[0].sample, kNoSample);
    Mouse(m, QEvent::MouseButtonPress, BandPoint(m, 30), Qt::LeftButton, Qt::LeftButton);
    m->Command(kCmdDeleteRange);
    EXPECT_EQ(Tops(), (std::vector<int>{60, 94, 127}));
    // The context menu taking the focus keeps the selection; anything else drops it.
    Mouse(m, QEvent::MouseButtonPress, BandPoint(m, 30), Qt::LeftButton, Qt::LeftButton);
    QFocusEvent toMenu(QEvent::FocusOut, Qt::PopupFocusReason);
    QApplication::sendEvent(m, &toMenu);
    EXPECT_EQ(m->Model().Selected(), 0);
    QFocusEvent out(QEvent::FocusOut);
    QApplication::sendEvent(m, &out);
    EXPECT_EQ(m->Model().Selected(), -1);
    m->Command(kCmdDeleteRange);
    EXPECT_EQ(Tops(), (std::vector<int>{60, 94, 127}));
}

TEST_F(KeymapWindow, DoubleClickOnEmptyBandOpensTheSampleEditorWithNoSample) {
    map->entries = {{40, 0, 501}};  // nothing above key 40
    Open();
    int opened = -2;
    SetSampleEditorOpener([&opened](int s) { opened = s; });
    CKeyMatrix* m = Matrix();
    Mouse(m, QEvent::MouseButtonPress, BandPoint(m, 80), Qt::LeftButton, Qt::LeftButton);
    Mouse(m, QEvent::MouseButtonDblClick, BandPoint(m, 80), Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(opened, -1);
    Mouse(m, QEvent::MouseButtonPress, BandPoint(m, 30), Qt::LeftButton, Qt::LeftButton);
    Mouse(m, QEvent::MouseButtonDblClick, BandPoint(m, 30), Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(opened, 501);
}

TEST_F(KeymapWindow, ReplaceSampleTakesTheDialogsChoice) {
    Open();
    CKeyMatrix* m = Matrix();
    Mouse(m, QEvent::MouseButtonPress, BandPoint(m, 60), Qt::LeftButton, Qt::LeftButton);
    int offered = -1;
    m->askSample = [&offered](SampleChoice& c) -> std::optional<int> {
        offered = c.View();
        return 501;
    };
    m->Command(kCmdReplaceSample);
    EXPECT_EQ(offered, kViewRom);  // sample 500 plays the ROM
    EXPECT_EQ(app->Bank().GetKeymap(300)->entries[1].sample, 501);
    ASSERT_GE(app->Editing().Pending().size(), 2u);
    EXPECT_EQ(app->Editing().Pending()[app->Editing().Pending().size() - 2]->Type(),
              kTypeSampleHeader);

    SampleChoice choice(app->Bank(), 500, false);
    SelectSampleDialog dialog(choice);
    EXPECT_TRUE(dialog.ViewButton(kViewRom)->isChecked());
    EXPECT_EQ(dialog.Chosen(), 500);
    dialog.ViewButton(kViewAll)->setChecked(true);
    EXPECT_EQ(dialog.List()->count(), int(choice.List().items.size()));
    dialog.List()->clearSelection();
    EXPECT_EQ(dialog.Chosen(), -1);
}

TEST_F(KeymapWindow, TheAmpSliderStopsAtPlus32UnlessFullRange) {
    Open();
    AmpPopup popup(*app, program->Number(), 300, 1);
    EXPECT_EQ(popup.Slider()->value(), 3);
    EXPECT_EQ(popup.Readout()->text().toStdString(), "+3");
    popup.Slider()->setValue(40);
    EXPECT_EQ(popup.Slider()->value(), 32);
    EXPECT_EQ(app->Bank().GetKeymap(300)->entries[1].amp, 32);
    EXPECT_EQ(popup.Readout()->text().toStdString(), "+32");
    popup.FullRange()->setChecked(true);
    popup.Slider()->setValue(40);
    EXPECT_EQ(app->Bank().GetKeymap(300)->entries[1].amp, 40);
    EXPECT_EQ(popup.Readout()->text().toStdString(), "+40");
    popup.Slider()->setValue(-12);
    EXPECT_EQ(popup.Readout()->text().toStdString(), "-12");
}

TEST_F(KeymapWindow, PaintingShowsRangesDragsAndSoundingKeys) {
    Open();
    CKeyMatrix* m = Matrix();
    page->ExpandedBox()->setChecked(true);
    QApplication::processEvents();
    EXPECT_EQ(page->Row(0)->height(), kExpandedRowHeight);
    auto pixel = [m](int key, int y) {
        const QImage img = m->grab().toImage();
        return img.pixelColor(m->Model().KeyX(key) + 3, y);
    };
    EXPECT_EQ(pixel(30, m->Model().BandHeight() - 1), QColor(0xFF, 0x00, 0xFF));  // even range
    EXPECT_EQ(pixel(60, m->Model().BandHeight() - 1), QColor(0xFF, 0xFF, 0x00));  // odd
    // A silent range is white above its bottom strip.
    EXPECT_EQ(pixel(100, 0), QColor(Qt::white));
    EXPECT_EQ(pixel(100, m->Model().BandHeight() - 2), QColor(0xFF, 0x00, 0xFF));
    m->MarkKey(64, true);
    const int keyY = m->Model().BandHeight() + 20;
    const QImage img = m->grab().toImage();
    const int x = m->Model().KeyX(64);
    bool cyan = false;
    for (int dx = 0; dx < 2; ++dx)
        cyan = cyan || img.pixelColor(x + 2 + dx, keyY) == QColor(0x00, 0xFF, 0xFF);
    EXPECT_TRUE(cyan);
    page->ExpandedBox()->setChecked(false);
    QApplication::processEvents();
    EXPECT_EQ(page->Row(0)->height(), kCompactRowHeight);
}

TEST_F(KeymapWindow, HoldingADragAtTheRightEdgeScrollsToTheLastKey) {
    Open();
    CKeyMatrix* m = Matrix();
    const int last = SharedKeyWindow().End();
    Mouse(m, QEvent::MouseButtonPress, KeyPoint(m, last), Qt::LeftButton, Qt::LeftButton);
    EXPECT_TRUE(m->AutoScrolling());
    for (int i = 0; i < 200 && SharedKeyWindow().End() < 127; ++i)
        m->AutoScrollTick();
    EXPECT_EQ(SharedKeyWindow().End(), 127);
    EXPECT_EQ(page->ScrollBar()->value(), SharedKeyWindow().start);
    EXPECT_EQ(Matrix(0)->Model().KeyAt(0), Matrix(1)->Model().KeyAt(0));
    Mouse(m, QEvent::MouseButtonRelease, KeyPoint(m, 127), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(Tops(), (std::vector<int>{59, 60, last - 1, 127}));
}

TEST_F(KeymapWindow, ChoosingAKeymapRetargetsTheLayerAndBothStereoHalves) {
    Open();
    Keymap* l2 = app->Bank().CreateKeymap("st2 left", 303);
    Keymap* r2 = app->Bank().CreateKeymap("st2 right", 304);
    l2->entries = r2->entries = {{127, 0, 0}};
    PairStereo(*l2, *r2);
    page->RefreshRows();
    KeymapRow* row = page->Row(1);
    const int index = row->Chooser()->findData(303);
    ASSERT_GE(index, 0);
    row->Choose(index);
    EXPECT_EQ(program->GetLayer(1)->keymap, 303);
    EXPECT_EQ(program->GetLayer(2)->keymap, 304);
    EXPECT_EQ(page->Row(1)->Matrix()->Model().KeymapNumber(), 303);
    row->Choose(-1);
    EXPECT_EQ(prompter.Messages(), (std::vector<std::string>{"Error in selection"}));
    EXPECT_EQ(program->GetLayer(1)->keymap, 303);
}

TEST_F(KeymapWindow, TheExpandedViewIsKeptInTheSettings) {
    app->Settings().WriteBool("State", "KeymapBigView", false);
    Open();
    EXPECT_FALSE(page->ExpandedBox()->isChecked());
    EXPECT_EQ(page->RowHeight(), kCompactRowHeight);
    page->ExpandedBox()->setChecked(true);
    frame->close();
    EXPECT_EQ(app->Settings().GetInt("State", "KeymapBigView", -1), 1);
    EXPECT_FALSE(
        app->Settings().GetString("State", "KeymapEditorFrame-WindowPlacement", "").empty());
}

TEST_F(KeymapWindow, AWaveDroppedOnARangeBecomesItsSample) {
    Open();
    CKeyMatrix* m = Matrix();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(Wav("dropped.wav", 2000)))});
    auto drop = [&](QPoint at) {
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m, &enter);
        QDragMoveEvent move(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m, &move);
        if (!move.isAccepted()) return false;
        QDropEvent dropped(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m, &dropped);
        QApplication::processEvents();
        return dropped.isAccepted();
    };
    EXPECT_FALSE(drop(KeyPoint(m, 30)));  // the keys, not a range
    EXPECT_EQ(app->Bank().GetKeymap(300)->entries[0].sample, 501);
    ASSERT_TRUE(drop(BandPoint(m, 30)));
    const int made = app->Bank().GetKeymap(300)->entries[0].sample;
    ASSERT_NE(made, 501);
    ASSERT_NE(app->Bank().GetSampleHeader(made), nullptr);
    EXPECT_EQ(app->Bank().GetSampleHeader(made)->Name(), "dropped");
    EXPECT_EQ(app->Bank().GetKeymap(300)->entries[1].sample, 500);
}

}  // namespace
}  // namespace talmeru::test
