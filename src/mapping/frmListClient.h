#pragma once
// Picks a customer (FType 0) or a supplier of the accounting set.

#include "PickerDialogUi.h"

class frmListClient : public PickerDialog {
    Q_OBJECT
public:
    explicit frmListClient(const Session& session, QWidget* parent = nullptr);

    int FType() const { return m_FType; }
    // Builds the query for the type and fills the list. Throws DbError.
    void setFType(int value);

    QString m_SelClient;
    QTableWidget* mfgClient;

protected:
    void SetChosenName(const QString& name) override { m_SelClient = name; }

private:
    void BuildSql();
    void LoadList();
    int m_FType = 0;
    QString m_strSql;
};
