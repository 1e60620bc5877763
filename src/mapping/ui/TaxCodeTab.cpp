#include "mapping/ui/TaxCodeTab.h"

#include "common/modFunction.h"
#include "mapping/ItemMapStore.h"
#include "mapping/TaxCodeStore.h"
#include "mapping/frmListItem.h"
#include "mapping/ui/MappingGrid.h"
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

using namespace MappingGrid;

TaxCodeTab::TaxCodeTab(Session& session, QWidget* parent) : QWidget(parent), m_session(session) {
    KgTax = new QTableWidget;
    KgTax->setObjectName(QStringLiteral("KgTax"));
    KgTax->verticalHeader()->setVisible(false);
    KgTax->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 10);
    KgTax->horizontalHeader()->setHighlightSections(false);
    KgTax->horizontalHeader()->setStretchLastSection(true);
    KgTax->setSelectionMode(QAbstractItemView::SingleSelection);
    KgTax->setAlternatingRowColors(true);
    KgTax->setWordWrap(false);
    // Double-click on the product picks it (cellDoubleClicked); on a value it opens the entry.
    KgTax->setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::EditKeyPressed |
                           QAbstractItemView::SelectedClicked | QAbstractItemView::DoubleClicked);
    m_taxEntry = new ItemEntryDelegate(KgTax, [this] { Q_EMIT changed(); });
    KgTax->setItemDelegate(m_taxEntry);
    m_zeroRate = new ZeroRateDelegate(KgTax, [this] { Q_EMIT changed(); });
    KgTax->setItemDelegateForColumn(TcZero, m_zeroRate);
    KgTax->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(KgTax, &QTableWidget::cellDoubleClicked, this, [this](int, int column) {
        if (column == TcNumber || column == TcName) Q_EMIT pickRequested();
    });
    connect(KgTax, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (!m_bFillingTax && item->column() == TcPref) Q_EMIT changed();
    });
    KgTax->installEventFilter(this);

    auto* taxBox = new QVBoxLayout(this);
    auto* taxTools = new QHBoxLayout;
    auto* versionLabel = new QLabel(QStringLiteral("编码版本号："), this);
    txtTaxCodeVersion = new QLineEdit(this);
    txtTaxCodeVersion->setObjectName(QStringLiteral("txtTaxCodeVersion"));
    txtTaxCodeVersion->setMaxLength(20);
    txtTaxCodeVersion->setFixedWidth(fontMetrics().horizontalAdvance(QStringLiteral("0000.00")) + 16);
    versionLabel->setBuddy(txtTaxCodeVersion);
    connect(txtTaxCodeVersion, &QLineEdit::textEdited, this, [this] { Q_EMIT changed(); });
    cmdTaxPick = new QPushButton(QStringLiteral("选择商品(&P)"), this);
    cmdTaxPick->setObjectName(QStringLiteral("cmdTaxPick"));
    cmdTaxPick->setAutoDefault(false);
    cmdTaxImport = new QPushButton(QStringLiteral("引入CSV(&I)"), this);
    cmdTaxImport->setObjectName(QStringLiteral("cmdTaxImport"));
    cmdTaxImport->setAutoDefault(false);
    connect(cmdTaxPick, &QPushButton::clicked, this, [this] { Q_EMIT pickRequested(); });
    connect(cmdTaxImport, &QPushButton::clicked, this, [this] { Q_EMIT importRequested(); });
    taxTools->addWidget(versionLabel);
    taxTools->addWidget(txtTaxCodeVersion);
    taxTools->addStretch();
    taxTools->addWidget(cmdTaxPick);
    taxTools->addWidget(cmdTaxImport);
    taxBox->addLayout(taxTools);
    taxBox->addWidget(KgTax);
}

