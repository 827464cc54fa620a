#include "app/HelpBrowser.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "app/HelpSections.h"

// Outside the namespace, as the resource's registration function is.
static void LoadManualResource() {
    Q_INIT_RESOURCE(manual);
}

namespace talmeru {

HelpBrowser::HelpBrowser(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle("Talmeru Help");
    setObjectName("HelpBrowser");
    browser_ = new QTextBrowser(this);
    browser_->setOpenLinks(false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(browser_);
    LoadManualResource();
    QFile manual(kManualResource);
    if (manual.open(QIODevice::ReadOnly)) {
        browser_->setMarkdown(QString::fromUtf8(manual.readAll()));
    } else {
        browser_->setPlainText("The manual is missing from this build of Talmeru.");
    }
    // Links within the manual go to their section; others open in the desktop's browser.
    connect(browser_, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) {
        if (url.scheme().isEmpty() && url.path().isEmpty() && url.hasFragment()) {
            ShowSection(url.fragment().toStdString());
        } else {
            QDesktopServices::openUrl(url);
        }
    });
    // Within the screen it opens on, title bar and all, however small that screen is.
    QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    QSize size(760, 640);
    if (screen) {
        const QRect room = screen->availableGeometry();
        size = size.boundedTo(QSize(room.width() * 9 / 10, room.height() * 8 / 10));
        move(room.center() - QPoint(size.width() / 2, size.height() / 2));
    }
    resize(size);
}

bool HelpBrowser::ShowSection(const std::string& anchor) {
    QTextDocument* doc = browser_->document();
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
        if (block.blockFormat().headingLevel() == 0) continue;
        if (HelpAnchor(block.text().toStdString()) != anchor) continue;
        QTextCursor cursor(block);
        browser_->setTextCursor(cursor);
        const QRectF at = doc->documentLayout()->blockBoundingRect(block);
        browser_->verticalScrollBar()->setValue(int(at.top()));
        section_ = anchor;
        return true;
    }
    return false;
}

HelpBrowser* ShowHelpFor(QWidget* focus, QWidget* mainWindow) {
    std::vector<std::string> classes;
    for (const QObject* o = focus; o; o = o->parent())
        classes.push_back(o->metaObject()->className());
    QWidget* owner = QApplication::activeModalWidget();
    if (!owner) owner = mainWindow;
    auto* help =
        owner ? owner->findChild<HelpBrowser*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
    if (!help) {
        help = new HelpBrowser(owner);
        help->setAttribute(Qt::WA_DeleteOnClose);
    }
    help->show();
    help->raise();
    help->activateWindow();
    if (!help->ShowSection(HelpAnchorFor(classes))) help->ShowSection(kManualStart);
    return help;
}

}  // namespace talmeru
