// The accounting sets of the login: their connection strings, the 账套管理 dialog, and the passwords of
// server sets, which go to the password store and never into the settings file.
#include "app/AccountSets.h"
#include "app/ui/AccountSetsDialog.h"
#include "app/ui/LoginDialog.h"
#include "common/LoginProps.h"
#include "common/Paths.h"
#include "support/TestSupport.h"
#include <QComboBox>
#include <QInputDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QtTest/QtTest>

namespace {
// The keychain of a test: a map, or a desktop without a keychain service.
class MemoryPasswordStore : public PasswordStore {
public:
    std::optional<QString> read(const QString& name) override {
        if (!available || !entries.contains(name)) return std::nullopt;
        return entries.value(name);
    }
    bool write(const QString& name, const QString& password) override {
        if (!available) return false;
        entries.insert(name, password);
        return true;
    }
    void remove(const QString& name) override { entries.remove(name); }
    bool available = true;
    QHash<QString, QString> entries;
};

QString settingsPath() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Taxferry"),
                     QStringLiteral("QOR"))
        .fileName();
}

// The settings file without the test's folder, whose random name may hold any two letters (a search for a
// password would find "pw" in /tmp/test_acctsets-pwXXXX).
QByteArray settingsBytes(const QString& folder) {
    QFile f(settingsPath());
    return f.open(QIODevice::ReadOnly) ? f.readAll().replace(folder.toUtf8(), QByteArray()) : QByteArray();
}

QStringList storedNames() {
    QStringList names;
    for (const auto& s : loadAcctSets())
        names << s.first;
    return names;
}

QString storedConn(const QString& name) {
    for (const auto& s : loadAcctSets())
        if (s.first == name) return s.second;
    return {};
}

void fill(AccountSetsDialog& d, const QString& name, AcctKind kind, const QStringList& values,
          const QString& password = QString()) {
    d.txtName->setText(name);
    d.cboKind->setCurrentIndex(d.cboKind->findData(int(kind)));
    QList<QLineEdit*> boxes;
    if (kind == AcctKind::File) boxes = {d.txtFile};
    if (kind == AcctKind::PostgreSQL) boxes = {d.txtHost, d.txtPort, d.txtDatabase, d.txtUser};
    if (kind == AcctKind::ODBC) boxes = {d.txtSource, d.txtUser};
    for (int i = 0; i < boxes.size(); ++i)
        boxes[i]->setText(values.value(i));
    d.txtPassword->setText(password);
}

void select(AccountSetsDialog& d, const QString& name) {
    const auto items = d.lstSets->findItems(name, Qt::MatchExactly);
    QVERIFY2(!items.isEmpty(), qPrintable(name));
    d.lstSets->setCurrentItem(items.first());
}
} // namespace

