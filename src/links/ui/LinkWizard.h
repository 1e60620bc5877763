#pragma once
// "关联关系": the two-step wizard in which a link is created (Status 0) or changed (Status 1).
// Step 1 holds the link's properties, step 2 the head and body field grids.

#include <QDialog>
#include <QList>

class FieldGrid;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QSpinBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class FieldMap;
class Session;

class LinkWizard : public QDialog {
    Q_OBJECT
public:
    explicit LinkWizard(const Session& session, QWidget* parent = nullptr);

    QString key;     // FID of the link being changed, as text ("" for a new one)
    int status = 0;  // 1 change the link named by Key, 0 new link
    int inOrOut = 0; // written into t_BaseInfo.FInOrOut

    // Called once after the properties are set; errors reach the caller.
    void init();
    int step() const { return m_intStep; }

    QList<QGroupBox*> fraStep;
    QLineEdit* txtLinkName;
    QComboBox* cboType;
    QLineEdit* txtCompartChar;
    QSpinBox* spnMaxLines;
    QDoubleSpinBox* spnMaxAmount;
    QCheckBox* chkUseList;
    QCheckBox* chkMergeBuyer; // 合并同一购方的发票
    QCheckBox* chkMergeLines; // 合并相同商品行
    QComboBox* cboFormat;     // 文本文件 / XML文件 / 电子发票平台模板 (FFormat txt, xml, xlsx)
    QCheckBox* chkPrefixShortName; // 货物名称写成*简称*名称
    QCheckBox* chkDocNoInRemark;   // 备注中写入单据号
    QPushButton* cmdReadTemplate;  // 读取平台模板
    QLabel* lblTemplate;           // the template installed
    QString m_listFormat;          // the fields the grids list: "txt" (also for XML) or "xlsx"
    QPlainTextEdit* txtNote;
    QTabWidget* STAB;
    FieldGrid* fpHead;
    FieldGrid* fpBody;
    QPushButton* cmdInsert;
    QPushButton* cmdDelete;
    QPushButton* cmdStartFields; // 从出厂关联复制字段 / 按列标题对应已知字段, by the format
    QPushButton* cmdPrevious;
    QPushButton* cmdNext;
    QPushButton* cmdFinish;
    QPushButton* cmdCancel;

private:
    bool loadBaseData();
    void showStep();
    bool checkFirstStepData();
    FieldMap getBaseData() const;
    // A text link must not leave out a field before one it keeps: asks to fill the gaps with empty fields.
    // False when the user goes back to editing.
    bool checkLayoutGaps();
    FieldGrid* currentGrid() const;
    void gridButtonClicked(FieldGrid* grid, int col, int row);

    void cmdNext_Click();
    // Reads the e-invoice platform's template workbook the user chooses into Taxlink.db.
    void cmdReadTemplate_Click();
    // Fills the field lists of both grids for the chosen format.
    void fillLists();
    // The grids' first heading, for the format chosen.
    void showFieldTitles();
    void cmdPrevious_Click();
    void cmdFinish_Click();
    void cmdInsert_Click();
    void cmdDelete_Click();
    // Puts the mappings a new link starts from into both grids: the factory link's for a text or XML
    // link, the headings the program knows for a workbook link. Asks before replacing mappings.
    void cmdStartFields_Click();
    // What the grids start from, for the format chosen.
    void startGrids();
    bool gridsMapped() const;

    const Session& m_session;
    int m_intStep = 0;
    bool m_gridsStarted = false; // the grids of this format were given their start (or a stored link)
    int m_intNoteMax = 100;      // grows to a longer stored description
};
