// The bank editor's panes against the current bank on the emulator and a scratch bank, its
// drags, the open dialog's preview, and the window in the main frame.
#include <QApplication>
#include <QDragMoveEvent>
#include <QLabel>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMimeData>
#include <QPushButton>
#include <QSplitter>
#include <QTabBar>
#include <filesystem>

#include <QLineEdit>
#include <QSpinBox>
#include <QTimer>
#include "app/BankEditor.h"
#include "app/BankFileDialog.h"
#include "app/BankPane.h"
#include "app/BankPreview.h"
#include "app/MainFrame.h"
#include "app/WindowFixture.h"
#include "editors/insert/InsertDialogs.h"
#include "files/BankFile.h"
#include "files/WaveImport.h"
#include "model/ZedoDatabase.h"
#include "platform/FileUtil.h"
#include "platform/Format.h"
#include "widgets/WindowPlacement.h"

namespace talmeru::test {
namespace {

namespace fs = std::filesystem;

class BankPaneTest : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        Make();
        ASSERT_TRUE(app->Start(window, {}));
        main = std::make_unique<BankPane>(*app, true);
        scratch = std::make_unique<BankPane>(*app, false);
        prompter.Clear();
    }
    void TearDown() override {
        main.reset();
        scratch.reset();
        AppTest::TearDown();
    }
    // A program on a RAM sample in the scratch bank; its number.
    int ScratchWaveProgram(const std::string& name) {
        Program* p =
            BuildProgramFromWave(scratch->Bank(), Wav(name + ".wav", 3000), false, nullptr);
        EXPECT_NE(p, nullptr);
        return p ? p->Number() : -1;
    }
    std::string Name(BankPane& pane, int n) { return pane.ProgramName(n); }
    size_t Sysex() {
        emu->Flush();
        return emu->ReceivedSysex().size();
    }
    std::unique_ptr<BankPane> main, scratch;
};

TEST_F(BankPaneTest, DragTextCarriesPaneAndNumbersAndRefusesForeignText) {
    const std::string text = EncodeDrag({scratch->Identity(), {4, 17, 300}});
    EXPECT_EQ(text.rfind("TalmeruProgramDrag ", 0), 0u);
    const auto drag = DecodeDrag(text);
    ASSERT_TRUE(drag);
    EXPECT_EQ(drag->bank, scratch->Identity());
    EXPECT_EQ(drag->numbers, (std::vector<int>{4, 17, 300}));
    EXPECT_TRUE(main->CanDrop(*drag));
    EXPECT_FALSE(main->DropMoves(*drag));
    EXPECT_TRUE(scratch->DropMoves(*drag));
    EXPECT_NE(main->Identity(), scratch->Identity());

    EXPECT_FALSE(DecodeDrag("Piano 1 and Strings"));
    EXPECT_FALSE(DecodeDrag("TalmeruProgramDragged " + scratch->Identity() + " 1 4 "));
    // Another instance's token, a count that does not match, numbers out of range.
    EXPECT_FALSE(DecodeDrag("TalmeruProgramDrag 0123456789abcdef.1 1 4 "));
    EXPECT_FALSE(DecodeDrag("TalmeruProgramDrag " + scratch->Identity() + " 2 4 "));
    EXPECT_FALSE(DecodeDrag("TalmeruProgramDrag " + scratch->Identity() + " 1 512 "));
    EXPECT_FALSE(DecodeDrag("TalmeruProgramDrag " + scratch->Identity() + " 1 x "));
    // A pane that has gone can no longer be dropped from.
    const ProgramDrag stale{scratch->Identity(), {4}};
    scratch.reset();
    EXPECT_FALSE(main->CanDrop(stale));
    EXPECT_EQ(main->Drop(stale, 10).count, 0);
}

