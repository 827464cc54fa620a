// The sample editor window in the main window, and the wave-file chooser.
#include <QApplication>
#include <QCheckBox>
#include <QEvent>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTreeWidget>
#include <QWheelEvent>
#include <cmath>
#include <numbers>

#include "app/MainFrame.h"
#include "app/WindowFixture.h"
#include "editors/controls/EnvelopeCtrl.h"
#include "editors/sample/EditorSample.h"
#include "editors/sample/SampleMainView.h"
#include "editors/sample/SampleView.h"
#include "platform/FileUtil.h"
#include "platform/SoundPlayer.h"
#include "support/WavBuilder.h"
#include "widgets/WaveFileDialog.h"
#include "widgets/WindowPlacement.h"

namespace talmeru::test {
namespace {

class SampleEditorWindow : public WindowTest {
  protected:
    // The editor with one new sample made through its "New" button.
    EditorSample* WithSample(const std::string& name, int frames) {
        EditorSample* editor = frame->OpenSampleEditor();
        const std::string path = Wav(name, frames);
        editor->SetFilesAsker([path] { return std::vector<std::string>{path}; });
        editor->Button("New")->click();
        return editor;
    }
    // The editor with a new stereo pair made from a 40000-frame 441 Hz tone (A4 +4 cents),
    // looped from frame 10000 to loopEnd.
    EditorSample* WithStereoTone(int loopEnd) {
        std::vector<int16_t> tone;
        for (int i = 0; i < 40000; ++i)
            tone.push_back(int16_t(std::lround(15000 * std::sin(2 * std::numbers::pi * i / 100))));
        WavPlan plan;
        plan.channels = 2;
        plan.data = Pcm16({tone, tone});
        plan.unity = 69;
        plan.loops = {{0, 10000, uint32_t(loopEnd), 0}};
        const std::string path = (Dir() / "tone.wav").string();
        EXPECT_TRUE(WriteWholeFile(path, MakeWav(plan)));
        EditorSample* editor = frame->OpenSampleEditor();
        editor->SetFilesAsker([path] { return std::vector<std::string>{path}; });
        editor->Button("New")->click();
        return editor;
    }
    std::vector<int> Listed(EditorSample* e) {
        std::vector<int> numbers;
        for (int i = 0; i < e->List()->topLevelItemCount(); ++i)
            numbers.push_back(e->List()->topLevelItem(i)->data(0, Qt::UserRole).toInt());
        return numbers;
    }

    SilentSoundPlayer player;
    ScopedSoundPlayer playing{player};
};

TEST_F(SampleEditorWindow, NewSelectsTheSampleAndShowsItsFields) {
    EditorSample* editor = WithSample("Bell.wav", 3000);
    EXPECT_EQ(frame->OpenSampleEditor(), editor);  // one window of the kind
    SampleHeader* h = editor->Logic().Current();
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->Name(), "Bell");
    const QList<QTreeWidgetItem*> chosen = editor->List()->selectedItems();
    ASSERT_EQ(chosen.size(), 1);
    EXPECT_EQ(chosen.front()->text(1), "Bell");
    EXPECT_EQ(editor->PointsGroup()->title(), "Sample Points (in 16-bit Words)");
    EXPECT_EQ(editor->PointEdit(kPointEnd)->text(), "3000");
    EXPECT_EQ(editor->OriginalLabel(kPointEnd)->text(), "3000");
    EXPECT_EQ(editor->MaxNoteLabel()->text().toStdString(), MaxNoteText(h->pitch));
    EXPECT_TRUE(editor->PointEdit(kPointStart)->isEnabled());
    EXPECT_TRUE(editor->Button("Play")->isEnabled());

    editor->PointEdit(kPointStart)->setText("1500");
    emit editor->PointEdit(kPointStart)->editingFinished();
    EXPECT_EQ(h->start, 3000);
    editor->CoarseSpin()->stepBy(1);
    EXPECT_EQ(editor->MaxNoteLabel()->text().toStdString(), MaxNoteText(h->pitch));
    EXPECT_EQ(h->pitch % 256, 0);
    EXPECT_EQ(editor->CoarseSpin()->value(), 0);

