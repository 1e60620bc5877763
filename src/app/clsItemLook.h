#pragma once
// The accounting product's base-data picker component: a modal list of customers, departments,
// employees or login users of the accounting set; ReturnValue is the chosen item's code (the user
// name for "SelLoginUser"), empty when nothing was chosen.

#include "common/Connection.h"
#include <QString>
#include <functional>

class QWidget;

class clsItemLook {
public:
    // kind: "SelCust", "SelDepartment", "SelBaseEmployee" or "SelLoginUser". Throws DbError when the
    // list cannot be read or the kind is unknown.
    void ShowForm(const QString& kind, ConnectionPtr& configConn, ConnectionPtr& acctConn,
                  QWidget* parent = nullptr);
    QString ReturnValue() const { return m_returnValue; }

    // Tests answer the picker without a window: the function gets the kind and returns the choice.
    static void SetChooserForTesting(std::function<QString(const QString& kind)> chooser);

private:
    QString m_returnValue;
};
