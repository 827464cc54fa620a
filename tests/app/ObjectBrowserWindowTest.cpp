// The object browser window in the main frame: opening, refreshing, its menu and clicks.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QCompleter>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <memory>

#include "app/MainFrame.h"
#include "app/ObjectBrowser.h"
#include "app/WindowFixture.h"
#include "widgets/WindowPlacement.h"

namespace talmeru::test {
namespace {

class BrowserWindowTest : public WindowTest {
  protected:
    // The item of an object under its group, or nullptr.
    static QTreeWidgetItem* ItemOf(BrowserObject& tree, ObjectRef ref) {
        const int group = ref.type == kTypeProgram ? 0 : ref.type == kTypeKeymap ? 1 : 2;
        QTreeWidgetItem* g = tree.topLevelItem(group);
        for (int i = 0; g && i < g->childCount(); ++i)
            if (BrowserObject::RefOf(g->child(i)) == ref) return g->child(i);
        return nullptr;
    }
    static bool Enabled(QMenu& menu, const QString& text) {
        for (QAction* a : menu.actions())
            if (a->text() == text) return a->isEnabled();
        ADD_FAILURE() << text.toStdString();
        return false;
    }
    static QAction* Action(QMenu& menu, const QString& text) {
        for (QAction* a : menu.actions())
            if (a->text() == text) return a;
        return nullptr;
    }
};

TEST_F(BrowserWindowTest, TheBrowserOpensOnceAndRebuildsOnlyForObjectHints) {
    frame->ReopenEditors();
    EXPECT_EQ(frame->ObjectBrowser(), nullptr);
    app->Settings().WriteBool("State", "ObjectBrowserOpen", true);
    frame->ReopenEditors();
    BrowserObject* tree = frame->ObjectBrowser();
    ASSERT_NE(tree, nullptr);
    CObjectBrowserFrame* browser = frame->OpenObjectBrowser();
    EXPECT_EQ(browser->Browser(), tree);
    EXPECT_EQ(frame->findChildren<CObjectBrowserFrame*>().size(), 1u);
    EXPECT_EQ(browser->objectName(), "ObjectBrowserFrame");
    EXPECT_EQ(browser->windowTitle(), "Object Browser");
    ASSERT_EQ(tree->topLevelItemCount(), 3);
    EXPECT_EQ(tree->topLevelItem(0)->text(0), "Programs");

    app->Bank().GetProgram(2)->SetName("Elsewhere");
    app->Refresh(kHintLayers);
    EXPECT_FALSE(ItemOf(*tree, {kTypeProgram, 2})->text(0).endsWith("Elsewhere"));
    app->Refresh(kHintPrograms);
    // Numbered as everywhere else: with the bank prefix, which is on by default.
    EXPECT_EQ(ItemOf(*tree, {kTypeProgram, 2})->text(0), "0/2-Elsewhere");
    app->Bank().GetProgram(2)->SetName("Again");
    app->Refresh(kHintKeymaps);
    EXPECT_EQ(ItemOf(*tree, {kTypeProgram, 2})->text(0), "0/2-Again");

    frame->close();
    Profile& s = app->Settings();
    EXPECT_TRUE(s.GetBool("State", "ObjectBrowserOpen", false));
    EXPECT_TRUE(ParsePlacement(s.GetString("State", "ObjectBrowserFrame-WindowPlacement", "")));
}

TEST_F(BrowserWindowTest, TheSearchBoxFiltersAsTheUserTypesAndItemsSayWhatPlaysThem) {
    CObjectBrowserFrame* browser = frame->OpenObjectBrowser();
    BrowserObject* tree = browser->Browser();
    app->Bank().GetProgram(2)->SetName("Zebra Pad");
    app->Refresh(kHintPrograms);
    const int programs = tree->topLevelItem(0)->childCount();
    ASSERT_GT(programs, 1);
    browser->SearchBox()->setText("zEBRA");
    ASSERT_EQ(tree->topLevelItemCount(), 3);
    ASSERT_EQ(tree->topLevelItem(0)->childCount(), 1);
    EXPECT_TRUE(tree->topLevelItem(0)->child(0)->text(0).endsWith("Zebra Pad"));
    EXPECT_TRUE(tree->topLevelItem(0)->isExpanded());
    EXPECT_EQ(tree->topLevelItem(1)->childCount(), 0);
    // A rebuild keeps the search.
    app->Refresh(kHintPrograms);
    EXPECT_EQ(tree->topLevelItem(0)->childCount(), 1);
    browser->SearchBox()->clear();
    EXPECT_EQ(tree->topLevelItem(0)->childCount(), programs);

    // The keymap of the program's first layer names it.
    const int keymap = app->Bank().GetProgram(2)->GetLayer(0)->keymap;
    QTreeWidgetItem* item = ItemOf(*tree, {kTypeKeymap, keymap});
    ASSERT_NE(item, nullptr);
    EXPECT_TRUE(tree->UsedByTip(item).contains("Zebra Pad")) << tree->UsedByTip(item).toStdString();
    EXPECT_TRUE(tree->UsedByTip(tree->topLevelItem(0)).isEmpty());

    // Typed into the program box, part of the name offers the program; chosen, it is current.
    frame->FillProgramBox();
    QCompleter* completer = frame->ProgramBox()->completer();
    ASSERT_NE(completer, nullptr);
    completer->setCompletionPrefix("BRA p");
    ASSERT_EQ(completer->completionCount(), 1);
    emit completer->activated(completer->currentCompletion());
    EXPECT_EQ(app->Editing().CurrentNumber(), 2);
    // Text that names nothing gives way to the current program again.
    frame->ProgramBox()->lineEdit()->setText("no such");
    emit frame->ProgramBox()->lineEdit()->editingFinished();
    EXPECT_TRUE(frame->ProgramBox()->currentText().endsWith("Zebra Pad"));
}

// The browser and the toolbar's program box number a program alike, by the numbering set in
// Properties, and both follow a change of it.
TEST_F(BrowserWindowTest, ProgramsAreNumberedAsInTheProgramBox) {
    BrowserObject* tree = frame->OpenObjectBrowser()->Browser();
    app->Bank().GetProgram(70)->SetName("Seventy");
    const auto numberIn = [](const QString& text, const char* separator) {
        return text.left(text.indexOf(separator)).toStdString();
    };
    const struct {
        bool prefix;
        int style;
        const char* number;
    } cases[] = {{false, 0, "70"}, {false, 1, "71"}, {true, 2, "0/B17"}, {true, 0, "0/70"}};
    for (const auto& c : cases) {
        app->Options().bankPrefix = c.prefix;
        app->Options().numberStyle = c.style;
        app->Refresh(kHintAll);
        QComboBox* box = frame->ProgramBox();
        const int row = box->findData(70);
        ASSERT_GE(row, 0);
        EXPECT_EQ(numberIn(box->itemText(row), " - "), c.number);
        // The box is wide enough for its labels.
        EXPECT_GT(box->width(), box->fontMetrics().horizontalAdvance(box->itemText(row)));
        QTreeWidgetItem* item = ItemOf(*tree, {kTypeProgram, 70});
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(item->text(0).toStdString(), std::string(c.number) + "-Seventy");
    }
}

TEST_F(BrowserWindowTest, TheMenuActsOnObjectItemsOnlyAndRightPressesKeepTheSelection) {
    frame->resize(1000, 700);
    frame->show();
    BrowserObject* tree = frame->OpenObjectBrowser()->Browser();
    QTreeWidgetItem* program = ItemOf(*tree, {kTypeProgram, 3});
    ASSERT_NE(program, nullptr);
    ASSERT_GT(program->childCount(), 0);
    // A layer carries no object: nothing on the menu but nothing selected either.
    tree->setCurrentItem(program->child(0));
    EXPECT_FALSE(tree->Selected().IsObject());
    std::unique_ptr<QMenu> menu(tree->MakeContextMenu(tree->Selected(), nullptr));
    for (const char* entry : {"&Rename", "&Delete", "D&uplicate", "&Edit"})
        EXPECT_FALSE(Enabled(*menu, entry)) << entry;
    ASSERT_NE(app->Editing().CurrentNumber(), 3);
    // Selecting a program (a click, or the arrow keys) makes it current.
    tree->setCurrentItem(program);
    EXPECT_EQ(tree->Selected(), (ObjectRef{kTypeProgram, 3}));
    EXPECT_EQ(app->Editing().CurrentNumber(), 3);
    app->SelectProgram(app->Bank().GetProgram(0), true);
    menu.reset(tree->MakeContextMenu(tree->Selected(), nullptr));
    for (const char* entry : {"&Rename", "&Delete", "D&uplicate", "&Edit"})
        EXPECT_TRUE(Enabled(*menu, entry)) << entry;

    // A double-click makes the program current.
    emit tree->itemDoubleClicked(program, 0);
    EXPECT_EQ(app->Editing().CurrentNumber(), 3);

    // A right press on another item leaves the selection where it was.
    QTreeWidgetItem* keymaps = tree->topLevelItem(1);
    tree->scrollToItem(keymaps);
    const QPoint at = tree->visualItemRect(keymaps).center();
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(at),
                      QPointF(tree->viewport()->mapToGlobal(at)), Qt::RightButton, Qt::RightButton,
                      Qt::NoModifier);
    QApplication::sendEvent(tree->viewport(), &press);
    EXPECT_EQ(tree->currentItem(), program);
    EXPECT_EQ(tree->Selected(), (ObjectRef{kTypeProgram, 3}));

