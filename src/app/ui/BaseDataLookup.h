#pragma once
// The accounting product's base-data picker component: a modal list of customers, departments,
// employees or login users of the accounting set; returnValue is the chosen item's code (the user
// name for "SelLoginUser"), empty when nothing was chosen. It is the picker the export filter is given.

#include "common/Connection.h"
#include "common/ItemChooser.h"
#include <QString>

class QWidget;

class BaseDataLookup : public ItemChooser {
public:
    // acct: the accounting connection the lists are read from.
    explicit BaseDataLookup(ConnectionPtr acct = nullptr) : m_acct(std::move(acct)) {}

    // kind: "SelCust", "SelDepartment", "SelBaseEmployee" or "SelLoginUser". Throws DbError when the
    // list cannot be read or the kind is unknown.
    void showForm(const QString& kind, QWidget* parent = nullptr);
    QString returnValue() const { return m_returnValue; }

    QString choose(const QString& kind, QWidget* parent) override {
        showForm(kind, parent);
        return m_returnValue;
    }

private:
    ConnectionPtr m_acct;
    QString m_returnValue;
};
