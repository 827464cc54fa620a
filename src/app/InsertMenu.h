#pragma once
// The Edit menu's entries for inserting, renaming and purging bank objects.
#include "editors/insert/InsertDialogs.h"

class QMenu;
class QWidget;

namespace talmeru {

class ShellWindow;
class TalmeruApp;

// Adds "Insert New", "Rename/Renumber" and "&Purge Unused ..." to the menu, with their enable
// rules checked as it opens. The dialogs open over `parent`; a new program or sample is
// shown in the editor `openers` give.
void AddInsertCommands(QMenu& edit, TalmeruApp& app, ShellWindow& window, QWidget* parent,
                       EditorOpeners openers = {});

}  // namespace talmeru
