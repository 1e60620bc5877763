#include "mapping/ui/NameMappingTab.h"

#include "common/Connection.h"
#include "common/DbProcedures.h"
#include "common/Values.h"
#include "mapping/ui/MappingGrid.h"
#include <QEvent>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

using namespace MappingGrid;

NameMappingTab::NameMappingTab(int kind, QWidget* parent) : QWidget(parent) {
    m_grid = new QTableWidget;
    m_grid->setObjectName(QStringLiteral("Kg_%1").arg(kind));
    m_grid->verticalHeader()->setVisible(false);
    m_grid->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 10);
    m_grid->horizontalHeader()->setHighlightSections(false);
    m_grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_grid->setSelectionMode(QAbstractItemView::SingleSelection);
    m_grid->setAlternatingRowColors(true);
    m_grid->setWordWrap(false);
    // Double-click belongs to picking; typing or F2 opens an entry.
    m_grid->setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::EditKeyPressed |
                            QAbstractItemView::SelectedClicked);
    m_entry = new ItemEntryDelegate(m_grid, [this] { Q_EMIT edited(); });
    m_grid->setItemDelegate(m_entry);
    m_grid->viewport()->installEventFilter(this);

    auto* box = new QVBoxLayout(this);
    if (kind == 3) {
        m_note = new QLabel(QStringLiteral("发票的经手人包括开票人、复核人和收款人"), this);
        m_note->setObjectName(QStringLiteral("Label1"));
        box->addWidget(m_note);
    } else {
        box->setContentsMargins(0, 0, 0, 0); // the grid fills the tab
    }
    box->addWidget(m_grid);
    setFocusProxy(m_grid);
}

void NameMappingTab::initGrid() {
    m_grid->setRowCount(0);
    m_grid->setColumnCount(3);
    m_grid->setHorizontalHeaderLabels({QStringLiteral("序号"), QStringLiteral("名称（OrvaneQOR系统）"),
                                       QStringLiteral("名称（税控系统）")});
    sizeColumns();
}

void NameMappingTab::sizeColumns() {
    const int w = m_grid->viewport()->width();
    m_grid->setColumnWidth(ColNo, w / 11);
    m_grid->setColumnWidth(ColQor, w * 5 / 11);
    m_grid->setColumnWidth(ColTax, w * 5 / 11);
}

bool NameMappingTab::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize && watched == m_grid->viewport()) sizeColumns();
    return QWidget::eventFilter(watched, event);
}

void NameMappingTab::fillGrid(Recordset& rs) {
    if (rs.isEmpty()) return;
    rs.last();
    const int c = rs.recordCount();
    m_grid->setRowCount(c);
    rs.first();
    for (int r = 0; r < c; ++r) {
        cell(m_grid, r, ColNo)->setText(QString::number(r + 1));
        setEntryCells(r);
        QTableWidgetItem* qor = cell(m_grid, r, ColQor);
        qor->setText(nullToText(rs.value(QStringLiteral("FQorData"))));
        qor->setData(IdRole, nullToText(rs.value(QStringLiteral("FQorDataID"))));
        cell(m_grid, r, ColTax)->setText(nullToText(rs.value(QStringLiteral("FTaxData"))));
        rs.next();
    }
}

void NameMappingTab::setEntryCells(int row) {
    QTableWidgetItem* no = cell(m_grid, row, ColNo);
    no->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    no->setTextAlignment(Qt::AlignCenter);
    for (int c : {ColQor, ColTax})
        cell(m_grid, row, c)->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable);
}

// The grid's header stands for the title row, so data row i of the grid is shown as number i + 1.
void NameMappingTab::renumber() {
    for (int r = 0; r < m_grid->rowCount(); ++r) {
        cell(m_grid, r, ColNo)->setText(QString::number(r + 1));
        setEntryCells(r);
    }
}

void NameMappingTab::addRow() {
    m_grid->insertRow(m_grid->rowCount());
    renumber();
}

void NameMappingTab::deleteRow() {
    if (m_grid->rowCount() == 0) return;
    int row = m_grid->currentRow();
    if (row < 0) row = m_grid->rowCount() - 1;
    m_grid->removeRow(row);
    renumber();
}

QList<ItemMapPair> NameMappingTab::pairs() const {
    QList<ItemMapPair> rows;
    for (int r = 0; r < m_grid->rowCount(); ++r) {
        const QTableWidgetItem* qor = m_grid->item(r, ColQor);
        const QTableWidgetItem* tax = m_grid->item(r, ColTax);
        rows.append({qor ? qor->text() : QString(), qor ? qor->data(IdRole).toString() : QString(),
                     tax ? tax->text() : QString()});
    }
    return rows;
}

void NameMappingTab::setPicked(int row, const QString& name, int id) {
    QTableWidgetItem* qor = cell(m_grid, row, ColQor);
    qor->setText(name);
    qor->setData(IdRole, QString::number(id));
}

void NameMappingTab::endEntry() {
    m_entry->endEntry();
}