TEST_F(BankPaneTest, CopyingFromScratchUploadsAndRefreshesButCopyingBackSendsNothing) {
    const int n = ScratchWaveProgram("bell");
    const int free = app->Bank().FirstFreeProgram();
    ASSERT_GE(free, 0);
    app->Bank().SetModified(false);
    const int refreshes = window.refreshes;
    const Placed placed = scratch->CopyTo(*main, {n, n + 1});  // the empty row is skipped
    EXPECT_EQ(placed.count, 1);
    EXPECT_EQ(placed.first, free);
    EXPECT_EQ(Name(*main, free), "bell");
    EXPECT_TRUE(app->Bank().IsModified());
    EXPECT_GT(window.refreshes, refreshes);
    emu->Flush();
    EXPECT_TRUE(emu->InRam(kTypeProgram, free));

    // Back into the scratch bank: the synthesizer hears nothing of it.
    const size_t sent = Sysex();
    const int target = scratch->Bank().FirstFreeProgram();
    const Placed back = main->CopyTo(*scratch, {0, free});
    EXPECT_EQ(back.count, 2);
    EXPECT_EQ(back.first, target);
    EXPECT_EQ(Sysex(), sent);
    EXPECT_TRUE(scratch->Bank().IsModified());
    EXPECT_EQ(Name(*scratch, target), Name(*main, 0));
}

TEST_F(BankPaneTest, DroppingWithinAListSwapsOnlyWhatIsNotInPlace) {
    // Empty rows carry nothing: the bank stays as it was.
    app->Bank().SetModified(false);
    EXPECT_EQ(main->Drop({main->Identity(), {300, 301}}, 5).count, 0);
    EXPECT_FALSE(app->Bank().IsModified());
    EXPECT_FALSE(main->HasProgram(300));

    std::array<std::string, 10> before;
    for (int n = 0; n < 10; ++n)
        before[size_t(n)] = Name(*main, 10 * n);
    // Three programs onto the row of the first: two move.
    const Placed placed = main->Drop({main->Identity(), {10, 20, 30}}, 10);
    EXPECT_EQ(placed.first, 10);
    EXPECT_EQ(placed.count, 3);
    EXPECT_EQ(Name(*main, 10), before[1]);
    EXPECT_EQ(Name(*main, 11), before[2]);
    EXPECT_EQ(Name(*main, 12), before[3]);
    EXPECT_TRUE(app->Bank().IsModified());

    // A block dropped one row further on: each program follows the earlier swaps.
    RestoreRom(scratch->Bank(), *app->Editing().RomBank(), kRestorePrograms);
    const std::string p5 = Name(*scratch, 5), p6 = Name(*scratch, 6), p7 = Name(*scratch, 7),
                      p8 = Name(*scratch, 8);
    scratch->Drop({scratch->Identity(), {5, 6, 7}}, 6);
    EXPECT_EQ(Name(*scratch, 6), p5);
    EXPECT_EQ(Name(*scratch, 7), p6);
    EXPECT_EQ(Name(*scratch, 8), p7);
    EXPECT_EQ(Name(*scratch, 5), p8);
}

TEST_F(BankPaneTest, DroppingOntoTheCurrentProgramRestoresItByNumber) {
    const int n = ScratchWaveProgram("pad");
    app->SelectProgram(app->Bank().GetProgram(41), true);
    const std::string old = Name(*main, 41);
    const Placed placed = main->Drop({scratch->Identity(), {n}}, 41);
    EXPECT_EQ(placed.first, 41);
    EXPECT_EQ(app->Editing().CurrentNumber(), 41);
    ASSERT_NE(app->Editing().CurrentProgram(), nullptr);
    EXPECT_EQ(app->Editing().CurrentProgram(), app->Bank().GetProgram(41));
    EXPECT_EQ(app->Editing().CurrentProgram()->Name(), "pad");
    EXPECT_NE(old, "pad");
    emu->Flush();
    EXPECT_TRUE(emu->InRam(kTypeProgram, 41));

    // Moving the current program within the list: it stays current under its new number.
    const std::string moved = Name(*main, 41);
    main->Drop({main->Identity(), {41}}, 200);
    EXPECT_EQ(app->Editing().CurrentNumber(), 200);
    EXPECT_EQ(app->Editing().CurrentProgram()->Name(), moved);
}

