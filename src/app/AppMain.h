#pragma once
// The start-up procedure: hand over to a running copy, log in, open the two connections, show the
// main window.

#include <QString>

class frmMain;
class QWidget;

struct StartOptions {
    QString programFolder; // empty: the folder of the executable (Taxlink.db lies there)
    QString instanceKey;   // empty: one key per user
};

// Returns the shown main window, or nullptr when the program is to end at once: a running copy was
// brought to the front, the login was refused, or an error was reported under the name "Main".
frmMain* Main(const StartOptions& options = {});

// Asks a running copy to bring its main window to the front; true when one answered.
bool ActivateRunningInstance(const QString& key);
// From now on later starts that ask are answered by bringing window to the front.
void ListenForLaterStarts(const QString& key, frmMain* window);
QString DefaultInstanceKey();
