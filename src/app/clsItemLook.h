#pragma once
// The accounting product's base-data picker component: a modal list of customers, departments,
// employees or login users of the accounting set; ReturnValue is the chosen item's code (the user
// name for "SelLoginUser"), empty when nothing was chosen. It is the picker the export filter is given.

#include "common/Connection.h"
#include "common/ItemChooser.h"
#include <QString>

class QWidget;

class clsItemLook : public ItemChooser {
public:
    // acct: the accounting connection the lists are read from.
    explicit clsItemLook(ConnectionPtr acct = nullptr) : m_acct(std::move(acct)) {}

    // kind: "SelCust", "SelDepartment", "SelBaseEmployee" or "SelLoginUser". Throws DbError when the
    // list cannot be read or the kind is unknown.
    void ShowForm(const QString& kind, QWidget* parent = nullptr);
    QString ReturnValue() const { return m_returnValue; }

    QString Choose(const QString& kind, QWidget* parent) override {
        ShowForm(kind, parent);
        return m_returnValue;
    }

private:
    ConnectionPtr m_acct;
    QString m_returnValue;
};