bool TaxCodeTab::eventFilter(QObject* watched, QEvent* event) {
    if (watched == KgTax && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_F7) {
        if (KgTax->currentRow() >= 0 &&
            (KgTax->currentColumn() == TcNumber || KgTax->currentColumn() == TcName))
            Q_EMIT pickRequested();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TaxCodeTab::showCodes(const QList<TaxCodeRow>& rows, const QString& version) {
    InitTaxGrid();
    KgTax->setRowCount(int(rows.size()));
    for (int r = 0; r < rows.size(); ++r)
        SetTaxRow(r, rows[r]);
    SizeTaxColumns();
    txtTaxCodeVersion->setText(version);
}

void TaxCodeTab::addRow() {
    EndTaxEntry();
    const int row = KgTax->rowCount();
    KgTax->insertRow(row);
    SetTaxRow(row, TaxCodeRow{});
    // The new row is current, so that 选择商品 fills it.
    KgTax->setCurrentCell(row, TcNumber);
    KgTax->setFocus();
    Q_EMIT changed();
}

void TaxCodeTab::deleteRow() {
    EndTaxEntry();
    Q_EMIT changed();
    if (KgTax->rowCount() == 0) return;
    int row = KgTax->currentRow();
    if (row < 0) row = KgTax->rowCount() - 1;
    KgTax->removeRow(row);
    m_bFillingTax = true;
    for (int r = row; r < KgTax->rowCount(); ++r)
        Cell(KgTax, r, TcNo)->setText(QString::number(r + 1));
    m_bFillingTax = false;
}

void TaxCodeTab::showCode(int row) {
    KgTax->setCurrentCell(row, TcCode);
    KgTax->scrollToItem(KgTax->item(row, TcCode));
}

void TaxCodeTab::InitTaxGrid() {
    KgTax->setRowCount(0);
    KgTax->setColumnCount(TcColumns);
    KgTax->setHorizontalHeaderLabels(
        {QStringLiteral("序号"), QStringLiteral("商品代码"), QStringLiteral("商品名称"),
         QStringLiteral("税收分类编码"), QStringLiteral("简称"), QStringLiteral("企业自编码"),
         QStringLiteral("优惠政策标识"), QStringLiteral("优惠政策说明"), QStringLiteral("零税率标识")});
    SizeTaxColumns();
}

void TaxCodeTab::SizeTaxColumns() {
    // Widths by what the columns hold; the grid scrolls sideways when the window is narrower.
    const int ch = fontMetrics().horizontalAdvance(u'汉');
    const int code = fontMetrics().horizontalAdvance(QString(19, u'0'));
    const int widths[TcColumns] = {3 * ch, 6 * ch, 7 * ch, code, 6 * ch, 6 * ch, 6 * ch, 8 * ch, 6 * ch};
    // A longer name, short name or note than the usual widens its column instead of being cut off.
    for (int c = 0; c < TcColumns; ++c) {
        int content = 0;
        if (KgTax->rowCount() > 0) {
            KgTax->resizeColumnToContents(c);
            content = KgTax->columnWidth(c);
        }
        KgTax->setColumnWidth(c, qMax(widths[c] + 14, content));
    }
}

void TaxCodeTab::SetTaxRow(int row, const TaxCodeRow& code) {
    m_bFillingTax = true;
    Cell(KgTax, row, TcNo)->setText(QString::number(row + 1));
    QTableWidgetItem* number = Cell(KgTax, row, TcNumber);
    number->setText(code.itemNumber);
    number->setData(IdRole, code.itemId > 0 ? code.itemId : QVariant());
    Cell(KgTax, row, TcName)->setText(code.itemName);
    Cell(KgTax, row, TcCode)->setText(code.taxCode);
    Cell(KgTax, row, TcShort)->setText(code.shortName);
    Cell(KgTax, row, TcOwn)->setText(code.ownCode);
    Cell(KgTax, row, TcPref)->setCheckState(code.preferential ? Qt::Checked : Qt::Unchecked);
    Cell(KgTax, row, TcPrefText)->setText(code.preferentialText);
    QTableWidgetItem* zero = Cell(KgTax, row, TcZero);
    zero->setData(ZeroRateRole, code.zeroRate);
    zero->setText(ZeroRateCell(code.zeroRate));
    SetTaxEntryCells(row);
    m_bFillingTax = false;
}

void TaxCodeTab::SetTaxEntryCells(int row) {
    const Qt::ItemFlags shown = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    Cell(KgTax, row, TcNo)->setTextAlignment(Qt::AlignCenter);
    for (int c : {TcNo, TcNumber, TcName}) // the product comes from the picker only
        Cell(KgTax, row, c)->setFlags(shown);
    for (int c : {TcCode, TcShort, TcOwn, TcPrefText, TcZero})
        Cell(KgTax, row, c)->setFlags(shown | Qt::ItemIsEditable);
    Cell(KgTax, row, TcPref)->setFlags(shown | Qt::ItemIsUserCheckable);
}

QList<TaxCodeRow> TaxCodeTab::ReadTaxRows(QList<int>* rowOf) {
    QList<TaxCodeRow> rows;
    auto text = [this](int r, int c) {
        const QTableWidgetItem* item = KgTax->item(r, c);
        return item ? TrimSpaces(item->text()) : QString();
    };
    for (int r = 0; r < KgTax->rowCount(); ++r) {
        TaxCodeRow row;
        const QTableWidgetItem* number = KgTax->item(r, TcNumber);
        row.itemId = number ? number->data(IdRole).toInt() : 0;
        row.itemNumber = text(r, TcNumber);
        row.itemName = text(r, TcName);
        row.taxCode = text(r, TcCode);
        row.shortName = text(r, TcShort);
        row.ownCode = text(r, TcOwn);
        const QTableWidgetItem* pref = KgTax->item(r, TcPref);
        row.preferential = pref && pref->checkState() == Qt::Checked;
        row.preferentialText = text(r, TcPrefText);
        const QTableWidgetItem* zero = KgTax->item(r, TcZero);
        row.zeroRate = zero ? zero->data(ZeroRateRole).toString() : QString();
        // A row added and left empty is no entry.
        if (row.itemId <= 0 && row.taxCode.isEmpty() && row.shortName.isEmpty() && row.ownCode.isEmpty() &&
            !row.preferential && row.preferentialText.isEmpty() && row.zeroRate.isEmpty())
            continue;
        rows.append(row);
        if (rowOf) rowOf->append(r);
    }
    return rows;
}

void TaxCodeTab::EndTaxEntry() {
    m_taxEntry->EndEntry();
    m_zeroRate->EndEntry();
}

void TaxCodeTab::PickTaxProduct() {
    EndTaxEntry();
    // The pick goes into the current row only while that row has no product yet (one just added with
    // 新增); a product already in the grid is never replaced by another.
    int row = KgTax->currentRow();
    const QTableWidgetItem* current = row >= 0 ? KgTax->item(row, TcNumber) : nullptr;
    const bool added = row < 0 || (current && current->data(IdRole).toInt() > 0);
    if (added) {
        row = KgTax->rowCount();
        KgTax->insertRow(row);
        SetTaxRow(row, TaxCodeRow{});
    }
    // The code is what the user types next, whatever had the focus before the picker.
    auto focusCode = [this](int r) {
        KgTax->setCurrentCell(r, TcCode);
        KgTax->scrollToItem(KgTax->item(r, TcCode));
        KgTax->setFocus();
    };
    const int before = KgTax->currentRow() == row ? -1 : KgTax->currentRow();
    auto dropAdded = [this, added, row, before, &focusCode] {
        if (!added) return focusCode(row);
        KgTax->removeRow(row);
        if (before >= 0) focusCode(before);
    };

    bool ok = false;
    int id = -1;
    QString number, name;
    try {
        frmListItem f(m_session, window());
        f.IsAddMidTable = true;
        f.exec();
        ok = f.m_bOK;
        id = f.SMFID;
        name = f.m_SelItem;
        // The list's second column is the product number (hidden in the commerce edition).
        if (const QTableWidgetItem* item = f.mfgItem->item(f.mfgItem->currentRow(), 1)) number = item->text();
    } catch (const DbError& e) {
        dropAdded();
        ShowMsg(e.description());
        return;
    }
    if (!ok || id <= 0) return dropAdded();

    for (int r = 0; r < KgTax->rowCount(); ++r) {
        const QTableWidgetItem* other = KgTax->item(r, TcNumber);
        if (r != row && other && other->data(IdRole).toInt() == id) {
            // Already listed: its row is the one to edit.
            if (added) KgTax->removeRow(row);
            return focusCode(r); // the added row was the last one
        }
    }
    m_bFillingTax = true;
    QTableWidgetItem* numberItem = Cell(KgTax, row, TcNumber);
    numberItem->setText(number);
    numberItem->setData(IdRole, id);
    Cell(KgTax, row, TcName)->setText(name);
    m_bFillingTax = false;
    focusCode(row);
    Q_EMIT changed();
}
