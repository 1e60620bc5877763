#include "mapping/ui/TaxCodeTab.h"

#include "common/Messages.h"
#include "mapping/ItemMapStore.h"
#include "mapping/TaxCodeStore.h"
#include "mapping/ui/MappingGrid.h"
#include "mapping/ui/ProductPicker.h"
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
    kgTax = new QTableWidget;
    kgTax->setObjectName(QStringLiteral("KgTax"));
    kgTax->verticalHeader()->setVisible(false);
    kgTax->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 10);
    kgTax->horizontalHeader()->setHighlightSections(false);
    kgTax->horizontalHeader()->setStretchLastSection(true);
    kgTax->setSelectionMode(QAbstractItemView::SingleSelection);
    kgTax->setAlternatingRowColors(true);
    kgTax->setWordWrap(false);
    // Double-click on the product picks it (cellDoubleClicked); on a value it opens the entry.
    kgTax->setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::EditKeyPressed |
                           QAbstractItemView::SelectedClicked | QAbstractItemView::DoubleClicked);
    m_taxEntry = new ItemEntryDelegate(kgTax, [this] { Q_EMIT changed(); });
    kgTax->setItemDelegate(m_taxEntry);
    m_zeroRate = new ZeroRateDelegate(kgTax, [this] { Q_EMIT changed(); });
    kgTax->setItemDelegateForColumn(TcZero, m_zeroRate);
    kgTax->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(kgTax, &QTableWidget::cellDoubleClicked, this, [this](int, int column) {
        if (column == TcNumber || column == TcName) Q_EMIT pickRequested();
    });
    connect(kgTax, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (!m_bFillingTax && item->column() == TcPref) Q_EMIT changed();
    });
    kgTax->installEventFilter(this);

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
    taxBox->addWidget(kgTax);
}