TEST_F(BankPaneTest, RenamingTrimsAndMarksTheProgram) {
    ASSERT_TRUE(main->Rename(3, "  Warm Piano  "));
    EXPECT_EQ(Name(*main, 3), "Warm Piano");
    // The synthesizer has it under the new name.
    emu->Flush();
    const auto sent = emu->Object(kTypeProgram, 3);
    ASSERT_TRUE(sent);
    ASSERT_GE(sent->size(), 16u);
    EXPECT_EQ(std::string(sent->begin() + 6, sent->begin() + 16), "Warm Piano");
    EXPECT_TRUE(app->Bank().IsModified());
    EXPECT_NE(main->RowText(3).find("Warm Piano"), std::string::npos);
    EXPECT_FALSE(main->Rename(300, "nothing here"));
    EXPECT_TRUE(main->ProgramName(300).empty());

    const int n = ScratchWaveProgram("flute");
    ASSERT_TRUE(scratch->Rename(n, "\tFlute Solo Long Name  "));
    EXPECT_EQ(Name(*scratch, n), "Flute Solo Long ");
}

TEST_F(BankPaneTest, DeletingClearsPendingEditsAndPicksTheFirstProgram) {
    app->SelectProgram(app->Bank().GetProgram(1), true);
    app->Changed(*app->Bank().GetProgram(0));
    app->Changed(*app->Bank().GetProgram(1));
    EXPECT_EQ(main->Delete({0, 1, 300}), 2);
    EXPECT_EQ(app->Bank().GetProgram(0), nullptr);
    EXPECT_EQ(app->Bank().GetProgram(1), nullptr);
    EXPECT_TRUE(app->Editing().Pending().empty());
    EXPECT_EQ(app->Editing().CurrentNumber(), 2);
    EXPECT_EQ(app->Editing().CurrentProgram(), app->Bank().GetProgram(2));

    const int n = ScratchWaveProgram("gone");
    EXPECT_EQ(scratch->Delete({n}), 1);
    EXPECT_FALSE(scratch->HasProgram(n));
    EXPECT_EQ(app->Editing().CurrentNumber(), 2);
}

TEST_F(BankPaneTest, DuplicatingMakesUniquelyNamedCopiesAtFreeNumbers) {
    const int free = app->Bank().FirstFreeProgram();
    const std::string name = Name(*main, 5);
    const Placed placed = main->Duplicate({5});
    ASSERT_EQ(placed.count, 1);
    EXPECT_EQ(placed.first, free);
    EXPECT_NE(Name(*main, free), name);
    EXPECT_EQ(Name(*main, free).substr(0, 3), name.substr(0, 3));
    emu->Flush();
    EXPECT_TRUE(emu->InRam(kTypeProgram, free));

    const int n = ScratchWaveProgram("horn");
    const Placed copy = scratch->Duplicate({n, n + 1});
    ASSERT_EQ(copy.count, 1);
    EXPECT_EQ(Name(*scratch, copy.first), "horn1");
    // It plays the same keymap: the keymap was not marked for duplication.
    EXPECT_EQ(scratch->Bank().GetProgram(copy.first)->GetLayer(0)->keymap,
              scratch->Bank().GetProgram(n)->GetLayer(0)->keymap);
}

TEST_F(BankPaneTest, RenumberingMovesTheProgramAndRefusesAnOccupiedNumber) {
    app->SelectProgram(app->Bank().GetProgram(6), true);
    const std::string name = Name(*main, 6);
    ASSERT_TRUE(main->Renumber(6, 333, " Moved "));
    EXPECT_FALSE(main->HasProgram(6));
    EXPECT_EQ(Name(*main, 333), "Moved");
    EXPECT_EQ(app->Editing().CurrentNumber(), 333);
    emu->Flush();
    EXPECT_TRUE(emu->InRam(kTypeProgram, 333));

    // A taken number is replaced only when the user agrees, as Edit > Renumber asks.
    const std::string question =
        Fmt("Replace existing program #7 \"%s\" with \"Moved\" ?", Name(*main, 7).c_str());
    EXPECT_FALSE(main->Renumber(333, 7, "Moved"));
    EXPECT_TRUE(prompter.Saw(question));
    EXPECT_TRUE(main->HasProgram(333));
    EXPECT_NE(name, "Moved");
    prompter.QueueAnswer(Answer::Yes);
    app->SelectProgram(app->Bank().GetProgram(7), true);
    ASSERT_TRUE(main->Renumber(333, 7, "Moved"));
    EXPECT_FALSE(main->HasProgram(333));
    EXPECT_EQ(Name(*main, 7), "Moved");
    EXPECT_EQ(app->Editing().CurrentProgram(), app->Bank().GetProgram(7));
}

