#include "mapping/ui/MappingEditor.h"

#include "common/DbLog.h"
#include "common/DbProcedures.h"
#include "common/Messages.h"
#include "common/Session.h"
#include "mapping/ItemMapStore.h"
#include "mapping/TaxCodeStore.h"
#include "mapping/ui/CustomerPicker.h"
#include "mapping/ui/NameMappingTab.h"
#include "mapping/ui/OtherNamePicker.h"
#include "mapping/ui/ProductPicker.h"
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

MappingEditor::MappingEditor(Session& session, QWidget* parent) : QDialog(parent), m_session(session) {
    setObjectName(QStringLiteral("MappingEditor"));
    setWindowTitle(QStringLiteral("引入基础资料对应关系"));
    setModal(true);
    resize(900, 480); // room for every column of the tax codes

    tabMap = new QTabWidget(this);
    tabMap->setObjectName(QStringLiteral("TabMap"));
    tabMap->setToolTip(QStringLiteral("选定名称（OrvaneQOR系统）同列的单元格，按F7键，会出现QOR资料的列表"));

    popRow = new QMenu(this);
    popRow->setObjectName(QStringLiteral("PopRow"));
    QAction* newrow = popRow->addAction(QStringLiteral("新增一行"));
    newrow->setObjectName(QStringLiteral("newrow"));
    QAction* delrow = popRow->addAction(QStringLiteral("删除当前行"));
    delrow->setObjectName(QStringLiteral("delrow"));
    connect(newrow, &QAction::triggered, this, [this] { cmdNew_Click(); });
    connect(delrow, &QAction::triggered, this, [this] { cmdDelete_Click(); });

    const QStringList captions{QStringLiteral("客户"), QStringLiteral("商品"), QStringLiteral("计量单位"),
                               QStringLiteral("经手人"), QStringLiteral("规格型号")};
    for (int i = 0; i < ItemMapKindCount; ++i) {
        auto* tab = new NameMappingTab(i, this);
        QTableWidget* grid = tab->grid();
        connect(tab, &NameMappingTab::edited, this, [this, i] { kgAfterEdit(i); });
        grid->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(grid, &QWidget::customContextMenuRequested, this,
                [this, grid](const QPoint& pos) { popRow->popup(grid->viewport()->mapToGlobal(pos)); });
        connect(grid, &QTableWidget::cellDoubleClicked, this,
                [this, i](int, int column) { kgDblClick(i, column); });
        grid->installEventFilter(this);
        kg.append(grid);
        m_nameTabs.append(tab);
        if (tab->note()) label1 = tab->note();
        tabMap->addTab(tab, captions[i]);
    }

    m_taxTab = new TaxCodeTab(m_session, this);
    kgTax = m_taxTab->kgTax;
    txtTaxCodeVersion = m_taxTab->txtTaxCodeVersion;
    cmdTaxPick = m_taxTab->cmdTaxPick;
    cmdTaxImport = m_taxTab->cmdTaxImport;
    connect(kgTax, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { popRow->popup(kgTax->viewport()->mapToGlobal(pos)); });
    connect(m_taxTab, &TaxCodeTab::changed, this, [this] { taxChanged(); });
    connect(m_taxTab, &TaxCodeTab::pickRequested, this, [this] { pickTaxProduct(); });
    connect(m_taxTab, &TaxCodeTab::importRequested, this, [this] { cmdTaxImport_Click(); });
    tabMap->addTab(m_taxTab, QStringLiteral("税收分类编码"));

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
    layout->addWidget(tabMap);
    layout->addLayout(buttons);
}

void MappingEditor::init() {
    initGrid();
    getItemList();
    getTaxCodeList();
    m_bChanged = false;
    m_bTaxChanged = false;
}

void MappingEditor::initGrid() {
    tabMap->setTabText(1, m_session.giIndustry == 1 ? QStringLiteral("物料") : QStringLiteral("商品"));
    for (NameMappingTab* tab : std::as_const(m_nameTabs))
        tab->initGrid();
}

void MappingEditor::getItemList() {
    for (int i = 0; i < ItemMapKindCount; ++i) {
        const RecordsetPtr rs = loadItemMap(m_session.config(), linkId, i);
        fillGrid(*rs, i);
    }
}

void MappingEditor::fillGrid(Recordset& rs, int kgIndex) {
    m_nameTabs.at(kgIndex)->fillGrid(rs);
}

void MappingEditor::cmdNew_Click() {
    if (onTaxTab()) {
        m_taxTab->addRow();
        return;
    }
    m_bChanged = true;
    m_nameTabs.value(tabMap->currentIndex(), m_nameTabs.first())->addRow();
}

void MappingEditor::cmdDelete_Click() {
    if (onTaxTab()) {
        m_taxTab->deleteRow();
        return;
    }
    m_bChanged = true;
    m_nameTabs.value(tabMap->currentIndex(), m_nameTabs.first())->deleteRow();
}

void MappingEditor::cmdSave_Click() {
    saveItemList();
}

