#include "frmLogin.h"

#include "AppStore.h"

#include "clsLogin.h"
#include "common/Connection.h"
#include "common/SettingsStore.h"
#include "common/modBasic.h"
#include "common/modFunction.h"
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {
const QString kApp = QStringLiteral("QOR");
const QString kSection = QStringLiteral("Login");
// System accounts (identifiers up to this one) belong to the accounting product and cannot log in.

QString sqliteConn(const QString& path) {
    return QStringLiteral("Provider=SQLite;Data Source=") + path;
}
} // namespace

frmLogin::frmLogin(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmLogin"));
    setWindowTitle(QStringLiteral("QOR 系统登录"));

    cboAcct = new QComboBox(this);
    cboAcct->setObjectName(QStringLiteral("cboAcct"));
    cboAcct->setEditable(true);
    cboAcct->setInsertPolicy(QComboBox::NoInsert);
    cboAcct->setMinimumWidth(260);
    cboAcct->setToolTip(QStringLiteral("账套名称、账套数据库文件，或以 Provider= 开头的连接字符串"));
    cmdBrowse = new QPushButton(QStringLiteral("浏览..."), this);
    cmdBrowse->setObjectName(QStringLiteral("cmdBrowse"));
    cmdBrowse->setAutoDefault(false);
    txtUser = new QLineEdit(this);
    txtUser->setObjectName(QStringLiteral("txtUser"));
    txtUser->setMaxLength(50);
    txtPassword = new QLineEdit(this);
    txtPassword->setObjectName(QStringLiteral("txtPassword"));
    txtPassword->setEchoMode(QLineEdit::Password);
    chkNewPassword = new QCheckBox(QStringLiteral("修改密码"), this);
    chkNewPassword->setObjectName(QStringLiteral("chkNewPassword"));
    txtNewPassword = new QLineEdit(this);
    txtNewPassword->setObjectName(QStringLiteral("txtNewPassword"));
    txtNewPassword->setEchoMode(QLineEdit::Password);
    txtConfirm = new QLineEdit(this);
    txtConfirm->setObjectName(QStringLiteral("txtConfirm"));
    txtConfirm->setEchoMode(QLineEdit::Password);
    txtNewPassword->setEnabled(false);
    txtConfirm->setEnabled(false);
    cmdOK = new QPushButton(QStringLiteral("登录"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdCancel = new QPushButton(QStringLiteral("取消"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setAutoDefault(false);

    auto* acctRow = new QHBoxLayout;
    acctRow->addWidget(cboAcct, 1);
    acctRow->addWidget(cmdBrowse);
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
    connect(cmdOK, &QPushButton::clicked, this, &frmLogin::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(cmdBrowse, &QPushButton::clicked, this, &frmLogin::cmdBrowse_Click);
    setFixedSize(sizeHint().expandedTo(QSize(440, 0)));
}

void frmLogin::Init(const QString& programFolder, const QString& user, const QString& password) {
    m_sets.clear();
    const QStringList lines =
        GetSetting(kApp, kSection, QStringLiteral("AcctSets")).split(u'\n', Qt::SkipEmptyParts);
    for (const QString& line : lines) {
        const QString name = SplitItem(line, QStringLiteral("\t"), 0);
        const QString conn = SplitItem(line, QStringLiteral("\t"), 1);
        if (!name.isEmpty() && !conn.isEmpty()) m_sets.append({name, conn});
    }
    const QString demo = WithTrailingSeparator(programFolder) + QStringLiteral("QORDemo.db");
    bool hasDemo = false;
    for (const auto& s : m_sets)
        hasDemo = hasDemo || s.second == sqliteConn(demo);
    if (!hasDemo && QFileInfo(demo).isFile()) m_sets.prepend({QStringLiteral("QORDemo"), sqliteConn(demo)});

    cboAcct->clear();
    for (const auto& s : m_sets)
        cboAcct->addItem(s.first, s.second);
    const int last = cboAcct->findText(GetSetting(kApp, kSection, QStringLiteral("LastAcct")));
    cboAcct->setCurrentIndex(last >= 0 ? last : (m_sets.isEmpty() ? -1 : 0));
    txtUser->setText(user);
    txtPassword->setText(password);
    if (!user.isEmpty()) txtPassword->setFocus();
}

QPair<QString, QString> frmLogin::chosenAcct() const {
    const QString text = cboAcct->currentText().trimmed();
    for (const auto& s : m_sets)
        if (s.first == text) return s;
    if (text.startsWith(QStringLiteral("Provider="), Qt::CaseInsensitive)) {
        QString name = ConnectionStringValue(text, QStringLiteral("Database"));
        if (name.isEmpty()) name = ConnectionStringValue(text, QStringLiteral("DSN"));
        if (name.isEmpty())
            name = QFileInfo(ConnectionStringValue(text, QStringLiteral("Data Source"))).baseName();
        return {name.isEmpty() ? text : name, text};
    }
    return {QFileInfo(text).baseName(), sqliteConn(QFileInfo(text).absoluteFilePath())};
}

void frmLogin::rememberAcct(const QString& name, const QString& conn) {
    QStringList lines;
    lines << name + u'\t' + conn;
    for (const auto& s : m_sets)
        if (s.first != name) lines << s.first + u'\t' + s.second;
    SaveSetting(kApp, kSection, QStringLiteral("AcctSets"), lines.join(u'\n'));
    SaveSetting(kApp, kSection, QStringLiteral("LastAcct"), name);
}

bool frmLogin::TryLogin() {
    if (cboAcct->currentText().trimmed().isEmpty()) {
        ShowMsg(QStringLiteral("请选择账套!"));
        cboAcct->setFocus();
        return false;
    }
    const QString user = txtUser->text().trimmed();
    if (user.isEmpty()) {
        ShowMsg(QStringLiteral("请输入用户名!"));
        txtUser->setFocus();
        return false;
    }
    const auto acct = chosenAcct();
    // The connection string travels between braces in PropsString: braces inside it (Driver={…}) must
    // come in pairs, or the string would be cut short.
    if (!BracesBalanced(acct.second)) {
        ShowMsg(QStringLiteral("账套的连接字符串中的花括号不成对!"));
        cboAcct->setFocus();
        return false;
    }
    if (chkNewPassword->isChecked() && txtNewPassword->text() != txtConfirm->text()) {
        ShowMsg(QStringLiteral("两次输入的新密码不一致!"));
        txtNewPassword->setFocus();
        return false;
    }
    ConnectionPtr conn;
    try {
        conn = Connection::open(acct.second);
        const std::optional<LoginUser> found = FindLoginUser(*conn, user);
        if (found && found->forbidden) {
            ShowMsg(QStringLiteral("该用户已被禁用!"));
            txtUser->setFocus();
            return false;
        }
        if (!found || !PasswordMatches(*found, txtPassword->text())) {
            ShowMsg(QStringLiteral("用户名或密码错误!"));
            txtPassword->setFocus();
            txtPassword->selectAll();
            return false;
        }
        if (chkNewPassword->isChecked()) ChangePassword(*conn, *found, txtNewPassword->text());
        m_userName = user;
    } catch (const DbError& e) {
        ShowMsg(QStringLiteral("无法登录账套“%1”: %2").arg(acct.first, e.description()));
        cboAcct->setFocus();
        return false;
    }
    conn->Close();
    m_acctName = acct.first;
    m_props = u'{' + acct.second + QStringLiteral("};UserName=") + m_userName + QStringLiteral(";AcctName=") +
              m_acctName;
    rememberAcct(acct.first, acct.second);
    return true;
}

void frmLogin::cmdOK_Click() {
    if (TryLogin()) accept();
}

void frmLogin::cmdBrowse_Click() {
    const QString path =
        QFileDialog::getOpenFileName(this, QStringLiteral("选择账套数据库"), QString(),
                                     QStringLiteral("账套数据库 (*.db *.sqlite);;所有文件 (*)"));
    if (!path.isEmpty()) cboAcct->setEditText(path);
}
