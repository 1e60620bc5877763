#include "frmItem.h"

#include "ItemMapStore.h"
#include "TaxCodeStore.h"
#include "common/DbLog.h"
#include "common/Session.h"
#include "common/modFunction.h"
#include "frmListClient.h"
#include "frmListItem.h"
#include "frmListOtherID.h"
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <functional>

namespace {
// Grid columns: 0 the number, 1 the accounting name (its item carries the identifier), 2 the tax name.
// The grid's header stands for the title row, so data row i of the grid is shown as number i + 1.
constexpr int ColNo = 0, ColQor = 1, ColTax = 2;
constexpr int IdRole = Qt::UserRole;
constexpr int MaxEntry = 50;
constexpr int KeyF7 = 118;

// The tax-code grid: the product (its number's item carries the identifier) and the values the tax
// system takes for it.
constexpr int TaxTab = ItemMapKindCount;
constexpr int TcNo = 0, TcNumber = 1, TcName = 2, TcCode = 3, TcShort = 4, TcOwn = 5, TcPref = 6,
              TcPrefText = 7, TcZero = 8, TcColumns = 9;
// The zero-rate flag's item keeps the flag itself here; its text is the flag's caption.
constexpr int ZeroRateRole = Qt::UserRole + 1;
struct ZeroRateOption {
    const char16_t* flag;
    const char16_t* caption; // in the list
    const char16_t* cell;    // in the grid
};
constexpr ZeroRateOption kZeroRates[] = {{u"", u"空", u""},
                                         {u"0", u"0 出口退税", u"0 出口退税"},
                                         {u"1", u"1 免税", u"1 免税"},
                                         {u"2", u"2 不征税", u"2 不征税"},
                                         {u"3", u"3 普通零税率", u"3 普通零税率"}};

QString ZeroRateCell(const QString& flag) {
    for (const ZeroRateOption& o : kZeroRates)
        if (flag == QString::fromUtf16(o.flag)) return QString::fromUtf16(o.cell);
    return flag; // a flag of another program stays visible, and the check names it
}
} // namespace

// A delegate that tells the editor when the user really changed a cell, and whose open entry can be
// ended from outside (a save while a cell is being typed), keeping what was typed.
template <class Editor> class TrackedDelegate : public QStyledItemDelegate {
public:
    TrackedDelegate(QObject* parent, std::function<void()> onEdited)
        : QStyledItemDelegate(parent), m_onEdited(std::move(onEdited)) {}

    void destroyEditor(QWidget* editor, const QModelIndex& index) const override {
        if (editor == m_editor) m_editor = nullptr;
        QStyledItemDelegate::destroyEditor(editor, index);
    }

    void EndEntry() {
        if (!m_editor) return;
        QWidget* editor = m_editor;
        m_editor = nullptr;
        Q_EMIT commitData(editor);
        Q_EMIT closeEditor(editor, QAbstractItemDelegate::NoHint);
    }

protected:
    std::function<void()> m_onEdited;
    mutable QPointer<Editor> m_editor;
};

// Text entry of at most 50 characters.
class ItemEntryDelegate : public TrackedDelegate<QLineEdit> {
public:
    using TrackedDelegate::TrackedDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex&) const override {
        auto* editor = new QLineEdit(parent);
        editor->setMaxLength(MaxEntry);
        editor->setFrame(false);
        m_editor = editor;
        return editor;
    }

    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override {
        const QString text = static_cast<QLineEdit*>(editor)->text();
        if (text == index.data(Qt::EditRole).toString()) return;
        model->setData(index, text, Qt::EditRole);
        m_onEdited();
    }
};

// The zero-rate flag chosen from its four values; a choice counts at once.
class ZeroRateDelegate : public TrackedDelegate<QComboBox> {
public:
    using TrackedDelegate::TrackedDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex&) const override {
        auto* box = new QComboBox(parent);
        for (const ZeroRateOption& o : kZeroRates)
            box->addItem(QString::fromUtf16(o.caption), QString::fromUtf16(o.flag));
        auto* self = const_cast<ZeroRateDelegate*>(this);
        connect(box, &QComboBox::activated, self, [self, box] {
            Q_EMIT self->commitData(box);
            Q_EMIT self->closeEditor(box, QAbstractItemDelegate::NoHint);
        });
        m_editor = box;
        return box;
    }

    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        auto* box = static_cast<QComboBox*>(editor);
        box->setCurrentIndex(qMax(0, box->findData(index.data(ZeroRateRole).toString())));
    }

    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override {
        const QString flag = static_cast<QComboBox*>(editor)->currentData().toString();
        if (flag == index.data(ZeroRateRole).toString()) return;
        model->setData(index, flag, ZeroRateRole);
        model->setData(index, ZeroRateCell(flag), Qt::DisplayRole);
        m_onEdited();
    }
};

