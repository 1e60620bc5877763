#include "app/ui/LoginDialog.h"

#include "app/AccountSets.h"
#include "app/AppStore.h"
#include "app/KeychainPasswordStore.h"
#include "app/ui/AccountSetsDialog.h"

#include "app/ui/LoginService.h"
#include "common/Connection.h"
#include "common/DbProcedures.h"
#include "common/LoginProps.h"
#include "common/Messages.h"
#include "common/Paths.h"
#include "common/SettingsStore.h"
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {
QString sqliteConn(const QString& path) {
    return QStringLiteral("Provider=SQLite;Data Source=") + path;
}
} // namespace

LoginDialog::LoginDialog(QWidget* parent, PasswordStore* passwords)
    : QDialog(parent), m_passwords(passwords) {
    if (!m_passwords) {
        m_ownPasswords = std::make_unique<KeychainPasswordStore>();
        m_passwords = m_ownPasswords.get();
    }
    setObjectName(QStringLiteral("LoginDialog"));
    setWindowTitle(QStringLiteral("QOR 系统登录"));

    cboAcct = new QComboBox(this);
    cboAcct->setObjectName(QStringLiteral("cboAcct"));
    cboAcct->setEditable(true);
    cboAcct->setInsertPolicy(QComboBox::NoInsert);
    cboAcct->setMinimumWidth(260);
    cboAcct->setToolTip(QStringLiteral("账套名称、账套数据库文件，或以 Provider= 开头的连接字符串"));
    cmdBrowse = new QPushButton(QStringLiteral("浏览(&B)..."), this);
    cmdBrowse->setObjectName(QStringLiteral("cmdBrowse"));
    cmdBrowse->setAutoDefault(false);
    cmdAcctSets = new QPushButton(QStringLiteral("账套管理(&M)..."), this);
    cmdAcctSets->setObjectName(QStringLiteral("cmdAcctSets"));
    cmdAcctSets->setAutoDefault(false);
    cmdAcctSets->setToolTip(
        QStringLiteral("添加、修改、删除账套：本地账套文件、PostgreSQL 服务器或 ODBC 数据源"));
    txtUser = new QLineEdit(this);
    txtUser->setObjectName(QStringLiteral("txtUser"));
    txtUser->setMaxLength(50);
    txtPassword = new QLineEdit(this);
    txtPassword->setObjectName(QStringLiteral("txtPassword"));
    txtPassword->setEchoMode(QLineEdit::Password);
    chkNewPassword = new QCheckBox(QStringLiteral("修改密码(&P)"), this);
    chkNewPassword->setObjectName(QStringLiteral("chkNewPassword"));
    txtNewPassword = new QLineEdit(this);
    txtNewPassword->setObjectName(QStringLiteral("txtNewPassword"));
    txtNewPassword->setEchoMode(QLineEdit::Password);
    txtConfirm = new QLineEdit(this);
    txtConfirm->setObjectName(QStringLiteral("txtConfirm"));
    txtConfirm->setEchoMode(QLineEdit::Password);
    txtNewPassword->setEnabled(false);
    txtConfirm->setEnabled(false);
    cmdOK = new QPushButton(QStringLiteral("登录(&L)"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdCancel = new QPushButton(QStringLiteral("取消(&C)"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setAutoDefault(false);

    auto* acctRow = new QHBoxLayout;
    acctRow->addWidget(cboAcct, 1);
    acctRow->addWidget(cmdBrowse);
    acctRow->addWidget(cmdAcctSets);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("账套:"), acctRow);
    form->addRow(QStringLiteral("用户名:"), txtUser);
    form->addRow(QStringLiteral("密码:"), txtPassword);
    form->addRow(QString(), chkNewPassword);
    form->addRow(QStringLiteral("新密码:"), txtNewPassword);
    form->addRow(QStringLiteral("确认新密码:"), txtConfirm);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addSpacing(8);
    layout->addLayout(buttons);

    connect(chkNewPassword, &QCheckBox::toggled, this, [this](bool on) {
        txtNewPassword->setEnabled(on);
        txtConfirm->setEnabled(on);
    });
    connect(cmdOK, &QPushButton::clicked, this, &LoginDialog::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(cmdBrowse, &QPushButton::clicked, this, &LoginDialog::cmdBrowse_Click);
    connect(cmdAcctSets, &QPushButton::clicked, this, &LoginDialog::cmdAcctSets_Click);
    setFixedSize(sizeHint().expandedTo(QSize(520, 0)));
}

LoginDialog::~LoginDialog() = default;

void LoginDialog::init(const QString& programFolder, const QString& user, const QString& password) {
    m_folder = programFolder;
    fillSets(lastAcctSet());
    txtUser->setText(user);
    txtPassword->setText(password);
    if (!user.isEmpty()) txtPassword->setFocus();
}

void LoginDialog::fillSets(const QString& current) {
    m_sets = loadAcctSets();
    const QString demo = withTrailingSeparator(m_folder) + QStringLiteral("QORDemo.db");
    bool hasDemo = false;
    for (const auto& s : m_sets)
        hasDemo = hasDemo || s.second == sqliteConn(demo);
    if (!hasDemo && QFileInfo(demo).isFile()) m_sets.prepend({QStringLiteral("QORDemo"), sqliteConn(demo)});

    cboAcct->clear();
    for (const auto& s : m_sets)
        cboAcct->addItem(s.first, s.second);
    const int found = cboAcct->findText(current);
    cboAcct->setCurrentIndex(found >= 0 ? found : (m_sets.isEmpty() ? -1 : 0));
}

QPair<QString, QString> LoginDialog::chosenAcct() const {
    const QString text = cboAcct->currentText().trimmed();
    for (const auto& s : m_sets)
        if (s.first == text) return s;
    if (text.startsWith(QStringLiteral("Provider="), Qt::CaseInsensitive)) {
        QString name = connectionStringValue(text, QStringLiteral("Database"));
        if (name.isEmpty()) name = connectionStringValue(text, QStringLiteral("DSN"));
        if (name.isEmpty())
            name = QFileInfo(connectionStringValue(text, QStringLiteral("Data Source"))).baseName();
        // Named after the string itself, never with its password: the name is shown and remembered.
        return {name.isEmpty() ? withoutPassword(text) : name, text};
    }
    return {QFileInfo(text).baseName(), sqliteConn(QFileInfo(text).absoluteFilePath())};
}

bool LoginDialog::tryLogin() {
    if (cboAcct->currentText().trimmed().isEmpty()) {
        showMsg(QStringLiteral("请选择账套!"));
        cboAcct->setFocus();
        return false;
    }
    const QString user = txtUser->text().trimmed();
    if (user.isEmpty()) {
        showMsg(QStringLiteral("请输入用户名!"));
        txtUser->setFocus();
        return false;
    }
    const auto acct = chosenAcct();
    // The connection string travels between braces in propsString: a value opened with a brace must be
    // closed, or the string would be cut short.
    QString connString = normalizedConnectionString(acct.second);
    if (!bracesBalanced(connString)) {
        showMsg(QStringLiteral("账套的连接字符串中的花括号不成对!"));
        cboAcct->setFocus();
        return false;
    }
    if (chkNewPassword->isChecked() && txtNewPassword->text() != txtConfirm->text()) {
        showMsg(QStringLiteral("两次输入的新密码不一致!"));
        txtNewPassword->setFocus();
        return false;
    }
    // A password typed into a connection string is used, and kept in the store like the others.
    QString typedPassword;
    const QString stored = withoutPassword(acct.second, &typedPassword);
    if (isServerConnString(acct.second) && typedPassword.isEmpty()) {
        const std::optional<QString> password = databasePassword(acct.first);
        if (!password) return false;
        connString = normalizedConnectionString(withPassword(stored, *password));
    }
    ConnectionPtr conn;
    try {
        conn = Connection::open(connString);
        const std::optional<LoginUser> found = findLoginUser(*conn, user);
        if (found && found->forbidden) {
            showMsg(QStringLiteral("该用户已被禁用!"));
            txtUser->setFocus();
            return false;
        }
        if (!found || !passwordMatches(*found, txtPassword->text())) {
            showMsg(QStringLiteral("用户名或密码错误!"));
            txtPassword->setFocus();
            txtPassword->selectAll();
            return false;
        }
        if (chkNewPassword->isChecked()) changePassword(*conn, *found, txtNewPassword->text());
        m_userName = user;
    } catch (const DbError& e) {
        showMsg(QStringLiteral("无法登录账套“%1”: %2").arg(acct.first, e.description()));
        cboAcct->setFocus();
        return false;
    }
    conn->close();
    m_acctName = acct.first;
    m_props = loginPropsText(connString, m_userName, m_acctName);
    rememberAcctSet(acct.first, stored);
    if (!typedPassword.isEmpty()) m_passwords->write(acct.first, typedPassword);
    return true;
}

std::optional<QString> LoginDialog::databasePassword(const QString& name) {
    if (std::optional<QString> kept = m_passwords->read(name)) return kept;
    // No keychain, or nothing kept in it: the password is asked for this login only.
    QInputDialog ask(this);
    ask.setObjectName(QStringLiteral("dlgDbPassword"));
    ask.setWindowTitle(QStringLiteral("数据库密码"));
    ask.setLabelText(QStringLiteral("请输入账套“%1”的数据库密码:").arg(name));
    ask.setTextEchoMode(QLineEdit::Password);
    ask.setOkButtonText(QStringLiteral("确定"));
    ask.setCancelButtonText(QStringLiteral("取消"));
    if (ask.exec() != QDialog::Accepted) return std::nullopt;
    return ask.textValue();
}

void LoginDialog::cmdAcctSets_Click() {
    const QString current = cboAcct->currentText();
    {
        AccountSetsDialog sets(*m_passwords, this);
        sets.init();
        sets.exec();
    }
    fillSets(current);
    cboAcct->setFocus();
}

void LoginDialog::cmdOK_Click() {
    if (tryLogin()) accept();
}

void LoginDialog::cmdBrowse_Click() {
    const QString path =
        QFileDialog::getOpenFileName(this, QStringLiteral("选择账套数据库"), QString(),
                                     QStringLiteral("账套数据库 (*.db *.sqlite);;所有文件 (*)"));
    if (path.isEmpty()) return;
    cboAcct->setEditText(path);
    // The set is chosen: the password is what comes next.
    txtPassword->setFocus();
}