    editor->Button("Play")->click();
    ASSERT_EQ(player.played.size(), 1u);
    EXPECT_EQ(player.played.front(), h->Wave()->path);
}

// A marker dragged with the mouse from x to x2, as a user would.
void Drag(QWidget* w, double x, double x2, Qt::KeyboardModifiers mods) {
    const double y = w->height() / 2.0;
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(x, y), w->mapToGlobal(QPointF(x, y)),
                      Qt::LeftButton, Qt::LeftButton, mods);
    QApplication::sendEvent(w, &press);
    QMouseEvent move(QEvent::MouseMove, QPointF(x2, y), w->mapToGlobal(QPointF(x2, y)),
                     Qt::NoButton, Qt::LeftButton, mods);
    QApplication::sendEvent(w, &move);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(x2, y), w->mapToGlobal(QPointF(x2, y)),
                        Qt::LeftButton, Qt::NoButton, mods);
    QApplication::sendEvent(w, &release);
}

TEST_F(SampleEditorWindow, TheSampleViewPaintsBothHalvesAndItsMarkersDrag) {
    EditorSample* editor = WithStereoTone(30000);
    SampleHeader* h = editor->Logic().Current();
    ASSERT_NE(h, nullptr);
    WaveView* view = editor->Wave();
    view->resize(800, 200);
    view->ZoomAll();
    ASSERT_TRUE(view->HasWave());
    EXPECT_EQ(view->Frames(), 40000);
    EXPECT_TRUE(editor->JoinView()->Showing());
    EXPECT_TRUE(editor->Button("Find Loop")->isEnabled());
    EXPECT_TRUE(editor->Button("Hold to Play")->isEnabled());

    // Both halves are drawn, one above the other.
    const QImage picture = view->grab().toImage();
    auto inked = [&picture](int top, int bottom) {
        int count = 0;
        for (int y = top; y < bottom; ++y)
            for (int x = 0; x < picture.width(); ++x)
                count += picture.pixelColor(x, y) == QColor(20, 70, 160);
        return count;
    };
    EXPECT_GT(inked(0, picture.height() / 2), 2000);
    EXPECT_GT(inked(picture.height() / 2, picture.height()), 2000);

    // The end marker dragged left lands on the nearest rising zero crossing and is written
    // as the field writes it.
    const auto& frames = editor->Logic().Frames(*h)->Data();
    const double endX = view->XOf(static_cast<double>(view->Points().end));
    Drag(view, endX, endX - 200, Qt::NoModifier);
    const int64_t end = h->end / 2;
    EXPECT_LT(end, 30000);
    EXPECT_LT(frames[size_t(end - 1)], 0);
    EXPECT_GE(frames[size_t(end)], 0);
    EXPECT_NEAR(static_cast<double>(end), view->FrameAt(endX - 200), 100);
    EXPECT_EQ(editor->PointEdit(kPointEnd)->text(), QString::number(end));
    EXPECT_EQ(StereoPartner(*h)->end, h->end);
    const auto& pending = app->Editing().Pending();
    EXPECT_NE(std::find(pending.begin(), pending.end(), h), pending.end());

    // Shift swaps snapping off: the loop lands under the pointer.
    const double loopX = view->XOf(static_cast<double>(view->Points().loop));
    Drag(view, loopX, loopX + 33, Qt::ShiftModifier);
    EXPECT_EQ(h->loopStart / 2, std::llround(view->FrameAt(loopX + 33)));
    editor->SnapBox()->setChecked(false);
    const double startX = view->XOf(0);
    Drag(view, startX, startX + 7, Qt::NoModifier);
    EXPECT_EQ(h->start / 2, std::llround(view->FrameAt(startX + 7)));

    // The wheel zooms about the pointer; the scroll bar follows and scrolls.
    QWheelEvent wheel(QPointF(400, 100), view->mapToGlobal(QPointF(400, 100)), QPoint(),
                      QPoint(0, 360), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    const double under = view->FrameAt(400);
    QApplication::sendEvent(view, &wheel);
    EXPECT_LT(view->ViewSpan(), 40000 * 0.6);
    EXPECT_NEAR(view->FrameAt(400), under, 1.0);
    EXPECT_EQ(editor->WaveScroll()->pageStep(), std::lround(view->ViewSpan()));
    editor->WaveScroll()->setValue(0);
    EXPECT_EQ(view->ViewStart(), 0.0);

    // A sample that does not loop shows no loop marker and no join.
    editor->PointEdit(kPointLoop)->setText("-1");
    emit editor->PointEdit(kPointLoop)->editingFinished();
    EXPECT_EQ(editor->PointEdit(kPointLoop)->text(), kNoLoopText);
    EXPECT_EQ(view->Points().loop, -1);
    EXPECT_FALSE(editor->JoinView()->Showing());

    // Find Loop loops it again at whole periods; Detect Pitch finds A4 + 15.6 cents (441 Hz).
    editor->Button("Find Loop")->click();
    EXPECT_EQ((h->end - h->loopStart) / 2 % 100, 0);
    EXPECT_TRUE(editor->JoinView()->Showing());
    editor->Button("Detect Pitch")->click();
    EXPECT_NEAR(RootKeyOf(*h), 69 + 12 * std::log2(441.0 / 440.0), 0.01);
    EXPECT_EQ(editor->OriginalNoteLabel()->text().toStdString(), FractionalNoteText(RootKeyOf(*h)));

    // Held, the sample sounds on the synthesizer; let go, it stops.
    emit editor->Button("Hold to Play")->pressed();
    EXPECT_TRUE(editor->Audition().Playing());
    emu->Flush();
    EXPECT_EQ(emu->SoundingNotes().size(), 1u);
    emit editor->Button("Hold to Play")->released();
    emu->Flush();
    EXPECT_TRUE(emu->SoundingNotes().empty());
}

TEST_F(SampleEditorWindow, TheSampleViewIsTheMainViewWithTimeTuningAndPlayback) {
    // Looped from frame 10000 to its end.
    EditorSample* editor = WithStereoTone(39999);
    ASSERT_NE(editor->Logic().Current(), nullptr);

    // The view takes at least half of the editor's height.
    frame->resize(1280, 800);
    frame->show();
    editor->parentWidget()->showMaximized();
    QApplication::processEvents();
    ASSERT_TRUE(editor->isVisible());
    QWidget* view = editor->Wave()->parentWidget();
    EXPECT_GE(view->height() * 2, editor->height());

    EXPECT_EQ(editor->LengthLabel()->text(), "0.907 s (40000 frames)");
    const std::vector<AxisTick> ticks = editor->Axis()->Ticks();
    ASSERT_FALSE(ticks.empty());
    EXPECT_TRUE(std::any_of(ticks.begin(), ticks.end(),
                            [](const AxisTick& t) { return t.labelled && t.frames == "0"; }));
    const std::vector<QString>& lines = editor->Tuning()->Lines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_TRUE(lines[0].startsWith("Root key: A4"));
    EXPECT_TRUE(lines[2].startsWith("A4 +4 ct")) << lines[2].toStdString();

    // Play Sample writes both halves, once or with the loop repeated for a few seconds.
    auto played = [this] { return ReadWholeFile(player.played.back()).value_or(std::vector<uint8_t>{}).size(); };
    editor->LoopPlayBox()->setChecked(false);
    editor->Button("Play Sample")->click();
    ASSERT_FALSE(player.played.empty());
    EXPECT_EQ(played(), 44u + 40000 * 4);
    editor->LoopPlayBox()->setChecked(true);
    editor->Button("Play Sample")->click();
    EXPECT_GE(played(), 44u + 4 * 44100 * 4);
}

TEST_F(SampleEditorWindow, SeveralSelectedShowNoFields) {
    EditorSample* editor = WithSample("a.wav", 100);
    editor->FilterButton(kSamplesAll)->setChecked(true);
    editor->List()->topLevelItem(0)->setSelected(true);
    EXPECT_GE(editor->List()->selectedItems().size(), 2);
    EXPECT_EQ(editor->Logic().Current(), nullptr);
    EXPECT_FALSE(editor->PointEdit(kPointStart)->isEnabled());
    EXPECT_EQ(editor->PointEdit(kPointStart)->text(), "-");
    EXPECT_EQ(editor->MaxNoteLabel()->text(), "?");
    EXPECT_TRUE(editor->Button("Make Alias")->isEnabled());
    EXPECT_TRUE(editor->Button("Loop On/Off")->isEnabled());
    EXPECT_FALSE(editor->Button("Play")->isEnabled());
}

TEST_F(SampleEditorWindow, TheFilterAndTheApplicationsRefreshRefillTheList) {
    EditorSample* editor = WithSample("a.wav", 100);
    const int n = editor->Logic().Current()->Number();
    editor->FilterButton(kSamplesRam)->setChecked(true);
    EXPECT_EQ(Listed(editor), std::vector<int>{n});
    editor->FilterButton(kSamplesRom)->setChecked(true);
    auto rom = Listed(editor);
    EXPECT_EQ(std::find(rom.begin(), rom.end(), n), rom.end());
    EXPECT_FALSE(rom.empty());

    // Opening on a header the filter hides shows it with the filter off.
    frame->OpenSampleEditor(n);
    EXPECT_TRUE(editor->FilterButton(kSamplesAll)->isChecked());
    EXPECT_EQ(editor->Logic().Current()->Number(), n);

    app->Bank().GetSampleHeader(n)->SetName("Renamed");
    app->Refresh(kHintSamples);
    EXPECT_EQ(editor->List()->selectedItems().front()->text(1), "Renamed");
}

TEST_F(SampleEditorWindow, TheEnvelopeLetsGoOfAHeaderThatLeftTheBank) {
    EditorSample* editor = WithSample("a.wav", 100);
    const int n = editor->Logic().Current()->Number();
    EXPECT_NE(editor->Envelope()->Graph().Header(), nullptr);
    app->Bank().DeleteSampleHeader(n);
    // Before the views hear of it, the control is asked to paint.
    QEvent probe(QEvent::UpdateRequest);
    QApplication::sendEvent(editor->Envelope(), &probe);
    EXPECT_EQ(editor->Envelope()->Graph().Header(), nullptr);
    app->Refresh(kHintAll);
    EXPECT_EQ(editor->Logic().Current(), nullptr);
}

TEST_F(SampleEditorWindow, PresetsAndAttackSegments) {
    EditorSample* editor = WithSample("a.wav", 100);
    SampleHeader* h = editor->Logic().Current();
    editor->AttackSpin()->setValue(2);
    EXPECT_EQ(h->AttackCount(), 2);
    ASSERT_GE(editor->PresetList()->count(), 2);
    EXPECT_EQ(editor->PresetList()->item(0)->text().toStdString(), kFlatEnvName);
    emit editor->PresetList()->itemClicked(editor->PresetList()->item(0));
    EXPECT_EQ(h->AttackCount(), 0);
    EXPECT_EQ(editor->AttackSpin()->value(), 0);
    EXPECT_EQ(editor->PresetList()->currentRow(), -1);

    editor->PresetName()->setText("Soft");
    editor->Button("Add")->click();
    EXPECT_EQ(editor->PresetList()->count(), 3);
    EXPECT_EQ(editor->PresetList()->currentItem()->text(), "Soft");
    editor->Button("Delete Preset")->click();
    EXPECT_EQ(editor->PresetList()->count(), 2);
    editor->PresetList()->setCurrentRow(0);
    editor->Button("Delete Preset")->click();
    EXPECT_TRUE(prompter.Saw("This preset can not be deleted"));
}

TEST_F(SampleEditorWindow, TheOpenEditorIsReopenedWhereItWas) {
    frame->OpenSampleEditor();
    QMdiSubWindow* sub = frame->findChild<QMdiSubWindow*>(kSampleEditorFrameName);
    ASSERT_NE(sub, nullptr);
    sub->showNormal();
    sub->setGeometry(10, 20, 400, 300);
    frame->close();
    EXPECT_TRUE(app->Settings().GetBool("State", "SampleEditorOpen", false));
    const auto stored =
        ParsePlacement(app->Settings().GetString("State", "SampleEditorFrame-WindowPlacement"));
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(stored->left, 10);
    EXPECT_EQ(stored->bottom, 320);

    frame.reset();
    frame = std::make_unique<CMainFrame>(*app);
    EXPECT_EQ(frame->SampleEditor(), nullptr);
    frame->ReopenEditors();
    ASSERT_NE(frame->SampleEditor(), nullptr);
    sub = frame->findChild<QMdiSubWindow*>(kSampleEditorFrameName);
    EXPECT_EQ(sub->geometry(), QRect(10, 20, 400, 300));
}

TEST_F(SampleEditorWindow, TheWaveEditorIsStartedOnACopyAndAwaited) {
    EditorSample* editor = WithSample("a.wav", 100);
    SampleHeader* h = editor->Logic().Current();
    WavPlan plan;
    plan.data = Pcm16({Ramp(400, 1, 2)});
    plan.loops = {{0, 10, 300, 0}};
    const std::string edited = (Dir() / "edited.wav").string();
    ASSERT_TRUE(WriteWholeFile(edited, MakeWav(plan)));
    // An editor that saves the edited file over the one it is given, and notes the name.
    const std::string script = (Dir() / "editor.sh").string();
    const std::string seen = (Dir() / "seen.txt").string();
    const std::string text =
        "#!/bin/sh\necho \"$1\" > '" + seen + "'\ncp '" + edited + "' \"$1\"\n";
    ASSERT_TRUE(WriteWholeFile(script, std::vector<uint8_t>(text.begin(), text.end())));
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    app->Options().waveEditorPath = script;
    std::optional<WaveEditOffer> offered;
    editor->SetChangesChooser([&](const std::string&, const WaveEditOffer& o) {
        offered = o;
        return std::optional<int>(kUpdatePoints | kUpdateWaveform);
    });
    ASSERT_TRUE(editor->Button("Wave Editor")->isEnabled());
    editor->Button("Wave Editor")->click();
    ASSERT_TRUE(offered.has_value());
    const auto given = ReadWholeFile(seen);
    ASSERT_TRUE(given.has_value());
    EXPECT_NE(std::string(given->begin(), given->end()).find("TalmeruTemp"), std::string::npos);
    EXPECT_EQ(ReadWholeFile(h->Wave()->path), ReadWholeFile(edited));
    // The file's loop ends at point 300: the sample ends after it.
    EXPECT_EQ(h->end, 602);
    EXPECT_EQ(editor->PointEdit(kPointEnd)->text(), "301");
}

TEST_F(SampleEditorWindow, ExtractWarnsThenWritesTheChosenFile) {
    EditorSample* editor = WithSample("Snare.wav", 100);
    std::string proposed;
    const std::string target = (Dir() / "out.wav").string();
    editor->SetSavePathAsker([&](const std::string& p) {
        proposed = p;
        return std::optional<std::string>(target);
    });
    editor->Button("Extract")->click();
    EXPECT_EQ(proposed, "Snare.wav");
    EXPECT_TRUE(prompter.Saw(
        "Warning: Do not save this extracted wave file on top of an existing file that is in use "
        "by a .pbf file!"));
    EXPECT_TRUE(std::filesystem::exists(target));
}

TEST(WindowPlacementText, NineNumbers) {
    WindowPlacement p;
    p.show = kShowMaximized;
    p.left = 1;
    p.top = 2;
    p.right = 30;
    p.bottom = 40;
    EXPECT_EQ(FormatPlacement(p), "3  -1 -1  -1 -1  1 2 30 40");
    const auto back = ParsePlacement(FormatPlacement(p));
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->show, kShowMaximized);
    EXPECT_EQ(back->bottom, 40);
    EXPECT_FALSE(ParsePlacement("1 2 3").has_value());
    EXPECT_FALSE(ParsePlacement("1  -1 -1  -1 -1  50 2 30 40").has_value());
}