frmItem::frmItem(Session& session, QWidget* parent) : QDialog(parent), m_session(session) {
    setObjectName(QStringLiteral("frmItem"));
    setWindowTitle(QStringLiteral("引入基础资料对应关系"));
    setModal(true);
    resize(900, 480); // room for every column of the tax codes

    TabMap = new QTabWidget(this);
    TabMap->setObjectName(QStringLiteral("TabMap"));
    TabMap->setToolTip(QStringLiteral("选定名称（OrvaneQOR系统）同列的单元格，按F7键，会出现QOR资料的列表"));

    PopRow = new QMenu(this);
    PopRow->setObjectName(QStringLiteral("PopRow"));
    QAction* newrow = PopRow->addAction(QStringLiteral("新增一行"));
    newrow->setObjectName(QStringLiteral("newrow"));
    QAction* delrow = PopRow->addAction(QStringLiteral("删除当前行"));
    delrow->setObjectName(QStringLiteral("delrow"));
    connect(newrow, &QAction::triggered, this, [this] { cmdNew_Click(); });
    connect(delrow, &QAction::triggered, this, [this] { cmdDelete_Click(); });

    const QStringList captions{QStringLiteral("客户"), QStringLiteral("商品"), QStringLiteral("计量单位"),
                               QStringLiteral("经手人"), QStringLiteral("规格型号")};
    for (int i = 0; i < ItemMapKindCount; ++i) {
        auto* grid = new QTableWidget;
        grid->setObjectName(QStringLiteral("Kg_%1").arg(i));
        grid->verticalHeader()->setVisible(false);
        grid->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 10);
        grid->horizontalHeader()->setHighlightSections(false);
        grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
        grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        grid->setSelectionMode(QAbstractItemView::SingleSelection);
        grid->setAlternatingRowColors(true);
        grid->setWordWrap(false);
        // Double-click belongs to picking; typing or F2 opens an entry.
        grid->setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::EditKeyPressed |
                              QAbstractItemView::SelectedClicked);
        auto* entry = new ItemEntryDelegate(grid, [this, i] { Kg_AfterEdit(i); });
        grid->setItemDelegate(entry);
        m_entry.append(entry);
        grid->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(grid, &QWidget::customContextMenuRequested, this,
                [this, grid](const QPoint& pos) { PopRow->popup(grid->viewport()->mapToGlobal(pos)); });
        connect(grid, &QTableWidget::cellDoubleClicked, this,
                [this, i](int, int column) { Kg_DblClick(i, column); });
        grid->installEventFilter(this);
        grid->viewport()->installEventFilter(this);
        Kg.append(grid);

        QWidget* page = grid;
        if (i == 3) {
            page = new QWidget;
            auto* box = new QVBoxLayout(page);
            Label1 = new QLabel(QStringLiteral("发票的经手人包括开票人、复核人和收款人"), page);
            Label1->setObjectName(QStringLiteral("Label1"));
            box->addWidget(Label1);
            box->addWidget(grid);
        }
        TabMap->addTab(page, captions[i]);
    }

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
    m_taxEntry = new ItemEntryDelegate(KgTax, [this] { TaxChanged(); });
    KgTax->setItemDelegate(m_taxEntry);
    m_zeroRate = new ZeroRateDelegate(KgTax, [this] { TaxChanged(); });
    KgTax->setItemDelegateForColumn(TcZero, m_zeroRate);
    KgTax->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(KgTax, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { PopRow->popup(KgTax->viewport()->mapToGlobal(pos)); });
    connect(KgTax, &QTableWidget::cellDoubleClicked, this, [this](int, int column) {
        if (column == TcNumber || column == TcName) PickTaxProduct();
    });
    connect(KgTax, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (!m_bFillingTax && item->column() == TcPref) TaxChanged();
    });
    KgTax->installEventFilter(this);
    KgTax->viewport()->installEventFilter(this);

    auto* taxPage = new QWidget;
    auto* taxBox = new QVBoxLayout(taxPage);
    auto* taxTools = new QHBoxLayout;
    auto* versionLabel = new QLabel(QStringLiteral("编码版本号："), taxPage);
    txtTaxCodeVersion = new QLineEdit(taxPage);
    txtTaxCodeVersion->setObjectName(QStringLiteral("txtTaxCodeVersion"));
    txtTaxCodeVersion->setMaxLength(20);
    txtTaxCodeVersion->setFixedWidth(fontMetrics().horizontalAdvance(QStringLiteral("0000.00")) + 16);
    versionLabel->setBuddy(txtTaxCodeVersion);
    connect(txtTaxCodeVersion, &QLineEdit::textEdited, this, [this] { TaxChanged(); });
    cmdTaxPick = new QPushButton(QStringLiteral("选择商品(&P)"), taxPage);
    cmdTaxPick->setObjectName(QStringLiteral("cmdTaxPick"));
    cmdTaxPick->setAutoDefault(false);
    cmdTaxImport = new QPushButton(QStringLiteral("引入CSV(&I)"), taxPage);
    cmdTaxImport->setObjectName(QStringLiteral("cmdTaxImport"));
    cmdTaxImport->setAutoDefault(false);
    connect(cmdTaxPick, &QPushButton::clicked, this, [this] { PickTaxProduct(); });
    connect(cmdTaxImport, &QPushButton::clicked, this, [this] { cmdTaxImport_Click(); });
    taxTools->addWidget(versionLabel);
    taxTools->addWidget(txtTaxCodeVersion);
    taxTools->addStretch();
    taxTools->addWidget(cmdTaxPick);
    taxTools->addWidget(cmdTaxImport);
    taxBox->addLayout(taxTools);
    taxBox->addWidget(KgTax);
    TabMap->addTab(taxPage, QStringLiteral("税收分类编码"));

    auto makeButton = [this](const char* name, const QString& caption) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false); // Enter belongs to the grids
        return b;
    };
    cmdNew = makeButton("cmdNew", QStringLiteral("新增(&N)"));
    cmdDelete = makeButton("cmdDelete", QStringLiteral("删除(&D)"));
    cmdSave = makeButton("cmdSave", QStringLiteral("保存(&S)"));
    cmdClose = makeButton("cmdClose", QStringLiteral("关闭(&C)"));
    connect(cmdNew, &QPushButton::clicked, this, [this] { cmdNew_Click(); });
    connect(cmdDelete, &QPushButton::clicked, this, [this] { cmdDelete_Click(); });
    connect(cmdSave, &QPushButton::clicked, this, [this] { cmdSave_Click(); });
    connect(cmdClose, &QPushButton::clicked, this, &QWidget::close);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    for (QPushButton* b : {cmdNew, cmdDelete, cmdSave, cmdClose})
        buttons->addWidget(b);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(TabMap);
    layout->addLayout(buttons);
}