TEST_F(BankPaneTest, TheRenumberDialogRenamesAndMovesAScratchProgram) {
    const int n = ScratchWaveProgram("flute");
    ASSERT_GE(n, 0);
    // The dialog is answered as a user would: a new name and number, then OK.
    QTimer::singleShot(0, [] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* d = qobject_cast<CRenumberDialog*>(w); d && d->isVisible()) {
                d->NameEdit()->setText("Flute 2");
                d->NumberSpin()->setValue(420);
                d->accept();
                return;
            }
        }
    });
    ASSERT_TRUE(AskRenameRenumber(nullptr, *scratch, n));
    EXPECT_FALSE(scratch->HasProgram(n));
    EXPECT_EQ(Name(*scratch, 420), "Flute 2");
    // The current bank is another bank and stays as it was.
    EXPECT_EQ(app->Bank().GetProgram(420), nullptr);
}

TEST_F(BankPaneTest, NothingChangesWhileTheBankCannotBeEdited) {
    const int n = ScratchWaveProgram("x");
    app->Bank().SetMergeWaveData(true);
    const std::string name = Name(*main, 0);
    EXPECT_EQ(scratch->CopyTo(*main, {n}).count, 0);
    EXPECT_EQ(main->Duplicate({0}).count, 0);
    EXPECT_EQ(main->Delete({0}), 0);
    EXPECT_FALSE(main->Rename(0, "changed"));
    EXPECT_FALSE(main->Renumber(0, 400, "changed"));
    EXPECT_EQ(main->Drop({scratch->Identity(), {n}}, 0).count, 0);
    EXPECT_EQ(Name(*main, 0), name);
    const PaneEnables e = main->Enables({0});
    EXPECT_FALSE(e.copy || e.duplicate || e.remove || e.renumber);
    EXPECT_TRUE(e.switchTo);
}

TEST_F(BankPaneTest, EnablesHintsTabsAndSwitching) {
    PaneEnables e = main->Enables({});
    EXPECT_FALSE(e.copy || e.duplicate || e.remove || e.renumber || e.switchTo);
    e = main->Enables({1, 2});
    EXPECT_TRUE(e.copy && e.duplicate && e.remove);
    EXPECT_FALSE(e.renumber || e.switchTo);
    e = scratch->Enables({1});
    EXPECT_TRUE(e.renumber);
    EXPECT_FALSE(e.switchTo);

    EXPECT_TRUE(main->RefillsOn(kHintAll) && main->RefillsOn(kHintLayers) &&
                main->RefillsOn(kHintPrograms));
    EXPECT_FALSE(main->RefillsOn(kHintSamples) || main->RefillsOn(kHintKeymaps));
    EXPECT_TRUE(scratch->RefillsOn(kHintAll));
    EXPECT_FALSE(scratch->RefillsOn(kHintPrograms) ||
                 scratch->RefillsOn(kHintLayers | kHintPrograms));

    EXPECT_EQ(BankPane::TabRows(2), std::make_pair(320, 256));
    EXPECT_EQ(main->TabLabel(0), app->Numbering().bankPrefix ? "0/0" : "0");
    EXPECT_EQ(main->Title(), "Currently Loaded MA-1 Bank");
    EXPECT_EQ(scratch->Title(), "Scratch Bank");
    EXPECT_EQ(main->BankName(), app->Bank().Path());

    main->SwitchTo(9);
    EXPECT_EQ(app->Editing().CurrentNumber(), 9);
    main->SwitchTo(500);
    EXPECT_TRUE(prompter.Saw("There is no program defined there."));
    EXPECT_EQ(app->Editing().CurrentNumber(), 9);
}

