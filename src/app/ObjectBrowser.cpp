#include "app/ObjectBrowser.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcut>
#include <QStyle>
#include <QToolTip>
#include <QVBoxLayout>

#include "app/MainFrame.h"
#include "application/TalmeruApp.h"
#include "editors/insert/InsertDialogs.h"
#include "widgets/WindowPlacement.h"

namespace talmeru {

namespace {

constexpr int kTypeRole = Qt::UserRole;
constexpr int kNumberRole = Qt::UserRole + 1;

// A 16x16 image on white: a coloured tile with the kind's letter.
QIcon Tile(QChar letter, QColor colour) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::white);
    QPainter painter(&pixmap);
    painter.setPen(colour.darker(150));
    painter.setBrush(colour);
    painter.drawRoundedRect(QRectF(1.5, 1.5, 13, 13), 3, 3);
    QFont font = painter.font();
    font.setPixelSize(11);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRect(0, 0, 16, 16), Qt::AlignCenter, QString(letter));
    return QIcon(pixmap);
}

class MainFrameEditors : public BrowserEditors {
  public:
    explicit MainFrameEditors(CMainFrame& main) : main_(main) {}
    void OpenLayerEditor() override { main_.OpenLayerEditor(); }
    void OpenKeymapEditor(int number) override { main_.OpenKeymapEditor(number); }
    void OpenSampleEditor(int number) override { main_.OpenSampleEditor(number); }

  private:
    CMainFrame& main_;
};

}  // namespace

BrowserObject::BrowserObject(TalmeruApp& app, BrowserEditors& editors, QWidget* parent)
    : QTreeWidget(parent), app_(app), ask_(std::make_unique<QtInsertAsker>(this, app.Settings())) {
    commands_ = std::make_unique<BrowserCommands>(app_, *ask_, editors);
    // In the order of BrowserImage.
    images_ = {Tile('K', QColor(0x2E, 0x7D, 0x32)), Tile('S', QColor(0xC6, 0x28, 0x28)),
               Tile('P', QColor(0x15, 0x65, 0xC0)), Tile('L', QColor(0x6A, 0x1B, 0x9A)),
               Tile('M', QColor(0xEF, 0x6C, 0x00))};
    setHeaderHidden(true);
    setRootIsDecorated(true);
    setUniformRowHeights(true);
    setIconSize(QSize(16, 16));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setExpandsOnDoubleClick(false);
    connect(this, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current) {
                selected_ = RefOf(current);
                commands_->Select(selected_);
            });
    connect(this, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
        const ObjectRef ref = RefOf(item);
        if (ref.IsObject())
            commands_->Activate(ref);
        else
            item->setExpanded(!item->isExpanded());
    });
    Rebuild();
}

BrowserObject::~BrowserObject() = default;

ObjectRef BrowserObject::RefOf(const QTreeWidgetItem* item) {
    if (!item) return {};
    return {item->data(0, kTypeRole).toInt(), item->data(0, kNumberRole).toInt()};
}

void BrowserObject::Refresh(RefreshHint hint) {
    if (hint & (kHintPrograms | kHintSamples | kHintKeymaps)) Rebuild();
}

void BrowserObject::Rebuild() {
    ++generation_;
    setUpdatesEnabled(false);
    {
        // Clearing moves the current item; the selection is reset below in any case.
        const QSignalBlocker quiet(this);
        clear();
    }
    selected_ = {};
    AddNodes(nullptr, FilterBrowserTree(BuildBrowserTree(app_.Bank(), app_.Numbering()),
                                        filter_.toStdString()));
    // What a search found is shown at once.
    if (!filter_.isEmpty())
        for (int i = 0; i < topLevelItemCount(); ++i)
            topLevelItem(i)->setExpanded(true);
    setUpdatesEnabled(true);
}

void BrowserObject::SetFilter(const QString& text) {
    if (text == filter_) return;
    filter_ = text;
    Rebuild();
}

QString BrowserObject::UsedByTip(const QTreeWidgetItem* item) const {
    const ObjectRef ref = RefOf(item);
    if (ref.type != kTypeKeymap && ref.type != kTypeSampleHeader) return {};
    const std::vector<std::string> users = UsedBy(app_.Bank(), ref, app_.Numbering());
    if (users.empty()) return "Used by nothing";
    QString tip = "Used by:";
    for (const std::string& line : users)
        tip += "\n" + QString::fromStdString(line);
    return tip;
}

bool BrowserObject::viewportEvent(QEvent* event) {
    // Found when asked rather than for every item at every rebuild: a scan of the bank each.
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const QString tip = UsedByTip(itemAt(help->pos()));
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), tip, viewport());
        return true;
    }
    return QTreeWidget::viewportEvent(event);
}