void frmItem::Init() {
    InitGrid();
    GetItemList();
    GetTaxCodeList();
    m_bChanged = false;
    m_bTaxChanged = false;
}

void frmItem::InitGrid() {
    TabMap->setTabText(1, m_session.giIndustry == 1 ? QStringLiteral("物料") : QStringLiteral("商品"));
    for (QTableWidget* grid : Kg) {
        grid->setRowCount(0);
        grid->setColumnCount(3);
        grid->setHorizontalHeaderLabels({QStringLiteral("序号"), QStringLiteral("名称（OrvaneQOR系统）"),
                                         QStringLiteral("名称（税控系统）")});
        SizeColumns(grid);
    }
}

void frmItem::SizeColumns(QTableWidget* grid) {
    const int w = grid->viewport()->width();
    grid->setColumnWidth(ColNo, w / 11);
    grid->setColumnWidth(ColQor, w * 5 / 11);
    grid->setColumnWidth(ColTax, w * 5 / 11);
}

void frmItem::GetItemList() {
    for (int i = 0; i < ItemMapKindCount; ++i) {
        const RecordsetPtr rs = LoadItemMap(m_session.Config(), LinkID, i);
        FillGrid(*rs, i);
    }
}

void frmItem::FillGrid(Recordset& rs, int kgIndex) {
    if (rs.isEmpty()) return;
    QTableWidget* grid = Kg.at(kgIndex);
    rs.MoveLast();
    const int c = rs.RecordCount();
    grid->setRowCount(c);
    rs.MoveFirst();
    for (int r = 0; r < c; ++r) {
        Cell(grid, r, ColNo)->setText(QString::number(r + 1));
        SetEntryCells(grid, r);
        QTableWidgetItem* qor = Cell(grid, r, ColQor);
        qor->setText(NullToText(rs.value(QStringLiteral("FQorData"))));
        qor->setData(IdRole, NullToText(rs.value(QStringLiteral("FQorDataID"))));
        Cell(grid, r, ColTax)->setText(NullToText(rs.value(QStringLiteral("FTaxData"))));
        rs.MoveNext();
    }
}