TEST_F(SampleEditorWindow, TheChooserDescribesPlaysAndKeepsAutoPlay) {
    WavPlan plan;
    plan.data = Pcm16({Ramp(200, 0, 1)});
    plan.unity = 62;
    const std::string path = (Dir() / "Tom.wav").string();
    ASSERT_TRUE(WriteWholeFile(path, MakeWav(plan)));
    {
        CWaveFileDialog dialog(app->Settings(), true);
        EXPECT_EQ(dialog.windowTitle(), "Open Wave File");
        EXPECT_FALSE(dialog.AutoPlayBox()->isChecked());
        dialog.Describe(QString::fromStdString(path));
        EXPECT_EQ(dialog.NameLabel()->text(), "Tom.wav");
        EXPECT_EQ(dialog.FormatLabel()->text(), "PCM");
        EXPECT_EQ(dialog.SamplesLabel()->text(), "200");
        EXPECT_EQ(dialog.NoteLabel()->text(), " D4");
        EXPECT_FALSE(dialog.StereoBox()->isChecked());
        EXPECT_TRUE(dialog.PlayButton()->isEnabled());
        EXPECT_TRUE(player.played.empty());
        dialog.AutoPlayBox()->setChecked(true);
        dialog.Describe(QString::fromStdString((Dir() / "none.wav").string()));
        EXPECT_FALSE(dialog.PlayButton()->isEnabled());
        dialog.Describe(QString::fromStdString(path));
        EXPECT_EQ(player.played, std::vector<std::string>{path});
        dialog.reject();
    }
    EXPECT_TRUE(app->Settings().GetBool("Options", "WFDAutoPlay", false));
    EXPECT_FALSE(player.playing);
}

}  // namespace
}  // namespace talmeru::test
