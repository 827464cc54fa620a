#include "app/UndoPanel.h"

#include <QAction>
#include <QIcon>
#include <QListWidget>
#include <QMenu>
#include <QStyle>
#include <QTimer>
#include <QToolBar>

#include "application/TalmeruApp.h"

namespace talmeru {

namespace {
QString Quoted(const char* verb, const std::string& name) {
    return name.empty() ? QString(verb)
                        : QString("%1 \"%2\"").arg(verb, QString::fromStdString(name));
}
}  // namespace

UndoPanel::UndoPanel(TalmeruApp& app, QWidget* parent)
    : QDockWidget("Undo History", parent), app_(app), list_(new QListWidget(this)) {
    setObjectName("UndoHistory");
    setWidget(list_);
    connect(list_, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { app_.UndoTo(list_->row(item)); });
    // The history reports in the middle of an edit; the list follows once the edit is over,
    // so that the step is closed whole.
    app_.Editing().History().SetObserver([this] {
        if (fillQueued_) return;
        fillQueued_ = true;
        QTimer::singleShot(0, this, [this] {
            fillQueued_ = false;
            Fill();
            UpdateActions();
        });
    });
    Fill();
}

void UndoPanel::AddActions(QMenu& edit) {
    undo_ = edit.addAction("Undo", QKeySequence::Undo, [this] { app_.Undo(); });
    redo_ = edit.addAction("Redo", [this] { app_.Redo(); });
    redo_->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    QAction* show = toggleViewAction();
    show->setText("Undo &History");
    edit.addAction(show);
    UpdateActions();
}

void UndoPanel::AddButtons(QToolBar& bar, QAction* before) {
    QStyle* look = style();
    undo_->setIcon(QIcon::fromTheme("edit-undo", look->standardIcon(QStyle::SP_ArrowBack)));
    redo_->setIcon(QIcon::fromTheme("edit-redo", look->standardIcon(QStyle::SP_ArrowForward)));
    bar.insertSeparator(before);
    bar.insertAction(before, undo_);
    bar.insertAction(before, redo_);
}

void UndoPanel::UpdateActions() {
    if (!undo_) return;
    const bool canUndo = app_.Editing().CanUndo(), canRedo = app_.Editing().CanRedo();
    undo_->setText(Quoted("Undo", canUndo ? app_.Editing().History().UndoName() : std::string()));
    undo_->setToolTip(undo_->text());
    undo_->setEnabled(canUndo);
    redo_->setText(Quoted("Redo", canRedo ? app_.Editing().History().RedoName() : std::string()));
    redo_->setToolTip(redo_->text());
    redo_->setEnabled(canRedo);
}

void UndoPanel::Fill() {
    UndoHistory& h = app_.Editing().History();
    const int count = h.Count();
    if (list_->count() != count + 1) {
        list_->clear();
        list_->addItem("(bank as opened)");
        for (int i = 0; i < count; ++i)
            list_->addItem(QString::fromStdString(h.StepName(i)));
    } else {
        for (int i = 0; i < count; ++i)
            list_->item(i + 1)->setText(QString::fromStdString(h.StepName(i)));
    }
    const int position = h.Position();
    for (int i = 0; i <= count; ++i) {
        // Steps that would be redone show greyed.
        list_->item(i)->setForeground(i <= position ? palette().text() : palette().mid());
    }
    list_->setCurrentRow(position);
}

}  // namespace talmeru
