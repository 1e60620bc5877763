#pragma once
// "编辑公式": the user writes a formula over the accounting fields of one side, tests it against the
// accounting set and accepts it. The caller reads Ok and the three forms after the window closed.

#include <QDialog>
#include <QList>

class QListWidget;
class QListWidgetItem;
class QPlainTextEdit;
class QPushButton;
class Session;

class ExpressionDialog : public QDialog {
    Q_OBJECT
public:
    explicit ExpressionDialog(const Session& session, QWidget* parent = nullptr);

    int dataType = 0;   // type code of the tax field; 3 accepts numeric fields only
    bool isHead = true; // offer head fields (else body fields)

    bool ok() const { return m_bOK; }
    QString returnFieldDesc() const { return m_ReturnFieldDesc; }
    QString returnFieldName() const { return m_ReturnFieldName; }
    QString returnFieldId() const { return m_ReturnFieldID; }

    void loadData();
    bool verifyExpression();

    QListWidget* lstFields;
    QPlainTextEdit* txtExp;
    QList<QPushButton*> cmdOperator;
    QPushButton* cmdClear;
    QPushButton* cmdVerity;
    QPushButton* cmdSyntax;
    QPushButton* btnOK;
    QPushButton* btnCancel;

private:
    void lstFields_DblClick(QListWidgetItem* item);
    void cmdOperator_Click(int index);
    void cmdVerityClick();
    void btnOK_Click();
    void btnCancel_Click();
    void insertAtCaret(const QString& text, int caretBack = 0);

    const Session& m_session;
    bool m_bOK = false;
    QString m_ReturnFieldDesc;
    QString m_ReturnFieldName;
    QString m_ReturnFieldID;
};