    // Deleting from the menu rebuilds the tree without the object.
    Keymap* loose = app->Bank().CreateKeymap("Loose", -1);
    const int n = loose->Number();
    app->Refresh(kHintKeymaps);
    ASSERT_NE(ItemOf(*tree, {kTypeKeymap, n}), nullptr);
    menu.reset(tree->MakeContextMenu({kTypeKeymap, n}, nullptr));
    Action(*menu, "&Delete")->trigger();
    EXPECT_EQ(app->Bank().GetKeymap(n), nullptr);
    EXPECT_EQ(ItemOf(*tree, {kTypeKeymap, n}), nullptr);
    EXPECT_FALSE(tree->Selected().IsObject());

    // Duplicating from the menu shows the copy.
    const int free = app->Bank().FirstFreeProgram();
    menu.reset(tree->MakeContextMenu({kTypeProgram, 3}, nullptr));
    Action(*menu, "D&uplicate")->trigger();
    EXPECT_NE(ItemOf(*tree, {kTypeProgram, free}), nullptr);

    // Edit on a sample header opens the sample editor on it.
    menu.reset(tree->MakeContextMenu({kTypeSampleHeader, 5}, nullptr));
    Action(*menu, "&Edit")->trigger();
    EXPECT_NE(frame->SampleEditor(), nullptr);
}

}  // namespace
}  // namespace talmeru::test