QTableWidgetItem* frmItem::Cell(QTableWidget* grid, int row, int column) {
    QTableWidgetItem* item = grid->item(row, column);
    if (!item) {
        item = new QTableWidgetItem;
        item->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        grid->setItem(row, column, item);
    }
    return item;
}

void frmItem::SetEntryCells(QTableWidget* grid, int row) {
    QTableWidgetItem* no = Cell(grid, row, ColNo);
    no->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    no->setTextAlignment(Qt::AlignCenter);
    for (int c : {ColQor, ColTax})
        Cell(grid, row, c)->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable);
}

void frmItem::Renumber(QTableWidget* grid) {
    for (int r = 0; r < grid->rowCount(); ++r) {
        Cell(grid, r, ColNo)->setText(QString::number(r + 1));
        SetEntryCells(grid, r);
    }
}

QTableWidget* frmItem::CurrentGrid() const {
    return Kg.value(TabMap->currentIndex(), Kg.first());
}

void frmItem::cmdNew_Click() {
    if (OnTaxTab()) {
        EndTaxEntry();
        const int row = KgTax->rowCount();
        KgTax->insertRow(row);
        SetTaxRow(row, TaxCodeRow{});
        // The new row is current, so that 选择商品 fills it.
        KgTax->setCurrentCell(row, TcNumber);
        KgTax->setFocus();
        TaxChanged();
        return;
    }
    m_bChanged = true;
    QTableWidget* grid = CurrentGrid();
    grid->insertRow(grid->rowCount());
    Renumber(grid);
}

void frmItem::cmdDelete_Click() {
    if (OnTaxTab()) {
        EndTaxEntry();
        TaxChanged();
        if (KgTax->rowCount() == 0) return;
        int row = KgTax->currentRow();
        if (row < 0) row = KgTax->rowCount() - 1;
        KgTax->removeRow(row);
        m_bFillingTax = true;
        for (int r = row; r < KgTax->rowCount(); ++r)
            Cell(KgTax, r, TcNo)->setText(QString::number(r + 1));
        m_bFillingTax = false;
        return;
    }
    m_bChanged = true;
    QTableWidget* grid = CurrentGrid();
    if (grid->rowCount() == 0) return;
    int row = grid->currentRow();
    if (row < 0) row = grid->rowCount() - 1;
    grid->removeRow(row);
    Renumber(grid);
}

void frmItem::cmdSave_Click() {
    SaveItemList();
}

