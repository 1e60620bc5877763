#pragma once
// The mapping editor's tab of the products' 税收分类编码 (t_TaxCode): the product (its number's item
// carries the identifier) and the values the tax system takes for it, and the code table's version.

#include <QList>
#include <QWidget>

class ItemEntryDelegate;
class QLineEdit;
class QPushButton;
class QTableWidget;
class Session;
class ZeroRateDelegate;
struct TaxCodeRow;

class TaxCodeTab : public QWidget {
    Q_OBJECT
public:
    enum Column {
        TcNo = 0,
        TcNumber = 1,
        TcName = 2,
        TcCode = 3,
        TcShort = 4,
        TcOwn = 5,
        TcPref = 6,
        TcPrefText = 7,
        TcZero = 8,
        TcColumns = 9
    };

    TaxCodeTab(Session& session, QWidget* parent = nullptr);

    QTableWidget* kgTax;
    QLineEdit* txtTaxCodeVersion;
    QPushButton* cmdTaxPick;
    QPushButton* cmdTaxImport;

    // Empty grid with its headings.
    void initTaxGrid();
    // Shows the codes and the code table's version.
    void showCodes(const QList<TaxCodeRow>& rows, const QString& version);
    // The rows of the grid to save, blank rows left out; rowOf receives each one's grid row.
    QList<TaxCodeRow> readTaxRows(QList<int>* rowOf);
    // Ends an entry still open, keeping what was typed.
    void endTaxEntry();
    // A new empty row, current so that 选择商品 fills it.
    void addRow();
    void deleteRow();
    // Brings the code of the row into view and makes it current.
    void showCode(int row);
    // Lets the user pick the product of the current row (or of a new one).
    void pickTaxProduct();

Q_SIGNALS:
    // The user changed the codes or their version.
    void changed();
    // The user asked for the product picker (F7, a double-click on the product, 选择商品).
    void pickRequested();
    void importRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setTaxRow(int row, const TaxCodeRow& code);
    void setTaxEntryCells(int row);
    void sizeTaxColumns();

    Session& m_session;
    bool m_bFillingTax = false;
    ItemEntryDelegate* m_taxEntry;
    ZeroRateDelegate* m_zeroRate;
};
