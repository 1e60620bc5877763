#pragma once
// F1 in any window of the program opens the help on that window's page.

#include <QString>

class QWidget;

// The help page of a window (as HelpWindow::showPage takes it), found by the object name of the window or,
// for a window without a page of its own (a message box, a file dialog), of the window it belongs to;
// "index", the contents, when none has one.
QString helpPageFor(const QWidget* window);

// Makes F1 open the help in every window of the application; a second call changes nothing. A window
// whose own shortcut is F1 (the main window's 帮助主题) keeps it: the key never reaches the help key then.
void installHelpKey();
