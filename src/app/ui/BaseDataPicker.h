#pragma once
// The base-data picker of the accounting product: a list of customers, departments, employees or
// login users with a search box; the chosen row's code (user name for users) is the result.

#include "common/Connection.h"
#include <QDialog>

class QLineEdit;
class QPushButton;
class QTreeWidget;

class BaseDataPicker : public QDialog {
    Q_OBJECT
public:
    explicit BaseDataPicker(QWidget* parent = nullptr);
    // Reads the list of the kind from the accounting connection. Throws DbError for an unknown kind
    // or when the list cannot be read.
    void init(const QString& kind, Connection& acct);
    QString returnValue() const { return m_returnValue; }

    QLineEdit* txtFind;
    QTreeWidget* lsvItems;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;

private:
    void cmdOK_Click();
    void txtFind_Change();
    QString m_returnValue;
};