bool frmItem::SaveItemList() {
    // The tax codes are checked before anything is written, so that a wrong row stops the whole save.
    EndTaxEntry();
    QList<TaxCodeRow> taxRows;
    if (m_bTaxChanged) {
        QList<int> rowOf;
        taxRows = ReadTaxRows(&rowOf);
        const TaxCodeProblem problem = TaxCodeStore::CheckAll(taxRows);
        if (problem.row >= 0) {
            const int row = rowOf[problem.row];
            TabMap->setCurrentIndex(TaxTab);
            KgTax->setCurrentCell(row, TcCode);
            KgTax->scrollToItem(KgTax->item(row, TcCode));
            ShowMsg(QStringLiteral("税收分类编码第%1行：%2").arg(row + 1).arg(problem.message));
            return false;
        }
    }
    QList<QList<ItemMapPair>> kinds;
    for (int i = 0; i < Kg.size(); ++i) {
        EndEntry(i);
        QTableWidget* grid = Kg[i];
        QList<ItemMapPair> rows;
        for (int r = 0; r < grid->rowCount(); ++r) {
            const QTableWidgetItem* qor = grid->item(r, ColQor);
            const QTableWidgetItem* tax = grid->item(r, ColTax);
            rows.append({qor ? qor->text() : QString(), qor ? qor->data(IdRole).toString() : QString(),
                         tax ? tax->text() : QString()});
        }
        kinds.append(rows);
    }
    if (!SaveItemMap(m_session.gcnConfig.get(), LinkID, kinds)) return false;
    if (m_bTaxChanged) {
        try {
            TaxCodeStore(m_session).Save(taxRows, txtTaxCodeVersion->text());
        } catch (const DbError& e) {
            ShowMsg(QStringLiteral("保存税收分类编码失败！") + e.description());
            ReportCause(QStringLiteral("frmItem.SaveItemList"), e);
            return false;
        }
    }
    m_bChanged = false;
    m_bTaxChanged = false;
    return true;
}

bool frmItem::OnTaxTab() const {
    return TabMap->currentIndex() == TaxTab;
}

void frmItem::TaxChanged() {
    m_bChanged = true;
    m_bTaxChanged = true;
}

void frmItem::InitTaxGrid() {
    KgTax->setRowCount(0);
    KgTax->setColumnCount(TcColumns);
    KgTax->setHorizontalHeaderLabels(
        {QStringLiteral("序号"), QStringLiteral("商品代码"), QStringLiteral("商品名称"),
         QStringLiteral("税收分类编码"), QStringLiteral("简称"), QStringLiteral("企业自编码"),
         QStringLiteral("优惠政策标识"), QStringLiteral("优惠政策说明"), QStringLiteral("零税率标识")});
    SizeTaxColumns();
}

