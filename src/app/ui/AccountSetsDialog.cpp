#include "app/ui/AccountSetsDialog.h"

#include "common/Messages.h"
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSqlDatabase>
#include <QStyle>
#include <QVBoxLayout>

namespace {
QString kindName(AcctKind kind) {
    switch (kind) {
    case AcctKind::File:
        return QStringLiteral("本地账套文件");
    case AcctKind::PostgreSQL:
        return QStringLiteral("PostgreSQL 服务器");
    case AcctKind::ODBC:
        break;
    }
    return QStringLiteral("ODBC 数据源");
}
} // namespace

AccountSetsDialog::AccountSetsDialog(PasswordStore& passwords, QWidget* parent)
    : QDialog(parent), m_passwords(passwords) {
    setObjectName(QStringLiteral("AccountSetsDialog"));
    setWindowTitle(QStringLiteral("账套管理"));

    lstSets = new QListWidget(this);
    lstSets->setObjectName(QStringLiteral("lstSets"));
    lstSets->setFixedWidth(190);
    lstSets->setIconSize(QSize(16, 16));
    auto edit = [this](const char* name, const QString& tip = QString()) {
        auto* e = new QLineEdit(this);
        e->setObjectName(QLatin1String(name));
        e->setToolTip(tip);
        return e;
    };
    txtName = edit("txtName");
    txtName->setMaxLength(80);
    cboKind = new QComboBox(this);
    cboKind->setObjectName(QStringLiteral("cboKind"));
    // Only the kinds this build can open (the Windows build reaches PostgreSQL through ODBC); a set of
    // another kind still shows its own (loadSet).
    cboKind->addItem(kindName(AcctKind::File), int(AcctKind::File));
    if (QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")))
        cboKind->addItem(kindName(AcctKind::PostgreSQL), int(AcctKind::PostgreSQL));
    cboKind->addItem(kindName(AcctKind::ODBC), int(AcctKind::ODBC));
    txtFile = edit("txtFile", QStringLiteral("账套数据库文件（SQLite）"));
    cmdBrowse = new QPushButton(QStringLiteral("浏览(&B)..."), this);
    cmdBrowse->setObjectName(QStringLiteral("cmdBrowse"));
    cmdBrowse->setAutoDefault(false);
    txtHost = edit("txtHost", QStringLiteral("服务器名称或地址"));
    txtPort = edit("txtPort", QStringLiteral("留空为 5432"));
    txtPort->setValidator(new QIntValidator(1, 65535, txtPort));
    txtPort->setPlaceholderText(QStringLiteral("5432"));
    txtDatabase = edit("txtDatabase");
    txtSource =
        edit("txtSource", QStringLiteral("ODBC 数据源名称，或驱动字符串，如 Driver={…};Server=…;Database=…"));
    txtUser = edit("txtUser");
    txtPassword = edit("txtPassword", QStringLiteral("保存在系统的钥匙串中，不写入设置文件"));
    txtPassword->setEchoMode(QLineEdit::Password);
    cmdTest = new QPushButton(QStringLiteral("测试连接(&T)"), this);
    cmdTest->setObjectName(QStringLiteral("cmdTest"));
    cmdTest->setAutoDefault(false);

    lblPasswordNote = new QLabel(QStringLiteral("密码保存在系统的钥匙串中，不写入设置文件。"), this);
    lblPasswordNote->setObjectName(QStringLiteral("lblPasswordNote"));
    QFont small = lblPasswordNote->font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    lblPasswordNote->setFont(small);
    lblPasswordNote->setStyleSheet(QStringLiteral("color: #666"));

    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(txtFile, 1);
    fileRow->addWidget(cmdBrowse);
    m_form = new QFormLayout;
    m_form->addRow(QStringLiteral("名称:"), txtName);
    m_form->addRow(QStringLiteral("类型:"), cboKind);
    m_form->addRow(QStringLiteral("账套文件:"), fileRow);
    m_form->addRow(QStringLiteral("服务器:"), txtHost);
    m_form->addRow(QStringLiteral("端口:"), txtPort);
    m_form->addRow(QStringLiteral("数据库:"), txtDatabase);
    m_form->addRow(QStringLiteral("数据源:"), txtSource);
    m_form->addRow(QStringLiteral("用户名:"), txtUser);
    m_form->addRow(QStringLiteral("密码:"), txtPassword);
    m_form->addRow(QString(), lblPasswordNote);
    auto* testRow = new QHBoxLayout;
    testRow->addStretch();
    testRow->addWidget(cmdTest);
    auto* fraSet = new QGroupBox(QStringLiteral("账套设置"), this);
    fraSet->setObjectName(QStringLiteral("fraSet"));
    auto* right = new QVBoxLayout(fraSet);
    right->addLayout(m_form);
    right->addStretch();
    right->addLayout(testRow);
    auto* fraList = new QGroupBox(QStringLiteral("账套"), this);
    fraList->setObjectName(QStringLiteral("fraList"));
    auto* left = new QVBoxLayout(fraList);
    left->addWidget(lstSets);
    auto* top = new QHBoxLayout;
    top->addWidget(fraList);
    top->addWidget(fraSet, 1);

    auto button = [this](const char* name, const QString& caption) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        return b;
    };
    cmdNew = button("cmdNew", QStringLiteral("新建(&N)"));
    cmdSave = button("cmdSave", QStringLiteral("保存(&S)"));
    cmdSave->setDefault(true);
    cmdDelete = button("cmdDelete", QStringLiteral("删除(&D)"));
    cmdClose = button("cmdClose", QStringLiteral("关闭(&C)"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdNew);
    buttons->addWidget(cmdSave);
    buttons->addWidget(cmdDelete);
    buttons->addStretch();
    buttons->addWidget(cmdClose);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addSpacing(8);
    layout->addLayout(buttons);

    connect(lstSets, &QListWidget::currentRowChanged, this, &AccountSetsDialog::lstSets_Changed);
    connect(cboKind, &QComboBox::currentIndexChanged, this, &AccountSetsDialog::showKind);
    connect(cmdBrowse, &QPushButton::clicked, this, &AccountSetsDialog::cmdBrowse_Click);
    connect(cmdTest, &QPushButton::clicked, this, &AccountSetsDialog::cmdTest_Click);
    connect(cmdNew, &QPushButton::clicked, this, &AccountSetsDialog::cmdNew_Click);
    connect(cmdSave, &QPushButton::clicked, this, &AccountSetsDialog::cmdSave_Click);
    connect(cmdDelete, &QPushButton::clicked, this, &AccountSetsDialog::cmdDelete_Click);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::accept);
    showKind();
    resize(640, 400);
}

