#pragma once
// Picks a unit of measure (type 2), a user (3) or a product model (4) of the accounting set.

#include "mapping/ui/PickerDialog.h"

class OtherNamePicker : public PickerDialog {
    Q_OBJECT
public:
    explicit OtherNamePicker(const Session& session, QWidget* parent = nullptr);

    // Stores the type, builds its query and fills the list. Throws DbError, also for a type without a list.
    void setTabType(int intValue);

    QString m_SelOther;
    int m_intType = 0;
    QTableWidget* mfgItem;

protected:
    void setChosenName(const QString& name) override { m_SelOther = name; }
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
};
