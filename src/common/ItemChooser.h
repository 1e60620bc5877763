#pragma once
// The accounting product's base-data picker as the windows that need one see it: a modal list of
// customers ("SelCust"), departments ("SelDepartment"), employees ("SelBaseEmployee") or login users
// ("SelLoginUser") of the accounting set. The program's own (the app's BaseDataLookup) is handed over in the
// session; tests hand over their own. Throws DbError when the list cannot be read or the kind is unknown.

#include <QString>

class QWidget;

class ItemChooser {
public:
    virtual ~ItemChooser() = default;
    // The chosen item's code (the user's name for "SelLoginUser"); empty when nothing was chosen.
    virtual QString choose(const QString& kind, QWidget* parent) = 0;
};
