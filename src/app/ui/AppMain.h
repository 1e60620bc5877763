#pragma once
// The start-up procedure: hand over to a running copy, log in, open the two connections, show the
// main window.

#include <QString>

class MainWindow;
class QIcon;
class QWidget;

struct StartOptions {
    QString programFolder; // empty: the folder of the executable (Taxlink.db lies there)
    QString instanceKey;   // empty: one key per user
};

// Returns the shown main window, or nullptr when the program is to end at once: a running copy was
// brought to the front, the login was refused, or an error was reported under the name "Main".
MainWindow* startApplication(const StartOptions& options = {});

// Asks a running copy to bring its main window to the front; true when one answered.
bool activateRunningInstance(const QString& key);
// From now on later starts that ask are answered by bringing window to the front.
void listenForLaterStarts(const QString& key, MainWindow* window);
QString defaultInstanceKey();

// Qt's own texts (the buttons of message boxes and file dialogs, the calendar) in Chinese, and Chinese
// month and day names in date pickers. Files and SQL keep the C locale: engines never read the default.
// False when Qt's Chinese translation is not installed (qt6-translations-l10n).
bool loadChineseTranslations();

// The program's own icon (an invoice with a red stamp and an arrow), for every window.
QIcon programIcon();
