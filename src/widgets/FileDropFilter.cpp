#include "widgets/FileDropFilter.h"

#include <QDropEvent>
#include <QMimeData>
#include <QTimer>
#include <QUrl>
#include <QWidget>

namespace talmeru {

FileDropFilter::FileDropFilter(QWidget* widget, DropTarget target, Run run, Where where)
    : QObject(widget), target_(target), where_(std::move(where)), run_(std::move(run)) {
    widget->setAcceptDrops(true);
    widget->installEventFilter(this);
}

std::vector<std::string> FileDropFilter::LocalFiles(const QMimeData* data) {
    std::vector<std::string> files;
    if (!data || !data->hasUrls()) return files;
    for (const QUrl& url : data->urls()) {
        // A remote file is not a file we can read; the whole drop is refused then.
        if (!url.isLocalFile()) return {};
        files.push_back(url.toLocalFile().toStdString());
    }
    return files;
}

DropPlan FileDropFilter::Plan(const QMimeData* data, QPoint at) const {
    if (where_ && !where_(at)) return {};
    return PlanDrop(target_, LocalFiles(data));
}

bool FileDropFilter::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::DragEnter: {
            // Files that this widget never takes are left to the windows around it; where
            // the others may land, the moves that follow say.
            auto* drag = static_cast<QDragEnterEvent*>(event);
            if (PlanDrop(target_, LocalFiles(drag->mimeData())).action == DropAction::kNone) {
                drag->ignore();
                return false;
            }
            drag->acceptProposedAction();
            return true;
        }
        case QEvent::DragMove: {
            auto* drag = static_cast<QDragMoveEvent*>(event);
            if (Plan(drag->mimeData(), drag->position().toPoint()).action == DropAction::kNone) {
                drag->ignore();
                return true;
            }
            drag->acceptProposedAction();
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            const QPoint at = drop->position().toPoint();
            const DropPlan plan = Plan(drop->mimeData(), at);
            if (plan.action == DropAction::kNone) {
                drop->ignore();
                return false;
            }
            drop->acceptProposedAction();
            QTimer::singleShot(0, this, [this, plan, at] { run_(plan, at); });
            return true;
        }
        default:
            return QObject::eventFilter(watched, event);
    }
}

}  // namespace talmeru