class TestAcctSets : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() {
        QFile::remove(settingsPath());
        m_db = std::make_unique<TestDatabases>();
        m_sink = std::make_unique<RecorderSink>();
    }
    void cleanup() {
        m_sink.reset();
        m_db.reset();
    }

    // The string each kind of set gives, read back by the connection layer and by the dialog.
    void connectionStrings_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QStringList>("values"); // file | host, port, database, user | source, user
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("expected");
        const int file = int(AcctKind::File), pg = int(AcctKind::PostgreSQL), odbc = int(AcctKind::ODBC);
        QTest::newRow("file") << file << QStringList{"/data/甲公司.db"} << ""
                              << "Provider=SQLite;Data Source=/data/甲公司.db";
        QTest::newRow("file whose path holds a semicolon") << file << QStringList{"/data/a;b.db"} << ""
                                                           << "Provider=SQLite;Data Source={/data/a;b.db}";
        QTest::newRow("PostgreSQL with everything")
            << pg << QStringList{"db.example", "5433", "qor", "会计"} << " p;w=x"
            << "Provider=PostgreSQL;Host=db.example;Port=5433;Database=qor;User ID=会计;Password={ p;w=x}";
        QTest::newRow("PostgreSQL on the default port without a password")
            << pg << QStringList{"/run/postgresql", "", "qor", ""} << ""
            << "Provider=PostgreSQL;Host=/run/postgresql;Database=qor";
        QTest::newRow("PostgreSQL password with braces")
            << pg << QStringList{"h", "", "qor", "u"} << "pa}ss{x"
            << "Provider=PostgreSQL;Host=h;Database=qor;User ID=u;Password={pa}}ss{x}";
        QTest::newRow("ODBC password ending in a brace") << odbc << QStringList{"QORSQL", "sa"} << "a}}b}"
                                                         << "Provider=ODBC;DSN=QORSQL;UID=sa;PWD={a}}}}b}}}";
        QTest::newRow("ODBC data source") << odbc << QStringList{"QORSQL", "sa"} << "x1"
                                          << "Provider=ODBC;DSN=QORSQL;UID=sa;PWD=x1";
        QTest::newRow("ODBC driver string")
            << odbc << QStringList{"Driver={ODBC Driver 18 for SQL Server};Server=srv;Database=QOR", "sa"}
            << "x1"
            << "Provider=ODBC;Driver={ODBC Driver 18 for SQL Server};Server=srv;Database=QOR;UID=sa;PWD=x1";
    }
    void connectionStrings() {
        QFETCH(int, kind);
        QFETCH(QStringList, values);
        QFETCH(QString, password);
        QFETCH(QString, expected);
        AccountSet set;
        set.name = QStringLiteral("甲");
        set.kind = AcctKind(kind);
        if (set.kind == AcctKind::File) set.file = values[0];
        if (set.kind == AcctKind::PostgreSQL) {
            set.host = values[0];
            set.port = values[1];
            set.database = values[2];
            set.user = values[3];
        }
        if (set.kind == AcctKind::ODBC) {
            set.source = values[0];
            set.user = values[1];
        }
        const QString conn = acctConnString(set, password);
        QCOMPARE(conn, expected);
        QVERIFY(bracesBalanced(conn));
        // The connection layer reads the password back whole.
        const QString key = set.kind == AcctKind::ODBC ? QStringLiteral("PWD") : QStringLiteral("Password");
        QCOMPARE(connectionStringValue(conn, key), password);
        // Stored without it, and read back into the same parts.
        QString taken;
        const QString stored = withoutPassword(conn, &taken);
        QCOMPARE(taken, password);
        QCOMPARE(stored, acctConnString(set));
        const AccountSet back = acctSetFrom(set.name, conn);
        QCOMPARE(int(back.kind), kind);
        QCOMPARE(QStringList({back.file, back.host, back.port, back.database, back.source, back.user}),
                 QStringList({set.file, set.host, set.port, set.database, set.source, set.user}));
    }

    // What the dialog refuses to store, with the box to correct in focus.
    void dialogRefuses_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QStringList>("values");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("focus");
        const int file = int(AcctKind::File), pg = int(AcctKind::PostgreSQL), odbc = int(AcctKind::ODBC);
        QTest::newRow("no name") << " " << file << QStringList{"/a.db"} << "请输入账套名称!"
                                 << "txtName";
        QTest::newRow("a tab in the name")
            << "a\tb" << file << QStringList{"/a.db"} << "账套名称不能含有制表符或换行!"
            << "txtName";
        QTest::newRow("no file") << "本地" << file << QStringList{""} << "请选择账套文件!"
                                 << "txtFile";
        QTest::newRow("no server") << "总部" << pg << QStringList{"", "", "qor", ""} << "请输入服务器!"
                                   << "txtHost";
        QTest::newRow("no database") << "总部" << pg << QStringList{"db", "5432", "", ""}
                                     << "请输入数据库名称!"
                                     << "txtDatabase";
        QTest::newRow("no data source")
            << "旧账" << odbc << QStringList{"", "sa"} << "请输入ODBC数据源或驱动字符串!"
            << "txtSource";
        QTest::newRow("unpaired brace in a driver string")
            << "旧账" << odbc << QStringList{"Driver={x;Server=y", ""} << "账套的连接字符串中的花括号不成对!"
            << "txtSource";
        QTest::newRow("name taken by another set")
            << "已有" << file << QStringList{"/b.db"} << "账套“已有”已存在!"
            << "txtName";
    }
    void dialogRefuses() {
        QFETCH(QString, name);
        QFETCH(int, kind);
        QFETCH(QStringList, values);
        QFETCH(QString, message);
        QFETCH(QString, focus);
        saveAcctSets({{QStringLiteral("已有"), QStringLiteral("Provider=SQLite;Data Source=/a.db")}});
        MemoryPasswordStore store;
        AccountSetsDialog d(store);
        d.init();
        d.show();
        QVERIFY(QTest::qWaitForWindowActive(&d));
        d.cmdNew->click();
        fill(d, name, AcctKind(kind), values);
        d.cmdSave->click();
        QCOMPARE(m_sink->texts(), QStringList{message});
        QCOMPARE(QApplication::focusWidget()->objectName(), focus);
        QCOMPARE(storedNames(), QStringList{"已有"});
    }

    // Add, change and remove through the dialog; the login offers what it holds.
    void dialogAddsChangesRemoves() {
        MemoryPasswordStore store;
        AccountSetsDialog d(store);
        d.init();
        d.show();
        QVERIFY(QTest::qWaitForWindowActive(&d));
        QCOMPARE(d.lstSets->count(), 0);
        QCOMPARE(QApplication::focusWidget(), d.txtName); // nothing stored: ready for a new set

        fill(d, QStringLiteral("本地"), AcctKind::File, {m_db->acctPath});
        d.cmdSave->click();
        d.cmdNew->click();
        fill(d, QStringLiteral("服务器"), AcctKind::PostgreSQL, {"db.example", "5433", "qor", "kj"},
             QStringLiteral("s3cret-pw"));
        QVERIFY(d.txtPassword->isVisible());
        QVERIFY(!d.txtFile->isVisible());
        d.cmdSave->click();
        QCOMPARE(m_sink->texts(), QStringList(2, QStringLiteral("保存成功!")));
        QCOMPARE(storedNames(), (QStringList{"本地", "服务器"}));
        QCOMPARE(storedConn(QStringLiteral("本地")),
                 QStringLiteral("Provider=SQLite;Data Source=") + m_db->acctPath);
        QCOMPARE(storedConn(QStringLiteral("服务器")),
                 QStringLiteral("Provider=PostgreSQL;Host=db.example;Port=5433;Database=qor;User ID=kj"));
        QCOMPARE(store.entries, (QHash<QString, QString>{{"服务器", "s3cret-pw"}}));
        QVERIFY(!settingsBytes(m_db->folder()).contains("s3cret"));

        // Change: the password moves with a new name; the form shows what was stored.
        select(d, QStringLiteral("本地"));
        QCOMPARE(d.txtFile->text(), m_db->acctPath);
        select(d, QStringLiteral("服务器"));
        QCOMPARE(d.txtPort->text(), QStringLiteral("5433"));
        QCOMPARE(d.txtPassword->text(), QStringLiteral("s3cret-pw"));
        d.txtName->setText(QStringLiteral("总部"));
        d.txtPort->clear();
        d.txtPassword->setText(QStringLiteral("n3w-pw"));
        d.cmdSave->click();
        QCOMPARE(storedNames(), (QStringList{"本地", "总部"}));
        QCOMPARE(storedConn(QStringLiteral("总部")),
                 QStringLiteral("Provider=PostgreSQL;Host=db.example;Database=qor;User ID=kj"));
        QCOMPARE(store.entries, (QHash<QString, QString>{{"总部", "n3w-pw"}}));
        QVERIFY(!settingsBytes(m_db->folder()).contains("pw"));

        // The login offers both (and the demo set of the program folder).
        {
            LoginDialog login(nullptr, &store);
            login.init(m_db->folder(), QStringLiteral("super"), QString());
            QStringList offered;
            for (int i = 0; i < login.cboAcct->count(); ++i)
                offered << login.cboAcct->itemText(i);
            QCOMPARE(offered, (QStringList{"本地", "总部"}));
        }

        // Remove: No keeps it, Yes removes the set and its password.
        m_sink->clear();
        m_sink->answers << false << true;
        select(d, QStringLiteral("总部"));
        d.cmdDelete->click();
        QCOMPARE(storedNames(), (QStringList{"本地", "总部"}));
        d.cmdDelete->click();
        QCOMPARE(m_sink->texts(), QStringList(2, QStringLiteral("确定要删除账套“总部”吗?")));
        QCOMPARE(storedNames(), QStringList{"本地"});
        QVERIFY(store.entries.isEmpty());
        QCOMPARE(d.lstSets->currentItem()->text(), QStringLiteral("本地"));
    }

    // Without a keychain service the set is stored and its password is not: the login asks for it.
    void dialogWithoutKeychain() {
        MemoryPasswordStore store;
        store.available = false;
        AccountSetsDialog d(store);
        d.init();
        fill(d, QStringLiteral("服务器"), AcctKind::ODBC, {"QORSQL", "sa"}, QStringLiteral("s3cret-pw"));
        d.cmdSave->click();
        QCOMPARE(m_sink->texts(),
                 QStringList{"账套已保存。没有可用的钥匙串服务，密码未保存：登录时将询问密码。"});
        QCOMPARE(storedConn(QStringLiteral("服务器")), QStringLiteral("Provider=ODBC;DSN=QORSQL;UID=sa"));
        QVERIFY(!settingsBytes(m_db->folder()).contains("s3cret"));
    }

    // 测试连接 opens the set with what the form holds and reports what the database said.
    void testConnection_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QStringList>("values");
        QTest::addColumn<QString>("starts");   // the message begins so
        QTest::addColumn<QString>("contains"); // and holds the database's own words
        QTest::newRow("the demo file") << int(AcctKind::File) << QStringList{"ACCT"} << "连接成功!"
                                       << "";
        QTest::newRow("a missing file") << int(AcctKind::File) << QStringList{"DIR/none.db"}
                                        << "连接失败: 找不到数据库文件“DIR/none.db”。"
                                        << "";
        // Nothing listens on port 1 of this machine: said in Chinese, the driver's words under 详细信息.
        QTest::newRow("a server that refuses")
            << int(AcctKind::PostgreSQL) << QStringList{"127.0.0.1", "1", "qor", "kj"}
            << "连接服务器失败：无法连接到服务器"
            << "Connection refused";
        QTest::newRow("an unknown ODBC data source")
            << int(AcctKind::ODBC) << QStringList{"NoSuchTaxferrySource", ""} << "连接失败: "
            << "Data source name not found";
    }
    void testConnection() {
        QFETCH(int, kind);
        QFETCH(QStringList, values);
        QFETCH(QString, starts);
        QFETCH(QString, contains);
        for (QString& v : values)
            v.replace(QStringLiteral("ACCT"), m_db->acctPath).replace(QStringLiteral("DIR"), m_db->folder());
        starts.replace(QStringLiteral("DIR"), m_db->folder());
        MemoryPasswordStore store;
        AccountSetsDialog d(store);
        d.init();
        fill(d, QString(), AcctKind(kind), values, QStringLiteral("pw"));
        d.cmdTest->click();
        QCOMPARE(m_sink->entries.size(), 1);
        QVERIFY2(m_sink->last().startsWith(starts), qPrintable(m_sink->last()));
        const QString said = m_sink->last() + m_sink->details.join(u'\n');
        QVERIFY2(said.contains(contains), qPrintable(said));
        QVERIFY(loadAcctSets().isEmpty()); // a test stores nothing
    }

    // At login a server set's password comes from the store, or is asked when the store has none; it
    // reaches the connection but never the settings.
    void loginPassword_data() {
        QTest::addColumn<bool>("keychain");
        QTest::addColumn<QString>("kept");  // in the store before the login
        QTest::addColumn<QString>("typed"); // in the connection string typed into the login; empty: the set
        QTest::addColumn<QString>("asked"); // answer to the password question; "-" none asked, "cancel"
        QTest::addColumn<QString>("used");  // password the login connected with; "-" no login
        QTest::addColumn<QString>("keptAfter");
        QTest::newRow("kept in the keychain") << true << "pw1"
                                              << ""
                                              << "-"
                                              << "pw1"
                                              << "pw1";
        QTest::newRow("empty password kept") << true << ""
                                             << ""
                                             << "-"
                                             << ""
                                             << "";
        QTest::newRow("no keychain: asked, not kept") << false << "-"
                                                      << ""
                                                      << "pw2"
                                                      << "pw2"
                                                      << "-";
        QTest::newRow("nothing kept: asked") << true << "-"
                                             << ""
                                             << "pw3"
                                             << "pw3"
                                             << "-";
        QTest::newRow("question cancelled") << false << "-"
                                            << ""
                                            << "cancel"
                                            << "-"
                                            << "-";
        QTest::newRow("kept, with braces, ; and =") << true << "pa}ss{;=}}"
                                                    << ""
                                                    << "-"
                                                    << "pa}ss{;=}}"
                                                    << "pa}ss{;=}}";
        QTest::newRow("asked, ending in a brace") << false << "-"
                                                  << ""
                                                  << "x{y}"
                                                  << "x{y}"
                                                  << "-";
        QTest::newRow("typed in braces, then kept") << true << "-"
                                                    << "{q}}r;s=t}"
                                                    << "-"
                                                    << "q}r;s=t"
                                                    << "q}r;s=t";
        QTest::newRow("typed with a brace, not in braces") << true << "-"
                                                           << "q}r"
                                                           << "-"
                                                           << "q}r"
                                                           << "q}r";
        QTest::newRow("typed into the connection string, then kept") << true << "-"
                                                                     << "pw4"
                                                                     << "-"
                                                                     << "pw4"
                                                                     << "pw4";
    }
    void loginPassword() {
        QFETCH(bool, keychain);
        QFETCH(QString, kept);
        QFETCH(QString, typed);
        QFETCH(QString, asked);
        QFETCH(QString, used);
        QFETCH(QString, keptAfter);
        // SQLite's ODBC driver reaches the test set and ignores the password: what the login hands on shows
        // it.
        const QString conn = QStringLiteral("Provider=ODBC;Driver={SQLite3};Database=") + m_db->acctPath;
        saveAcctSets({{QStringLiteral("服务器"), conn}});
        MemoryPasswordStore store;
        if (kept != u"-") store.entries.insert(QStringLiteral("服务器"), kept);
        store.available = keychain;
        LoginDialog login(nullptr, &store);
        login.init(m_db->folder(), QStringLiteral("super"), QString());
        login.show();
        if (!typed.isEmpty())
            login.cboAcct->setEditText(conn + QStringLiteral(";PWD=") + typed);
        else
            login.cboAcct->setCurrentIndex(login.cboAcct->findText(QStringLiteral("服务器")));
        QString question;
        whenModal(
            [&](QWidget* w) {
                auto* ask = qobject_cast<QInputDialog*>(w);
                QVERIFY(ask);
                question = ask->labelText();
                if (asked == u"cancel") {
                    ask->reject();
                } else {
                    ask->setTextValue(asked);
                    ask->accept();
                }
            },
            asked == u"-" ? 5 : 3000, &login);
        const bool ok = login.tryLogin();
        QCOMPARE(question.isEmpty(), asked == u"-");
        if (!question.isEmpty()) QCOMPARE(question, QStringLiteral("请输入账套“服务器”的数据库密码:"));
        QCOMPARE(ok, used != u"-");
        QVERIFY(m_sink->entries.isEmpty());
        // A typed connection string is named after its database.
        const QString name = typed.isEmpty() ? QStringLiteral("服务器") : m_db->acctPath;
        if (ok) {
            QCOMPARE(connectionStringValue(parseConnProps(login.propsString(), 0), QStringLiteral("PWD")),
                     used);
            QCOMPARE(storedConn(name), conn);
        }
        QCOMPARE(store.entries.value(name, QStringLiteral("-")), keptAfter);
        QVERIFY(!settingsBytes(m_db->folder()).contains("pw"));
    }

    // 账套管理 from the login: what is added there is offered at once.
    void loginOpensTheDialog() {
        MemoryPasswordStore store;
        LoginDialog login(nullptr, &store);
        login.init(m_db->folder(), QStringLiteral("super"), QString());
        login.show();
        whenModal([&](QWidget* w) {
            auto* d = qobject_cast<AccountSetsDialog*>(w);
            QVERIFY(d);
            fill(*d, QStringLiteral("新账套"), AcctKind::File, {m_db->acctPath});
            d->cmdSave->click();
            d->cmdClose->click();
        });
        login.cmdAcctSets->click();
        QVERIFY(login.cboAcct->findText(QStringLiteral("新账套")) >= 0);
        login.cboAcct->setCurrentIndex(login.cboAcct->findText(QStringLiteral("新账套")));
        QVERIFY(login.tryLogin());
        QCOMPARE(login.acctName(), QStringLiteral("新账套"));
    }

private:
    std::unique_ptr<TestDatabases> m_db;
    std::unique_ptr<RecorderSink> m_sink;
};

QTEST_MAIN(TestAcctSets)
#include "test_acctsets.moc"
