// Files dropped on the windows: which files open as banks and which become samples, and the
// drops themselves on the main window, the sample editor and a keymap's range.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDropEvent>
#include <QMdiArea>
#include <QMimeData>
#include <QTreeWidget>
#include <QUrl>

#include "app/WindowFixture.h"
#include "editors/sample/EditorSample.h"
#include "files/BankFile.h"
#include "files/WaveImport.h"
#include "model/ZedoDatabase.h"
#include "widgets/FileDrops.h"

namespace talmeru::test {
namespace {

TEST(FileDropsTest, BanksOpenOnTheMainWindowAndWavesBecomeSamples) {
    using F = std::vector<std::string>;
    const DropPlan none;
    auto open = [](F f) { return DropPlan{DropAction::kOpenBank, f}; };
    auto import = [](F f) { return DropPlan{DropAction::kImportSamples, f}; };
    struct Case {
        DropTarget target;
        F files;
        DropPlan plan;
    };
    const std::vector<Case> cases = {
        {DropTarget::kMainWindow, {"/b/x.pbf"}, open({"/b/x.pbf"})},
        {DropTarget::kMainWindow, {"/b/X.TMB"}, open({"/b/X.TMB"})},
        {DropTarget::kMainWindow, {"x.syx"}, open({"x.syx"})},
        {DropTarget::kMainWindow, {"x.sf2"}, open({"x.sf2"})},
        {DropTarget::kMainWindow, {"x.krz"}, open({"x.krz"})},
        {DropTarget::kMainWindow, {"x.Apex"}, open({"x.Apex"})},
        {DropTarget::kMainWindow, {"x.sf3"}, open({"x.sf3"})},
        // As the open dialog reads it: a kept copy of a bank opens too.
        {DropTarget::kMainWindow, {"/b/bank.pbf.old"}, open({"/b/bank.pbf.old"})},
        {DropTarget::kMainWindow, {"x.pbf", "y.pbf"}, none},  // which one?
        {DropTarget::kMainWindow, {"a.wav"}, none},
        {DropTarget::kMainWindow, {"x.txt"}, none},
        {DropTarget::kMainWindow, {"pbf"}, none},
        {DropTarget::kMainWindow, {}, none},
        {DropTarget::kSampleEditor, {"a.wav", "B.WAV"}, import({"a.wav", "B.WAV"})},
        {DropTarget::kSampleEditor, {"a.wav", "x.pbf"}, none},
        {DropTarget::kSampleEditor, {"x.pbf"}, none},
        {DropTarget::kKeymapRange, {"a.wav"}, import({"a.wav"})},
        {DropTarget::kKeymapRange, {"a.wav", "b.wav"}, none},  // a range plays one sample
        {DropTarget::kKeymapRange, {"x.sf2"}, none},
    };
    for (const Case& c : cases) {
        const DropPlan plan = PlanDrop(c.target, c.files);
        EXPECT_EQ(plan, c.plan) << int(c.target) << " " << (c.files.empty() ? "" : c.files[0]);
    }
}

class DropWindow : public WindowTest {
  protected:
    // Drags the files onto the widget and drops them at the point; true when accepted.
    bool Drop(QWidget* target, const std::vector<std::string>& files, QPoint at = {5, 5}) {
        QMimeData data;
        QList<QUrl> urls;
        for (const std::string& f : files)
            urls << QUrl::fromLocalFile(QString::fromStdString(f));
        data.setUrls(urls);
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        if (!enter.isAccepted()) return false;
        QDragMoveEvent move(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &move);
        if (!move.isAccepted()) return false;
        QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
        QApplication::processEvents();
        return drop.isAccepted();
    }
    std::string SavedBank() {
        const std::string path = (Dir() / "dropped.pbf").string();
        ZedoDatabase db;
        EXPECT_NE(BuildProgramFromWave(db, Wav("dropped.wav", 4000), false, nullptr), nullptr);
        EXPECT_EQ(SaveBank(db, path, 0), 0);
        return path;
    }
};

TEST_F(DropWindow, ABankDroppedOnTheMainWindowOpensAfterTheUnsavedQuestion) {
    const std::string path = SavedBank();
    app->Bank().SetModified(true);
    prompter.QueueAnswer(Answer::Cancel);
    // Dropped on the window area, where no editor takes files: the main window does.
    EXPECT_TRUE(Drop(frame->centralWidget(), {path}));
    EXPECT_TRUE(prompter.Saw("\"MA-1 GM Bank 0103.pbf\" is unsaved. Save it?"));
    EXPECT_NE(app->Bank().Path(), path);  // cancelled

    prompter.QueueAnswer(Answer::No);
    EXPECT_TRUE(Drop(frame.get(), {path}));
    EXPECT_EQ(app->Bank().Path(), path);
    EXPECT_FALSE(Drop(frame.get(), {Wav("lone.wav", 100)}));
    EXPECT_FALSE(Drop(frame.get(), {path, path}));
}

TEST_F(DropWindow, WavesDroppedOnTheSampleEditorBecomeSamples) {
    EditorSample* editor = frame->OpenSampleEditor();
    // A bank is left to the main window.
    const std::string bank = SavedBank();
    EXPECT_TRUE(Drop(editor, {bank}));
    EXPECT_EQ(app->Bank().Path(), bank);
    const int before = editor->List()->topLevelItemCount();
    EXPECT_TRUE(Drop(editor, {Wav("one.wav", 3000), Wav("two.wav", 3000)}));
    EXPECT_EQ(editor->List()->topLevelItemCount(), before + 2);
    const SampleHeader* made = nullptr;
    for (int n = 0; n < kSlotCount; ++n)
        if (const SampleHeader* h = app->Bank().GetSampleHeader(n); h && h->Name() == "two")
            made = h;
    ASSERT_NE(made, nullptr);
    ASSERT_NE(editor->List()->currentItem(), nullptr);
    EXPECT_TRUE(app->Bank().IsModified());
}

}  // namespace
}  // namespace talmeru::test