TEST_F(BankPaneTest, LoadingTheScratchBankLeavesTheCurrentBankAlone) {
    const std::string path = (Dir() / "other.pbf").string();
    {
        ZedoDatabase db;
        ASSERT_NE(BuildProgramFromWave(db, Wav("cello.wav", 2000), false, nullptr), nullptr);
        ASSERT_EQ(SaveBank(db, path, 0), 0);
    }
    const std::string name = Name(*main, 0);
    EXPECT_EQ(scratch->LoadScratch(path), 0);
    EXPECT_EQ(scratch->BankName(), path);
    EXPECT_EQ(Name(*scratch, 0), "cello");
    EXPECT_EQ(Name(*main, 0), name);
    EXPECT_NE(scratch->LoadScratch((Dir() / "missing.pbf").string()), 0);
    EXPECT_TRUE(prompter.Saw("Could not read file properly."));

    scratch->RestoreScratchRom();
    EXPECT_EQ(Name(*scratch, 0), Name(*main, 0));
    EXPECT_EQ(scratch->Bank().Link(), nullptr);
}

TEST_F(BankPaneTest, TheScratchBanksConversionLogShowsLikeTheMainBanks) {
    const std::string path = (Dir() / "broken.sf2").string();
    ASSERT_TRUE(WriteWholeFile(path, std::vector<uint8_t>(64, 0x5a)));
    ASSERT_FALSE(app->OpenDocumentFile(path));
    const std::vector<std::string> mainLines = window.log.Lines();
    ASSERT_FALSE(mainLines.empty());
    const int shown = window.logsShown;
    window.log.Add("left from before");
    scratch->LoadScratch(path);
    EXPECT_EQ(window.log.Lines(), mainLines);
    EXPECT_EQ(window.logsShown, shown + 1);
}

TEST(WindowPlacementText, RoundTripsAndRefusesGarbage) {
    WindowPlacement p;
    p.show = kShowMaximized;
    p.left = 10;
    p.top = 20;
    p.right = 410;
    p.bottom = 320;
    EXPECT_EQ(FormatPlacement(p), "3  -1 -1  -1 -1  10 20 410 320");
    const auto back = ParsePlacement(FormatPlacement(p));
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, p);
    EXPECT_FALSE(ParsePlacement("1 2 3"));
    EXPECT_FALSE(ParsePlacement("1  0 0  0 0  50 50 10 10"));
}

class BankPreviewTest : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        Make();
    }
};

TEST_F(BankPreviewTest, OnlyBankFilesWithRamSamplesCanBePlayed) {
    const std::string bank = (Dir() / "Preview.PBF").string();
    const std::string wav = Wav("oboe.wav", 2000);
    {
        ZedoDatabase db;
        ASSERT_NE(BuildProgramFromWave(db, wav, false, nullptr), nullptr);
        ASSERT_EQ(SaveBank(db, bank, 0), 0);
    }
    BankPreview preview;
    EXPECT_EQ(preview.Select(bank), "got one");
    EXPECT_TRUE(preview.CanPlay());
    ASSERT_EQ(preview.PlayList().size(), 1u);
    EXPECT_EQ(fs::path(preview.PlayList().front()).filename(), "oboe.wav");

    EXPECT_EQ(preview.Select(wav), "no preview avail.");
    EXPECT_FALSE(preview.CanPlay());
    EXPECT_TRUE(preview.PlayList().empty());

    // A bank of ROM samples only, a folder and a broken file play nothing.
    const std::string rom = (Dir() / "rom.pbf").string();
    {
        ZedoDatabase db;
        db.CreateProgram("empty", 0);
        ASSERT_EQ(SaveBank(db, rom, 0), 0);
    }
    EXPECT_EQ(preview.Select(rom), "got one");
    EXPECT_FALSE(preview.CanPlay());
    EXPECT_EQ(preview.Select(Dir().string()), "");
    const std::string broken = (Dir() / "broken.pbf").string();
    ASSERT_TRUE(WriteWholeFile(broken, std::vector<uint8_t>(40, 0x55)));
    EXPECT_EQ(preview.Select(broken), "");
    EXPECT_FALSE(preview.CanPlay());
}

class BankWindowTest : public WindowTest {};