void BrowserObject::AddNodes(QTreeWidgetItem* parent, const std::vector<BrowserNode>& nodes) {
    for (const BrowserNode& node : nodes) {
        auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(this);
        item->setText(0, QString::fromStdString(node.text));
        if (node.image >= 0 && size_t(node.image) < images_.size())
            item->setIcon(0, images_[size_t(node.image)]);
        if (node.object.IsObject()) {
            item->setData(0, kTypeRole, node.object.type);
            item->setData(0, kNumberRole, node.object.number);
        }
        AddNodes(item, node.children);
    }
}

QMenu* BrowserObject::MakeContextMenu(ObjectRef target, QWidget* parent) {
    auto* menu = new QMenu(parent);
    BrowserCommands& c = *commands_;
    menu->addAction("&Rename", [&c, target] { c.Rename(target); })->setEnabled(c.CanChange(target));
    menu->addAction("&Delete", [&c, target] { c.Delete(target); })->setEnabled(c.CanChange(target));
    menu->addAction("D&uplicate", [&c, target] { c.Duplicate(target); })
        ->setEnabled(c.CanChange(target));
    menu->addSeparator();
    menu->addAction("&Edit", [&c, target] { c.OpenEditor(target); })
        ->setEnabled(c.CanOpenEditor(target));
    return menu;
}

void BrowserObject::ShowContextMenu(ObjectRef target, QPoint global) {
    std::unique_ptr<QMenu> menu(MakeContextMenu(target, this));
    menu->exec(global);
}

void BrowserObject::Highlight(QTreeWidgetItem* item, bool on) {
    if (!item) return;
    if (on) {
        item->setBackground(0, palette().brush(QPalette::Inactive, QPalette::Highlight));
        item->setForeground(0, palette().brush(QPalette::Inactive, QPalette::HighlightedText));
    } else {
        item->setData(0, Qt::BackgroundRole, QVariant());
        item->setData(0, Qt::ForegroundRole, QVariant());
    }
}

void BrowserObject::mousePressEvent(QMouseEvent* event) {
    // A right press marks the item under the mouse for the context menu that follows and
    // leaves the selection as it was.
    if (event->button() == Qt::RightButton) {
        event->accept();
        return;
    }
    QTreeWidget::mousePressEvent(event);
}

void BrowserObject::contextMenuEvent(QContextMenuEvent* event) {
    if (event->reason() != QContextMenuEvent::Mouse) {
        // From the keyboard: at the selected item, else just inside the window's corner.
        QTreeWidgetItem* current = currentItem();
        const QPoint at = current ? visualItemRect(current).bottomLeft() : QPoint(5, 5);
        ShowContextMenu(selected_, viewport()->mapToGlobal(at));
        return;
    }
    QTreeWidgetItem* item = itemAt(event->pos());
    const int generation = generation_;
    Highlight(item, true);
    ShowContextMenu(RefOf(item), event->globalPos());
    // A command that rebuilt the tree took the item with it.
    if (generation == generation_) Highlight(item, false);
}

void BrowserObject::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier) {
        QContextMenuEvent request(QContextMenuEvent::Keyboard, QPoint(), QCursor::pos());
        contextMenuEvent(&request);
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

CObjectBrowserFrame::CObjectBrowserFrame(TalmeruApp& app, CMainFrame& main, QWidget* parent)
    : QDockWidget(parent), app_(app), editors_(std::make_unique<MainFrameEditors>(main)) {
    // The search box above the tree filters it as the user types.
    auto* holder = new QWidget(this);
    auto* layout = new QVBoxLayout(holder);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    search_ = new QLineEdit(holder);
    search_->setPlaceholderText("Search programs, keymaps and samples");
    search_->setClearButtonEnabled(true);
    browser_ = new BrowserObject(app_, *editors_, holder);
    connect(search_, &QLineEdit::textChanged, browser_, &BrowserObject::SetFilter);
    // Find, anywhere in the main window while the browser is open, goes to its search box.
    auto* find = new QShortcut(QKeySequence::Find, this, [this] {
        search_->setFocus();
        search_->selectAll();
    });
    find->setContext(Qt::WindowShortcut);
    search_->setToolTip("Shows the objects whose name or number holds the text (Ctrl+F)");
    layout->addWidget(search_);
    layout->addWidget(browser_, 1);
    setObjectName(kName);
    setWidget(holder);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle("Object Browser");
    setWindowIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    setAllowedAreas(Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);
    // Wide enough for "Programs" items with their numbers and names.
    browser_->setMinimumWidth(fontMetrics().horizontalAdvance(QString(26, 'M')) / 2);
    resize(320, 480);
}

CObjectBrowserFrame::~CObjectBrowserFrame() = default;

void CObjectBrowserFrame::SavePlacement() {
    talmeru::SavePlacement(*this, app_.Settings(), kName);
}

void CObjectBrowserFrame::closeEvent(QCloseEvent* event) {
    SavePlacement();
    QDockWidget::closeEvent(event);
}

}  // namespace talmeru