bool TaxCodeTab::eventFilter(QObject* watched, QEvent* event) {
    if (watched == kgTax && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_F7) {
        if (kgTax->currentRow() >= 0 &&
            (kgTax->currentColumn() == TcNumber || kgTax->currentColumn() == TcName))
            Q_EMIT pickRequested();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TaxCodeTab::showCodes(const QList<TaxCodeRow>& rows, const QString& version) {
    initTaxGrid();
    kgTax->setRowCount(int(rows.size()));
    for (int r = 0; r < rows.size(); ++r)
        setTaxRow(r, rows[r]);
    sizeTaxColumns();
    txtTaxCodeVersion->setText(version);
}

void TaxCodeTab::addRow() {
    endTaxEntry();
    const int row = kgTax->rowCount();
    kgTax->insertRow(row);
    setTaxRow(row, TaxCodeRow{});
    // The new row is current, so that 选择商品 fills it.
    kgTax->setCurrentCell(row, TcNumber);
    kgTax->setFocus();
    Q_EMIT changed();
}

void TaxCodeTab::deleteRow() {
    endTaxEntry();
    Q_EMIT changed();
    if (kgTax->rowCount() == 0) return;
    int row = kgTax->currentRow();
    if (row < 0) row = kgTax->rowCount() - 1;
    kgTax->removeRow(row);
    m_bFillingTax = true;
    for (int r = row; r < kgTax->rowCount(); ++r)
        cell(kgTax, r, TcNo)->setText(QString::number(r + 1));
    m_bFillingTax = false;
}

void TaxCodeTab::showCode(int row) {
    kgTax->setCurrentCell(row, TcCode);
    kgTax->scrollToItem(kgTax->item(row, TcCode));
}

void TaxCodeTab::initTaxGrid() {
    kgTax->setRowCount(0);
    kgTax->setColumnCount(TcColumns);
    kgTax->setHorizontalHeaderLabels(
        {QStringLiteral("序号"), QStringLiteral("商品代码"), QStringLiteral("商品名称"),
         QStringLiteral("税收分类编码"), QStringLiteral("简称"), QStringLiteral("企业自编码"),
         QStringLiteral("优惠政策标识"), QStringLiteral("优惠政策说明"), QStringLiteral("零税率标识")});
    sizeTaxColumns();
}

void TaxCodeTab::sizeTaxColumns() {
    // Widths by what the columns hold; the grid scrolls sideways when the window is narrower.
    const int ch = fontMetrics().horizontalAdvance(u'汉');
    const int code = fontMetrics().horizontalAdvance(QString(19, u'0'));
    const int widths[TcColumns] = {3 * ch, 6 * ch, 7 * ch, code, 6 * ch, 6 * ch, 6 * ch, 8 * ch, 6 * ch};
    // A longer name, short name or note than the usual widens its column instead of being cut off.
    for (int c = 0; c < TcColumns; ++c) {
        int content = 0;
        if (kgTax->rowCount() > 0) {
            kgTax->resizeColumnToContents(c);
            content = kgTax->columnWidth(c);
        }
        kgTax->setColumnWidth(c, qMax(widths[c] + 14, content));
    }
}

void TaxCodeTab::setTaxRow(int row, const TaxCodeRow& code) {
    m_bFillingTax = true;
    cell(kgTax, row, TcNo)->setText(QString::number(row + 1));
    QTableWidgetItem* number = cell(kgTax, row, TcNumber);
    number->setText(code.itemNumber);
    number->setData(IdRole, code.itemId > 0 ? code.itemId : QVariant());
    cell(kgTax, row, TcName)->setText(code.itemName);
    cell(kgTax, row, TcCode)->setText(code.taxCode);
    cell(kgTax, row, TcShort)->setText(code.shortName);
    cell(kgTax, row, TcOwn)->setText(code.ownCode);
    cell(kgTax, row, TcPref)->setCheckState(code.preferential ? Qt::Checked : Qt::Unchecked);
    cell(kgTax, row, TcPrefText)->setText(code.preferentialText);
    QTableWidgetItem* zero = cell(kgTax, row, TcZero);
    zero->setData(ZeroRateRole, code.zeroRate);
    zero->setText(zeroRateCell(code.zeroRate));
    setTaxEntryCells(row);
    m_bFillingTax = false;
}

void TaxCodeTab::setTaxEntryCells(int row) {
    const Qt::ItemFlags shown = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    cell(kgTax, row, TcNo)->setTextAlignment(Qt::AlignCenter);
    for (int c : {TcNo, TcNumber, TcName}) // the product comes from the picker only
        cell(kgTax, row, c)->setFlags(shown);
    for (int c : {TcCode, TcShort, TcOwn, TcPrefText, TcZero})
        cell(kgTax, row, c)->setFlags(shown | Qt::ItemIsEditable);
    cell(kgTax, row, TcPref)->setFlags(shown | Qt::ItemIsUserCheckable);
}

QList<TaxCodeRow> TaxCodeTab::readTaxRows(QList<int>* rowOf) {
    QList<TaxCodeRow> rows;
    auto text = [this](int r, int c) {
        const QTableWidgetItem* item = kgTax->item(r, c);
        return item ? trimSpaces(item->text()) : QString();
    };
    for (int r = 0; r < kgTax->rowCount(); ++r) {
        TaxCodeRow row;
        const QTableWidgetItem* number = kgTax->item(r, TcNumber);
        row.itemId = number ? number->data(IdRole).toInt() : 0;
        row.itemNumber = text(r, TcNumber);
        row.itemName = text(r, TcName);
        row.taxCode = text(r, TcCode);
        row.shortName = text(r, TcShort);
        row.ownCode = text(r, TcOwn);
        const QTableWidgetItem* pref = kgTax->item(r, TcPref);
        row.preferential = pref && pref->checkState() == Qt::Checked;
        row.preferentialText = text(r, TcPrefText);
        const QTableWidgetItem* zero = kgTax->item(r, TcZero);
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

void TaxCodeTab::endTaxEntry() {
    m_taxEntry->endEntry();
    m_zeroRate->endEntry();
}

void TaxCodeTab::pickTaxProduct() {
    endTaxEntry();
    // The pick goes into the current row only while that row has no product yet (one just added with
    // 新增); a product already in the grid is never replaced by another.
    int row = kgTax->currentRow();
    const QTableWidgetItem* current = row >= 0 ? kgTax->item(row, TcNumber) : nullptr;
    const bool added = row < 0 || (current && current->data(IdRole).toInt() > 0);
    if (added) {
        row = kgTax->rowCount();
        kgTax->insertRow(row);
        setTaxRow(row, TaxCodeRow{});
    }
    // The code is what the user types next, whatever had the focus before the picker.
    auto focusCode = [this](int r) {
        kgTax->setCurrentCell(r, TcCode);
        kgTax->scrollToItem(kgTax->item(r, TcCode));
        kgTax->setFocus();
    };
    const int before = kgTax->currentRow() == row ? -1 : kgTax->currentRow();
    auto dropAdded = [this, added, row, before, &focusCode] {
        if (!added) return focusCode(row);
        kgTax->removeRow(row);
        if (before >= 0) focusCode(before);
    };

    bool ok = false;
    int id = -1;
    QString number, name;
    try {
        ProductPicker f(m_session, window());
        f.isAddMidTable = true;
        f.exec();
        ok = f.m_bOK;
        id = f.SMFID;
        name = f.m_SelItem;
        // The list's second column is the product number (hidden in the commerce edition).
        if (const QTableWidgetItem* item = f.mfgItem->item(f.mfgItem->currentRow(), 1)) number = item->text();
    } catch (const DbError& e) {
        dropAdded();
        showMsg(e.description());
        return;
    }
    if (!ok || id <= 0) return dropAdded();

    for (int r = 0; r < kgTax->rowCount(); ++r) {
        const QTableWidgetItem* other = kgTax->item(r, TcNumber);
        if (r != row && other && other->data(IdRole).toInt() == id) {
            // Already listed: its row is the one to edit.
            if (added) kgTax->removeRow(row);
            return focusCode(r); // the added row was the last one
        }
    }
    m_bFillingTax = true;
    QTableWidgetItem* numberItem = cell(kgTax, row, TcNumber);
    numberItem->setText(number);
    numberItem->setData(IdRole, id);
    cell(kgTax, row, TcName)->setText(name);
    m_bFillingTax = false;
    focusCode(row);
    Q_EMIT changed();
}