TEST_F(BankWindowTest, TheEditorOpensOnceWithItsSplitterAndFollowsRefreshes) {
    app->Settings().WriteInt("Settings", "BankSplitterWidth", 520);
    frame->resize(1200, 800);
    frame->show();
    frame->OpenBankEditor();
    CBankFrame* bank = frame->BankFrame();
    ASSERT_NE(bank, nullptr);
    EXPECT_EQ(bank->objectName(), "BankFrame");
    frame->OpenBankEditor();
    EXPECT_EQ(frame->findChildren<CBankFrame*>().size(), 1);
    EXPECT_EQ(bank->Splitter()->sizes().front(), 520);

    BankEditor* left = bank->MainPane();
    EXPECT_EQ(left->List()->count(), 512);
    EXPECT_EQ(left->Tabs()->count(), 4);
    EXPECT_EQ(left->CopyButton()->text(), "Copy to Scratch ->");
    EXPECT_EQ(bank->ScratchPane()->CopyButton()->text(), "<- Copy to Main Bank");
    EXPECT_FALSE(left->CopyButton()->isEnabled());
    left->List()->SelectOnly(2);
    EXPECT_TRUE(left->CopyButton()->isEnabled());
    EXPECT_TRUE(left->RenumberButton()->isEnabled());
    EXPECT_TRUE(left->List()->DragText().startsWith("TalmeruProgramDrag "));
    left->List()->SelectOnly(400);
    EXPECT_TRUE(left->List()->DragText().isEmpty());

    // A rename elsewhere reaches the list through the application's refresh.
    app->Bank().GetProgram(2)->SetName("Elsewhere");
    app->Refresh(kHintPrograms);
    EXPECT_TRUE(left->List()->item(2)->text().contains("Elsewhere"));

    left->Renamed(5, "  Trimmed  ");
    EXPECT_EQ(app->Bank().GetProgram(5)->Name(), "Trimmed");
    EXPECT_TRUE(left->List()->item(5)->text().endsWith("Trimmed"));

    // Copy by button, then drop back from the scratch list.
    left->List()->SelectOnly(2);
    left->CopyToOther();
    BankEditor* right = bank->ScratchPane();
    EXPECT_TRUE(right->List()->item(0)->text().contains("Elsewhere"));
    EXPECT_EQ(right->List()->SelectedRows(), std::vector<int>{0});
    right->Dropped({right->Pane().Identity(), {0}}, 100);
    EXPECT_TRUE(right->List()->item(100)->text().contains("Elsewhere"));
    EXPECT_FALSE(right->Pane().HasProgram(0));
}

TEST_F(BankWindowTest, ClosingKeepsSplitterPlacementAndOpenState) {
    frame->ReopenEditors();
    EXPECT_EQ(frame->BankFrame(), nullptr);
    app->Settings().WriteBool("State", "BankEditorOpen", true);
    frame->ReopenEditors();
    CBankFrame* bank = frame->BankFrame();
    ASSERT_NE(bank, nullptr);
    bank->Splitter()->setSizes({222, 300});
    const int width = bank->Splitter()->sizes().front();
    frame->close();
    Profile& s = app->Settings();
    EXPECT_EQ(s.GetInt("Settings", "BankSplitterWidth", 0), width);
    EXPECT_TRUE(s.GetBool("State", "BankEditorOpen", false));
    EXPECT_TRUE(ParsePlacement(s.GetString("State", "BankFrame-WindowPlacement", "")));
}

TEST_F(BankWindowTest, ClosingTheWindowAloneKeepsItsPlacement) {
    frame->OpenBankEditor();
    auto* sub = qobject_cast<QMdiSubWindow*>(frame->BankFrame()->parentWidget());
    ASSERT_NE(sub, nullptr);
    sub->setGeometry(30, 40, 900, 500);
    sub->close();
    const auto p =
        ParsePlacement(app->Settings().GetString("State", "BankFrame-WindowPlacement", ""));
    ASSERT_TRUE(p);
    EXPECT_EQ(p->left, 30);
    EXPECT_EQ(p->right, 930);
    EXPECT_EQ(p->bottom, 540);
    frame->OpenBankEditor();
    sub = qobject_cast<QMdiSubWindow*>(frame->BankFrame()->parentWidget());
    EXPECT_EQ(sub->geometry(), QRect(30, 40, 900, 500));
}

