#include "frmItem.h"

#include "ItemMapStore.h"
#include "TaxCodeStore.h"
#include "common/DbLog.h"
#include "common/Session.h"
#include "common/modFunction.h"
#include "frmListClient.h"
#include "frmListItem.h"
#include "frmListOtherID.h"
#include "mapping/ui/NameMappingTab.h"
#include "mapping/ui/TaxCodeTab.h"
#include <QFileDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {
constexpr int KeyF7 = 118;
// The tax codes' tab comes after the five kinds.
constexpr int TaxTab = ItemMapKindCount;
} // namespace

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
        auto* tab = new NameMappingTab(i, this);
        QTableWidget* grid = tab->grid();
        connect(tab, &NameMappingTab::edited, this, [this, i] { Kg_AfterEdit(i); });
        grid->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(grid, &QWidget::customContextMenuRequested, this,
                [this, grid](const QPoint& pos) { PopRow->popup(grid->viewport()->mapToGlobal(pos)); });
        connect(grid, &QTableWidget::cellDoubleClicked, this,
                [this, i](int, int column) { Kg_DblClick(i, column); });
        grid->installEventFilter(this);
        Kg.append(grid);
        m_nameTabs.append(tab);
        if (tab->note()) Label1 = tab->note();
        TabMap->addTab(tab, captions[i]);
    }

    m_taxTab = new TaxCodeTab(m_session, this);
    KgTax = m_taxTab->KgTax;
    txtTaxCodeVersion = m_taxTab->txtTaxCodeVersion;
    cmdTaxPick = m_taxTab->cmdTaxPick;
    cmdTaxImport = m_taxTab->cmdTaxImport;
    connect(KgTax, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { PopRow->popup(KgTax->viewport()->mapToGlobal(pos)); });
    connect(m_taxTab, &TaxCodeTab::changed, this, [this] { TaxChanged(); });
    connect(m_taxTab, &TaxCodeTab::pickRequested, this, [this] { PickTaxProduct(); });
    connect(m_taxTab, &TaxCodeTab::importRequested, this, [this] { cmdTaxImport_Click(); });
    TabMap->addTab(m_taxTab, QStringLiteral("税收分类编码"));

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
    for (NameMappingTab* tab : std::as_const(m_nameTabs))
        tab->InitGrid();
}

void frmItem::GetItemList() {
    for (int i = 0; i < ItemMapKindCount; ++i) {
        const RecordsetPtr rs = LoadItemMap(m_session.Config(), LinkID, i);
        FillGrid(*rs, i);
    }
}

void frmItem::FillGrid(Recordset& rs, int kgIndex) {
    m_nameTabs.at(kgIndex)->FillGrid(rs);
}

void frmItem::cmdNew_Click() {
    if (OnTaxTab()) {
        m_taxTab->addRow();
        return;
    }
    m_bChanged = true;
    m_nameTabs.value(TabMap->currentIndex(), m_nameTabs.first())->addRow();
}

void frmItem::cmdDelete_Click() {
    if (OnTaxTab()) {
        m_taxTab->deleteRow();
        return;
    }
    m_bChanged = true;
    m_nameTabs.value(TabMap->currentIndex(), m_nameTabs.first())->deleteRow();
}

void frmItem::cmdSave_Click() {
    SaveItemList();
}

bool frmItem::SaveItemList() {
    // The tax codes are checked before anything is written, so that a wrong row stops the whole save.
    m_taxTab->EndTaxEntry();
    QList<TaxCodeRow> taxRows;
    if (m_bTaxChanged) {
        QList<int> rowOf;
        taxRows = m_taxTab->ReadTaxRows(&rowOf);
        const TaxCodeProblem problem = TaxCodeStore::CheckAll(taxRows);
        if (problem.row >= 0) {
            const int row = rowOf[problem.row];
            TabMap->setCurrentIndex(TaxTab);
            m_taxTab->showCode(row);
            ShowMsg(QStringLiteral("税收分类编码第%1行：%2").arg(row + 1).arg(problem.message));
            return false;
        }
    }
    QList<QList<ItemMapPair>> kinds;
    for (int i = 0; i < Kg.size(); ++i) {
        EndEntry(i);
        kinds.append(m_nameTabs.at(i)->pairs());
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

void frmItem::GetTaxCodeList() {
    const TaxCodeStore store(m_session);
    const QList<TaxCodeRow> rows = store.Load();
    const QString version = store.Version();
    m_taxTab->showCodes(rows, version);
}

void frmItem::PickTaxProduct() {
    m_taxTab->EndTaxEntry();
    TabMap->setCurrentIndex(TaxTab);
    m_taxTab->PickTaxProduct();
}

void frmItem::cmdTaxImport_Click() {
    m_taxTab->EndTaxEntry();
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
    m_nameTabs.at(index)->EndEntry();
}

void frmItem::Kg_AfterEdit(int index) {
    Q_UNUSED(index);
    m_bChanged = true;
}

void frmItem::Kg_DblClick(int index, int column) {
    Kg_KeyDown(index, KeyF7, 0);
    // The tax-system name has no picker: a double-click there opens the entry instead.
    if (column == NameMappingTab::ColTax) {
        QTableWidget* grid = Kg[index];
        if (QTableWidgetItem* item = grid->item(grid->currentRow(), NameMappingTab::ColTax))
            grid->editItem(item);
    }
}

void frmItem::Kg_KeyDown(int index, int keyCode, int shift) {
    Q_UNUSED(shift);
    QTableWidget* grid = Kg.at(index);
    if (keyCode != KeyF7 || grid->currentRow() < 0 || grid->currentColumn() != NameMappingTab::ColQor) return;
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
    m_nameTabs.at(index)->setPicked(row, name, id);
    // A picked record is a change like a typed one; otherwise closing would drop it without asking.
    m_bChanged = true;
}

void frmItem::reject() {
    // An entry still open counts: what was typed is kept and may make the window ask.
    for (int i = 0; i < Kg.size(); ++i)
        EndEntry(i);
    m_taxTab->EndTaxEntry();
    if (m_bChanged && AskYesNo(QStringLiteral("您已对基础资料对应做了修改，退出前是否保存?"))) {
        if (!SaveItemList()) return;
    }
    QDialog::reject();
}

bool frmItem::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const int index = Kg.indexOf(qobject_cast<QTableWidget*>(watched));
        const auto* key = static_cast<QKeyEvent*>(event);
        if (index >= 0 && key->key() == Qt::Key_F7) {
            Kg_KeyDown(index, KeyF7, (key->modifiers().toInt() >> 25) & 7);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
