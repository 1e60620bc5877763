#pragma once
// What the three picker windows share: a read-only list bound to a query result, Enter or a
// double-click choosing the current record, btnExit closing without a choice.

#include "mapping/PickerQuery.h"
#include <QDialog>

class QPushButton;
class QTableWidget;

class Session;

class PickerDialog : public QDialog {
    Q_OBJECT
public:
    bool isAddMidTable = false;
    int SMFID = -1;
    bool m_bOK = false;

protected:
    PickerDialog(const Session& session, const QString& listName, QWidget* parent);
    const Session& m_session;
    // Shows the rows of rs in the list with the layout's titles and widths; row 1 becomes current when
    // there is one.
    void bindList(const Recordset& rs, const PickerLayout& layout);
    // Receives the chosen record's name (only when isAddMidTable is set).
    virtual void setChosenName(const QString& name) = 0;
    bool eventFilter(QObject* watched, QEvent* event) override;

    QTableWidget* m_list;
    QPushButton* btnExit;
    bool m_bHasRows = false;

private:
    void chooseRecord();
    void sizeColumns();
    QString cellText(int row, int column) const;
    PickerLayout m_layout;
};