void frmItem::SizeTaxColumns() {
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

void frmItem::GetTaxCodeList() {
    const TaxCodeStore store(m_session);
    const QList<TaxCodeRow> rows = store.Load();
    const QString version = store.Version();
    InitTaxGrid();
    KgTax->setRowCount(int(rows.size()));
    for (int r = 0; r < rows.size(); ++r)
        SetTaxRow(r, rows[r]);
    SizeTaxColumns();
    txtTaxCodeVersion->setText(version);
}

void frmItem::SetTaxRow(int row, const TaxCodeRow& code) {
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

void frmItem::SetTaxEntryCells(int row) {
    const Qt::ItemFlags shown = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    Cell(KgTax, row, TcNo)->setTextAlignment(Qt::AlignCenter);
    for (int c : {TcNo, TcNumber, TcName}) // the product comes from the picker only
        Cell(KgTax, row, c)->setFlags(shown);
    for (int c : {TcCode, TcShort, TcOwn, TcPrefText, TcZero})
        Cell(KgTax, row, c)->setFlags(shown | Qt::ItemIsEditable);
    Cell(KgTax, row, TcPref)->setFlags(shown | Qt::ItemIsUserCheckable);
}

QList<TaxCodeRow> frmItem::ReadTaxRows(QList<int>* rowOf) {
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

void frmItem::EndTaxEntry() {
    m_taxEntry->EndEntry();
    m_zeroRate->EndEntry();
}

void frmItem::PickTaxProduct() {
    EndTaxEntry();
    TabMap->setCurrentIndex(TaxTab);
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
        frmListItem f(m_session, this);
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
    TaxChanged();
}

void frmItem::cmdTaxImport_Click() {
    EndTaxEntry();
    // The file goes straight into the catalogue, which is then shown anew: edits must be kept first.
    if (m_bTaxChanged) {
        if (!AskYesNo(QStringLiteral("引入前须先保存您所做的修改，是否保存?"))) return;
        if (!SaveItemList()) return;
    }
    QFileDialog dlgCsv(this, QStringLiteral("引入税收分类编码"));
    dlgCsv.setObjectName(QStringLiteral("dlgTaxCsv"));
    dlgCsv.setAcceptMode(QFileDialog::AcceptOpen);
    dlgCsv.setFileMode(QFileDialog::ExistingFile);
    dlgCsv.setNameFilter(QStringLiteral("CSV文件(*.csv)"));
    dlgCsv.setOption(QFileDialog::DontUseNativeDialog);
    if (dlgCsv.exec() != QDialog::Accepted || dlgCsv.selectedFiles().isEmpty()) return;
    const QString path = dlgCsv.selectedFiles().first();
    try {
        TaxCodeStore store(m_session);
        const TaxCodeImportResult result = store.ImportCsv(path);
        if (!result.ok) {
            ShowMsg(QStringLiteral("引入失败，没有引入任何商品。\n") + result.message);
            return;
        }
        GetTaxCodeList();
        m_bTaxChanged = false;
        ShowMsg(result.message);
    } catch (const DbError& e) {
        ShowMsg(QStringLiteral("引入税收分类编码失败！") + e.description());
        ReportCause(QStringLiteral("frmItem.cmdTaxImport_Click"), e);
    }
}

void frmItem::EndEntry(int index) {
    m_entry.at(index)->EndEntry();
}

void frmItem::Kg_AfterEdit(int index) {
    Q_UNUSED(index);
    m_bChanged = true;
}

void frmItem::Kg_DblClick(int index, int column) {
    Kg_KeyDown(index, KeyF7, 0);
    // The tax-system name has no picker: a double-click there opens the entry instead.
    if (column == ColTax) {
        QTableWidget* grid = Kg[index];
        if (QTableWidgetItem* item = grid->item(grid->currentRow(), ColTax)) grid->editItem(item);
    }
}

void frmItem::Kg_KeyDown(int index, int keyCode, int shift) {
    Q_UNUSED(shift);
    QTableWidget* grid = Kg.at(index);
    if (keyCode != KeyF7 || grid->currentRow() < 0 || grid->currentColumn() != ColQor) return;
    EndEntry(index);

    bool ok = false;
    int id = -1;
    QString name;
    try {
        if (index == 0) {
            frmListClient f(m_session, this);
            f.IsAddMidTable = true;
            f.setFType(0);
            f.exec();
            ok = f.m_bOK;
            id = f.SMFID;
            name = f.m_SelClient;
        } else if (index == 1) {
            frmListItem f(m_session, this);
            f.IsAddMidTable = true;
            f.exec();
            ok = f.m_bOK;
            id = f.SMFID;
            name = f.m_SelItem;
        } else {
            frmListOtherID f(m_session, this);
            f.IsAddMidTable = true;
            f.setTabType(index);
            f.exec();
            ok = f.m_bOK;
            id = f.SMFID;
            name = f.m_SelOther;
        }
    } catch (const DbError& e) {
        ShowMsg(e.description());
        return;
    } catch (const std::exception& e) {
        ShowMsg(QString::fromUtf8(e.what()));
        return;
    }
    if (!ok) return;

    const int row = grid->currentRow();
    if (row < 0) return;
    QTableWidgetItem* qor = Cell(grid, row, ColQor);
    qor->setText(name);
    qor->setData(IdRole, QString::number(id));
    // A picked record is a change like a typed one; otherwise closing would drop it without asking.
    m_bChanged = true;
}

void frmItem::reject() {
    // An entry still open counts: what was typed is kept and may make the window ask.
    for (int i = 0; i < Kg.size(); ++i)
        EndEntry(i);
    EndTaxEntry();
    if (m_bChanged && AskYesNo(QStringLiteral("您已对基础资料对应做了修改，退出前是否保存?"))) {
        if (!SaveItemList()) return;
    }
    QDialog::reject();
}

bool frmItem::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize) {
        for (QTableWidget* grid : Kg)
            if (watched == grid->viewport()) SizeColumns(grid);
    } else if (event->type() == QEvent::KeyPress) {
        const int index = Kg.indexOf(qobject_cast<QTableWidget*>(watched));
        const auto* key = static_cast<QKeyEvent*>(event);
        if (watched == KgTax && key->key() == Qt::Key_F7) {
            if (KgTax->currentRow() >= 0 &&
                (KgTax->currentColumn() == TcNumber || KgTax->currentColumn() == TcName))
                PickTaxProduct();
            return true;
        }
        if (index >= 0 && key->key() == Qt::Key_F7) {
            Kg_KeyDown(index, KeyF7, (key->modifiers().toInt() >> 25) & 7);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
