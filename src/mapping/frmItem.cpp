#include "frmItem.h"

#include "ItemMapStore.h"
#include "common/Session.h"
#include "common/modFunction.h"
#include "frmListClient.h"
#include "frmListItem.h"
#include "frmListOtherID.h"
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
} // namespace

// Text entry of at most 50 characters; tells the editor when the user really changed a cell.
class ItemEntryDelegate : public QStyledItemDelegate {
public:
    ItemEntryDelegate(QObject* parent, std::function<void()> onEdited)
        : QStyledItemDelegate(parent), m_onEdited(std::move(onEdited)) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        auto* editor = new QLineEdit(parent);
        editor->setMaxLength(MaxEntry);
        editor->setFrame(false);
        Q_UNUSED(option);
        Q_UNUSED(index);
        m_editor = editor;
        return editor;
    }

    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override {
        const QString text = static_cast<QLineEdit*>(editor)->text();
        if (text == index.data(Qt::EditRole).toString()) return;
        model->setData(index, text, Qt::EditRole);
        m_onEdited();
    }

    void destroyEditor(QWidget* editor, const QModelIndex& index) const override {
        if (editor == m_editor) m_editor = nullptr;
        QStyledItemDelegate::destroyEditor(editor, index);
    }

    // Ends an open entry, keeping what was typed.
    void EndEntry() {
        if (!m_editor) return;
        QWidget* editor = m_editor;
        m_editor = nullptr;
        Q_EMIT commitData(editor);
        Q_EMIT closeEditor(editor, QAbstractItemDelegate::NoHint);
    }

private:
    std::function<void()> m_onEdited;
    mutable QPointer<QLineEdit> m_editor;
};

frmItem::frmItem(Session& session, QWidget* parent) : QDialog(parent), m_session(session) {
    setObjectName(QStringLiteral("frmItem"));
    setWindowTitle(QStringLiteral("引入基础资料对应关系"));
    setModal(true);
    resize(680, 460);

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
    m_bChanged = false;
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
    m_bChanged = true;
    QTableWidget* grid = CurrentGrid();
    grid->insertRow(grid->rowCount());
    Renumber(grid);
}

void frmItem::cmdDelete_Click() {
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
    m_bChanged = false;
    return true;
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
        if (index >= 0 && key->key() == Qt::Key_F7) {
            Kg_KeyDown(index, KeyF7, (key->modifiers().toInt() >> 25) & 7);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
