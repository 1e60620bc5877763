#pragma once
// "过滤条件": which sales invoices an export takes. Remembers the last entries per user and hands the
// export one condition text of fourteen values (dates as yyyy-mm-dd).

#include <QDialog>
#include <QList>

class QDateEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QToolButton;
class Session;

class frmFilter : public QDialog {
    Q_OBJECT

public:
    explicit frmFilter(const Session& session, QWidget* parent = nullptr);

    // Loads the saved entries into the controls. Always false, as callers have always been told.
    bool Init();
    bool Ok() const { return m_bOK; }
    void setOk(bool value) { m_bOK = value; }
    QString ReturnCondition() const { return m_condition; }

    QTabWidget* SSTab1;
    QGroupBox* Frame1;
    QGroupBox* fraItem;
    QLabel* Label1;
    QDateEdit* dtFrom;
    QLabel* Label2;
    QDateEdit* dtTo;
    QList<QLabel*> lblcap;
    QList<QLineEdit*> txtItemFrom;
    QList<QLabel*> lblcapt;
    QList<QLineEdit*> txtItemTo;
    QList<QToolButton*> cmdItemfrom;
    QList<QToolButton*> cmdItemto;
    QLabel* Label6;
    QLineEdit* txtItemClass;
    QToolButton* cmdItemClass;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;

    void cmdOK_Click();
    void cmdCancel_Click();
    void cmdItemfrom_Click(int Index);
    void cmdItemto_Click(int Index);

private:
    void LoadCondition();
    QString SaveCondition();
    bool GetItemData(const QString& Kind, QString& Result);
    static QString PickerKind(int Index);

    const Session& m_session;
    bool m_bOK = false;
    QString m_condition;
};
