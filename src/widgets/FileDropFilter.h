#pragma once
// Takes drags of local files onto a widget: the drag is accepted where PlanDrop finds
// something to do, and the plan runs once the drop is over (not inside the drop, so that
// the dragging program is not kept waiting by questions and progress windows).
#include <QObject>
#include <QPoint>
#include <functional>

#include "widgets/FileDrops.h"

class QMimeData;
class QWidget;

namespace talmeru {

class FileDropFilter : public QObject {
    Q_OBJECT
  public:
    // Whether files may land at a point of the widget (a key matrix: on a range).
    using Where = std::function<bool(QPoint)>;
    using Run = std::function<void(const DropPlan&, QPoint)>;
    // Without where, files land anywhere in the widget.
    FileDropFilter(QWidget* widget, DropTarget target, Run run, Where where = {});

    static std::vector<std::string> LocalFiles(const QMimeData* data);
    // The plan for these files at that point of the widget.
    DropPlan Plan(const QMimeData* data, QPoint at) const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    DropTarget target_;
    Where where_;
    Run run_;
};

}  // namespace talmeru