void AccountSetsDialog::init() {
    m_sets = loadAcctSets();
    fillList(m_sets.isEmpty() ? QString() : m_sets.first().first);
    if (m_sets.isEmpty()) cmdNew_Click();
}

void AccountSetsDialog::fillList(const QString& current) {
    const QSignalBlocker quiet(lstSets);
    lstSets->clear();
    int row = -1;
    for (const auto& s : m_sets) {
        if (s.first == current) row = lstSets->count();
        // A file set shows a file, a server set a drive on the network.
        const bool server = isServerConnString(s.second);
        lstSets->addItem(new QListWidgetItem(
            style()->standardIcon(server ? QStyle::SP_DriveNetIcon : QStyle::SP_FileIcon), s.first));
    }
    lstSets->setCurrentRow(row);
    if (row >= 0) lstSets_Changed();
}

void AccountSetsDialog::lstSets_Changed() {
    const int row = lstSets->currentRow();
    if (row < 0 || row >= m_sets.size()) return;
    const auto& stored = m_sets[row];
    m_editing = stored.first;
    const AccountSet set = acctSetFrom(stored.first, stored.second);
    showSet(set, set.kind == AcctKind::File ? QString() : m_passwords.read(stored.first).value_or(QString()));
}

void AccountSetsDialog::showSet(const AccountSet& set, const QString& password) {
    txtName->setText(set.name);
    int index = cboKind->findData(int(set.kind));
    if (index < 0) {
        cboKind->addItem(kindName(set.kind), int(set.kind));
        index = cboKind->count() - 1;
    }
    cboKind->setCurrentIndex(index);
    txtFile->setText(set.file);
    txtHost->setText(set.host);
    txtPort->setText(set.port);
    txtDatabase->setText(set.database);
    txtSource->setText(set.source);
    txtUser->setText(set.user);
    txtPassword->setText(password);
    // A long path or driver string shows its beginning.
    for (QLineEdit* box : {txtFile, txtSource})
        box->setCursorPosition(0);
    showKind();
}