TEST_F(BankWindowTest, ListsTakeOnlyProgramDragsAndDropThemOnTheRowUnderTheMouse) {
    frame->resize(1200, 800);
    frame->show();
    frame->OpenBankEditor();
    BankEditor* left = frame->BankFrame()->MainPane();
    BankEditor* right = frame->BankFrame()->ScratchPane();
    CProgramList* list = right->List();
    const QPoint at = list->visualItemRect(list->item(3)).center();
    const Qt::DropActions both = Qt::CopyAction | Qt::MoveAction;

    QMimeData plain;
    plain.setText("Piano and Strings");
    QDragEnterEvent enterPlain(at, both, &plain, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &enterPlain);
    EXPECT_FALSE(enterPlain.isAccepted());
    QDragMoveEvent movePlain(at, both, &plain, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &movePlain);
    EXPECT_FALSE(movePlain.isAccepted());
    EXPECT_EQ(list->DropRow(), -1);

    left->List()->clearSelection();
    left->List()->item(7)->setSelected(true);
    left->List()->item(8)->setSelected(true);
    QMimeData programs;
    programs.setText(left->List()->DragText());
    QDragEnterEvent enter(at, both, &programs, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDragMoveEvent move(at, both, &programs, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &move);
    EXPECT_TRUE(move.isAccepted());
    EXPECT_EQ(move.dropAction(), Qt::CopyAction);
    EXPECT_EQ(list->DropRow(), 3);
    EXPECT_FALSE(right->Pane().HasProgram(3));

    QDropEvent drop(QPointF(at), both, &programs, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &drop);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(list->DropRow(), -1);
    EXPECT_EQ(right->Pane().ProgramName(3), left->Pane().ProgramName(7));
    EXPECT_EQ(right->Pane().ProgramName(4), left->Pane().ProgramName(8));
    EXPECT_TRUE(
        list->item(4)->text().contains(QString::fromStdString(right->Pane().ProgramName(4))));
    EXPECT_EQ(right->List()->SelectedRows(), std::vector<int>{3});

    // Within its own list the same drag moves.
    QMimeData own;
    own.setText(list->DragText());
    const QPoint nine = list->visualItemRect(list->item(9)).center();
    QDragEnterEvent enterOwn(nine, both, &own, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &enterOwn);
    QDragMoveEvent moveOwn(nine, both, &own, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &moveOwn);
    EXPECT_TRUE(moveOwn.isAccepted());
    EXPECT_EQ(list->DropRow(), 9);
    EXPECT_EQ(moveOwn.dropAction(), Qt::MoveAction);
    EXPECT_EQ(moveOwn.dropAction(), Qt::MoveAction);
}

TEST_F(BankWindowTest, TheEditorIsRefusedWhileTheBankCannotBeEdited) {
    app->Bank().SetMergeWaveData(true);
    frame->OpenBankEditor();
    EXPECT_EQ(frame->BankFrame(), nullptr);
    EXPECT_TRUE(
        prompter.Saw("The Bank Editor can not be used with the\nMerge Wave Data option on. Turn "
                     "it off in the Bank Property Sheet"));
}

TEST_F(BankWindowTest, TheOpenDialogPreviewsTheSelectedFile) {
    const std::string bank = (Dir() / "p.pbf").string();
    {
        ZedoDatabase db;
        ASSERT_NE(BuildProgramFromWave(db, Wav("harp.wav", 1000), false, nullptr), nullptr);
        ASSERT_EQ(SaveBank(db, bank, 0), 0);
    }
    SilentSoundPlayer player;
    CBankFileDialog dialog(frame.get(), &player);
    EXPECT_EQ(dialog.windowTitle(), "Open Bank File");
    EXPECT_FALSE(dialog.PlayButton()->isEnabled());
    dialog.Selected(QString::fromStdString(bank));
    EXPECT_EQ(dialog.StatusText()->text(), "got one");
    ASSERT_TRUE(dialog.PlayButton()->isEnabled());
    dialog.Play();
    ASSERT_EQ(player.played.size(), 1u);
    EXPECT_EQ(fs::path(player.played.front()).filename(), "harp.wav");
    EXPECT_TRUE(dialog.PlayingName()->text().isEmpty());
    EXPECT_FALSE(dialog.StopButton()->isEnabled());
}

}  // namespace
}  // namespace talmeru::test