bool MappingEditor::saveItemList() {
    // The tax codes are checked before anything is written, so that a wrong row stops the whole save.
    m_taxTab->endTaxEntry();
    QList<TaxCodeRow> taxRows;
    if (m_bTaxChanged) {
        QList<int> rowOf;
        taxRows = m_taxTab->readTaxRows(&rowOf);
        const TaxCodeProblem problem = TaxCodeStore::checkAll(taxRows);
        if (problem.row >= 0) {
            const int row = rowOf[problem.row];
            tabMap->setCurrentIndex(TaxTab);
            m_taxTab->showCode(row);
            showMsg(QStringLiteral("税收分类编码第%1行：%2").arg(row + 1).arg(problem.message));
            return false;
        }
    }
    QList<QList<ItemMapPair>> kinds;
    for (int i = 0; i < kg.size(); ++i) {
        endEntry(i);
        kinds.append(m_nameTabs.at(i)->pairs());
    }
    if (!saveItemMap(m_session.gcnConfig.get(), linkId, kinds)) return false;
    if (m_bTaxChanged) {
        try {
            TaxCodeStore(m_session).save(taxRows, txtTaxCodeVersion->text());
        } catch (const DbError& e) {
            showMsg(QStringLiteral("保存税收分类编码失败！") + e.description());
            reportCause(QStringLiteral("frmItem.SaveItemList"), e);
            return false;
        }
    }
    m_bChanged = false;
    m_bTaxChanged = false;
    return true;
}

bool MappingEditor::onTaxTab() const {
    return tabMap->currentIndex() == TaxTab;
}

void MappingEditor::taxChanged() {
    m_bChanged = true;
    m_bTaxChanged = true;
}

void MappingEditor::getTaxCodeList() {
    const TaxCodeStore store(m_session);
    const QList<TaxCodeRow> rows = store.load();
    const QString version = store.version();
    m_taxTab->showCodes(rows, version);
}

void MappingEditor::pickTaxProduct() {
    m_taxTab->endTaxEntry();
    tabMap->setCurrentIndex(TaxTab);
    m_taxTab->pickTaxProduct();
}

void MappingEditor::cmdTaxImport_Click() {
    m_taxTab->endTaxEntry();
    // The file goes straight into the catalogue, which is then shown anew: edits must be kept first.
    if (m_bTaxChanged) {
        if (!askYesNo(QStringLiteral("引入前须先保存您所做的修改，是否保存?"))) return;
        if (!saveItemList()) return;
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
        const TaxCodeImportResult result = store.importCsv(path);
        if (!result.ok) {
            showMsg(QStringLiteral("引入失败，没有引入任何商品。\n") + result.message);
            return;
        }
        getTaxCodeList();
        m_bTaxChanged = false;
        showMsg(result.message);
    } catch (const DbError& e) {
        showMsg(QStringLiteral("引入税收分类编码失败！") + e.description());
        reportCause(QStringLiteral("frmItem.cmdTaxImport_Click"), e);
    }
}

void MappingEditor::endEntry(int index) {
    m_nameTabs.at(index)->endEntry();
}

void MappingEditor::kgAfterEdit(int index) {
    Q_UNUSED(index);
    m_bChanged = true;
}

void MappingEditor::kgDblClick(int index, int column) {
    kgKeyDown(index, KeyF7, 0);
    // The tax-system name has no picker: a double-click there opens the entry instead.
    if (column == NameMappingTab::ColTax) {
        QTableWidget* grid = kg[index];
        if (QTableWidgetItem* item = grid->item(grid->currentRow(), NameMappingTab::ColTax))
            grid->editItem(item);
    }
}

void MappingEditor::kgKeyDown(int index, int keyCode, int shift) {
    Q_UNUSED(shift);
    QTableWidget* grid = kg.at(index);
    if (keyCode != KeyF7 || grid->currentRow() < 0 || grid->currentColumn() != NameMappingTab::ColQor) return;
    endEntry(index);

    bool ok = false;
    int id = -1;
    QString name;
    try {
        if (index == 0) {
            CustomerPicker f(m_session, this);
            f.isAddMidTable = true;
            f.setFType(0);
            f.exec();
            ok = f.m_bOK;
            id = f.SMFID;
            name = f.m_SelClient;
        } else if (index == 1) {
            ProductPicker f(m_session, this);
            f.isAddMidTable = true;
            f.exec();
            ok = f.m_bOK;
            id = f.SMFID;
            name = f.m_SelItem;
        } else {
            OtherNamePicker f(m_session, this);
            f.isAddMidTable = true;
            f.setTabType(index);
            f.exec();
            ok = f.m_bOK;
            id = f.SMFID;
            name = f.m_SelOther;
        }
    } catch (const DbError& e) {
        showMsg(e.description());
        return;
    } catch (const std::exception& e) {
        showMsg(QString::fromUtf8(e.what()));
        return;
    }
    if (!ok) return;

    const int row = grid->currentRow();
    if (row < 0) return;
    m_nameTabs.at(index)->setPicked(row, name, id);
    // A picked record is a change like a typed one; otherwise closing would drop it without asking.
    m_bChanged = true;
}

void MappingEditor::reject() {
    // An entry still open counts: what was typed is kept and may make the window ask.
    for (int i = 0; i < kg.size(); ++i)
        endEntry(i);
    m_taxTab->endTaxEntry();
    if (m_bChanged && askYesNo(QStringLiteral("您已对基础资料对应做了修改，退出前是否保存?"))) {
        if (!saveItemList()) return;
    }
    QDialog::reject();
}

bool MappingEditor::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const int index = kg.indexOf(qobject_cast<QTableWidget*>(watched));
        const auto* key = static_cast<QKeyEvent*>(event);
        if (index >= 0 && key->key() == Qt::Key_F7) {
            kgKeyDown(index, KeyF7, (key->modifiers().toInt() >> 25) & 7);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