void AccountSetsDialog::showKind() {
    const auto kind = AcctKind(cboKind->currentData().toInt());
    const bool file = kind == AcctKind::File, pg = kind == AcctKind::PostgreSQL;
    m_form->setRowVisible(2, file);
    m_form->setRowVisible(3, pg);
    m_form->setRowVisible(4, pg);
    m_form->setRowVisible(5, pg);
    m_form->setRowVisible(6, kind == AcctKind::ODBC);
    m_form->setRowVisible(7, !file);
    m_form->setRowVisible(8, !file);
    m_form->setRowVisible(9, !file);
}

AccountSet AccountSetsDialog::readControls() const {
    AccountSet set;
    set.name = txtName->text().trimmed();
    set.kind = AcctKind(cboKind->currentData().toInt());
    set.file = txtFile->text().trimmed();
    set.host = txtHost->text().trimmed();
    set.port = txtPort->text().trimmed();
    set.database = txtDatabase->text().trimmed();
    set.source = txtSource->text().trimmed();
    set.user = txtUser->text().trimmed();
    return set;
}

bool AccountSetsDialog::refused(const AccountSet& set) {
    QString field;
    const QString problem = acctSetProblem(set, &field);
    if (problem.isEmpty()) return false;
    showMsg(problem);
    const QHash<QString, QLineEdit*> boxes{
        {QStringLiteral("name"), txtName},         {QStringLiteral("file"), txtFile},
        {QStringLiteral("host"), txtHost},         {QStringLiteral("port"), txtPort},
        {QStringLiteral("database"), txtDatabase}, {QStringLiteral("source"), txtSource}};
    if (QLineEdit* box = boxes.value(field)) box->setFocus();
    return true;
}

void AccountSetsDialog::cmdNew_Click() {
    lstSets->setCurrentRow(-1);
    m_editing.clear();
    showSet(AccountSet{}, QString());
    txtName->setFocus();
}

void AccountSetsDialog::cmdSave_Click() {
    const AccountSet set = readControls();
    if (refused(set)) return;
    int at = -1;
    for (int i = 0; i < m_sets.size(); ++i) {
        if (m_sets[i].first == set.name && set.name != m_editing) {
            showMsg(QStringLiteral("账套“%1”已存在!").arg(set.name));
            txtName->setFocus();
            return;
        }
        if (m_sets[i].first == m_editing) at = i;
    }
    const QPair<QString, QString> stored{set.name, acctConnString(set)};
    if (at >= 0)
        m_sets[at] = stored;
    else
        m_sets.append(stored);
    saveAcctSets(m_sets);
    if (!m_editing.isEmpty() && m_editing != set.name) m_passwords.remove(m_editing);
    bool kept = true;
    if (set.kind == AcctKind::File)
        m_passwords.remove(set.name);
    else
        kept = m_passwords.write(set.name, txtPassword->text());
    m_editing = set.name;
    fillList(set.name);
    showMsg(kept ? QStringLiteral("保存成功!")
                 : QStringLiteral("账套已保存。没有可用的钥匙串服务，密码未保存：登录时将询问密码。"));
}

void AccountSetsDialog::cmdDelete_Click() {
    const int row = lstSets->currentRow();
    if (row < 0 || row >= m_sets.size()) {
        showMsg(QStringLiteral("请选择要删除的账套!"));
        return;
    }
    const QString name = m_sets[row].first;
    if (!askYesNo(QStringLiteral("确定要删除账套“%1”吗?").arg(name))) return;
    m_sets.removeAt(row);
    saveAcctSets(m_sets);
    m_passwords.remove(name);
    m_editing.clear();
    fillList(m_sets.isEmpty() ? QString() : m_sets.value(qMin(row, m_sets.size() - 1)).first);
    if (m_sets.isEmpty()) cmdNew_Click();
}

void AccountSetsDialog::cmdTest_Click() {
    AccountSet set = readControls();
    // A connection can be tried before the set has a name.
    if (set.name.isEmpty()) set.name = QStringLiteral("-");
    if (refused(set)) return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QString details;
    const QString failure = testAcctConnection(acctConnString(set, txtPassword->text()), &details);
    QApplication::restoreOverrideCursor();
    showMsg(failure.isEmpty() ? QStringLiteral("连接成功!") : failure, details);
}

void AccountSetsDialog::cmdBrowse_Click() {
    const QString path =
        QFileDialog::getOpenFileName(this, QStringLiteral("选择账套数据库"), txtFile->text(),
                                     QStringLiteral("账套数据库 (*.db *.sqlite);;所有文件 (*)"));
    if (!path.isEmpty()) txtFile->setText(path);
}
