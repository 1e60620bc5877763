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

class ExportFilterDialog : public QDialog {
    Q_OBJECT

public:
    explicit ExportFilterDialog(const Session& session, QWidget* parent = nullptr);

    // Loads the saved entries into the controls. Always false, as callers have always been told.
    bool init();
    bool ok() const { return m_bOK; }
    void setOk(bool value) { m_bOK = value; }
    QString returnCondition() const { return m_condition; }

    QTabWidget* ssTab1;
    QGroupBox* frame1;
    QGroupBox* fraItem;
    QLabel* label1;
    QDateEdit* dtFrom;
    QLabel* label2;
    QDateEdit* dtTo;
    QList<QLabel*> lblcap;
    QList<QLineEdit*> txtItemFrom;
    QList<QLabel*> lblcapt;
    QList<QLineEdit*> txtItemTo;
    QList<QToolButton*> cmdItemfrom;
    QList<QToolButton*> cmdItemto;
    QLabel* label6;
    QLineEdit* txtItemClass;
    QToolButton* cmdItemClass;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;

    void cmdOK_Click();
    void cmdCancel_Click();
    void cmdItemfrom_Click(int index);
    void cmdItemto_Click(int index);

private:
    void loadCondition();
    QString saveCondition();
    bool getItemData(const QString& kind, QString& result);
    static QString pickerKind(int index);

    const Session& m_session;
    bool m_bOK = false;
    QString m_condition;
};
