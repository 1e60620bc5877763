#pragma once
// The base-data mapping editor: one grid of name pairs (accounting name with its hidden identifier,
// tax-system name) per kind, loaded from and saved to t_ItemMap, and the products' 税收分类编码
// (t_TaxCode) on a tab of their own (mapping/ui/NameMappingTab.h, mapping/ui/TaxCodeTab.h).

#include "common/Connection.h"
#include <QDialog>
#include <QList>

class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTabWidget;
class QTableWidget;
class NameMappingTab;
class TaxCodeTab;

class Session;

class MappingEditor : public QDialog {
    Q_OBJECT
public:
    explicit MappingEditor(Session& session, QWidget* parent = nullptr);

    // The mapping set to load and save; set before Init.
    int linkId = 0;

    // Window load: empty grids, the pairs of linkId, nothing changed. Throws DbError.
    void init();
    // Loads all five grids from t_ItemMap. Throws DbError.
    void getItemList();
    // Fills grid kgIndex from rows of t_ItemMap; an empty recordset leaves the grid as it is.
    void fillGrid(Recordset& rs, int kgIndex);
    // Loads the tax-code grid and the code table's version. Throws DbError.
    void getTaxCodeList();

    QTabWidget* tabMap;
    QList<QTableWidget*> kg;
    QLabel* label1;
    QPushButton* cmdNew;
    QPushButton* cmdDelete;
    QPushButton* cmdSave;
    QPushButton* cmdClose;
    QMenu* popRow; // tools newrow and delrow
    // The 税收分类编码 tab (after the five kinds).
    QTableWidget* kgTax;
    QLineEdit* txtTaxCodeVersion;
    QPushButton* cmdTaxPick;
    QPushButton* cmdTaxImport;

protected:
    // Every way of closing comes here (cmdClose, the title bar, Esc).
    void reject() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void initGrid();
    bool saveItemList();
    void cmdNew_Click();
    void cmdDelete_Click();
    void cmdSave_Click();
    void kgDblClick(int index, int column);
    void kgKeyDown(int index, int keyCode, int shift);
    void kgAfterEdit(int index);
    void endEntry(int index);

    bool onTaxTab() const;
    void pickTaxProduct();
    void cmdTaxImport_Click();
    void taxChanged();

    Session& m_session;
    bool m_bChanged = false;
    bool m_bTaxChanged = false; // the tax codes or their version: saved only then
    QList<NameMappingTab*> m_nameTabs;
    TaxCodeTab* m_taxTab;
};
