#include "app/InsertMenu.h"

#include <QAction>
#include <QMenu>

#include "application/TalmeruApp.h"
#include "editors/insert/InsertDialogs.h"

namespace talmeru {

void AddInsertCommands(QMenu& edit, TalmeruApp& app, ShellWindow& window, QWidget* parent,
                       EditorOpeners openers) {
    // Each command gets fresh dialogs and looks the bank's objects up as it runs.
    auto run = [&app, &window, parent, openers](auto command) {
        return [&app, &window, parent, openers, command] {
            QtInsertAsker ask(parent, app.Settings(), openers);
            InsertCommands commands(app, ask);
            command(commands);
        };
    };
    // "Insert New" heads the menu; the others follow what is there.
    auto* insert = new QMenu("Insert &New", &edit);
    edit.insertMenu(edit.actions().value(0), insert);
    QAction* program = insert->addAction("Program", run([](InsertCommands& c) { c.NewProgram(); }));
    QAction* layer = insert->addAction("Layer", run([](InsertCommands& c) { c.NewLayer(); }));
    QAction* keymap = insert->addAction("Keymap", run([](InsertCommands& c) { c.NewKeymap(); }));
    QAction* sample = insert->addAction("Sample", run([](InsertCommands& c) { c.NewSample(); }));
    QAction* renumber =
        edit.addMenu("&Rename/Renumber")->addAction("Current program", run([](InsertCommands& c) {
                                                        c.RenumberCurrent();
                                                    }));
    edit.addAction("&Purge Unused ...", run([](InsertCommands& c) { c.Purge(); }));
    QObject::connect(&edit, &QMenu::aboutToShow, &edit,
                     [&app, &window, parent, program, layer, keymap, sample, renumber] {
                         QtInsertAsker ask(parent, app.Settings());
                         const InsertCommands c(app, ask);
                         program->setEnabled(c.CanInsertProgram());
                         layer->setEnabled(c.CanInsertLayer());
                         keymap->setEnabled(c.CanInsertKeymap());
                         sample->setEnabled(c.CanInsertSample());
                         renumber->setEnabled(c.CanRenumber());
                     });
}

}  // namespace talmeru
