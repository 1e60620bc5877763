#pragma once
// Picks a product of the accounting set.

#include "mapping/ui/PickerDialog.h"

class ProductPicker : public PickerDialog {
    Q_OBJECT
public:
    // Loading the window fills its list. Throws DbError.
    explicit ProductPicker(const Session& session, QWidget* parent = nullptr);

    QString m_SelItem;
    QTableWidget* mfgItem;

protected:
    void setChosenName(const QString& name) override { m_SelItem = name; }

private:
    RecordsetPtr m_rs; // the rows shown, kept until the window goes
};
