#pragma once
// Picks a customer (fType 0) or a supplier of the accounting set.

#include "mapping/ui/PickerDialog.h"

class CustomerPicker : public PickerDialog {
    Q_OBJECT
public:
    explicit CustomerPicker(const Session& session, QWidget* parent = nullptr);

    int fType() const { return m_FType; }
    // Builds the query for the type and fills the list. Throws DbError.
    void setFType(int value);

    QString m_SelClient;
    QTableWidget* mfgClient;

protected:
    void setChosenName(const QString& name) override { m_SelClient = name; }

private:
    void buildSql();
    void loadList();
    int m_FType = 0;
    QString m_strSql;
};
