#include "TestSupport.h"

#include "common/GbkCodec.h"
#include "common/modDefine.h"
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <QtTest/QtTest>

RecorderSink::RecorderSink() {
    m_previous = SetMessageSink(this);
}
RecorderSink::~RecorderSink() {
    SetMessageSink(m_previous);
}

bool RecorderSink::question(const QString& text) {
    entries.append({Question, text});
    return answers.isEmpty() ? false : answers.takeFirst();
}

QStringList RecorderSink::texts() const {
    QStringList out;
    for (const Entry& e : entries)
        out << e.text;
    return out;
}

void WhenModal(std::function<void(QWidget*)> f, int attempts) {
    QTimer::singleShot(10, [f, attempts] {
        QWidget* w = QApplication::activeModalWidget();
        if (w && w->isVisible()) {
            f(w);
            QPointer<QWidget> open(w);
            QTimer::singleShot(5000, [open] {
                if (open && open->isVisible()) open->close();
            });
        } else if (attempts > 0) {
            WhenModal(f, attempts - 1);
        }
    });
}

QString DataDir() {
    return QStringLiteral(TAXFERRY_DATA_DIR);
}
QString SamplesDir() {
    return QStringLiteral(TAXFERRY_SAMPLES_DIR);
}

QString MakeDatabaseCopy(const QString& targetPath, const QStringList& scripts) {
    static QTemporaryDir cacheDir;
    static QHash<QString, QString> cache;
    const QString key = scripts.join(u'|');
    QString tmpl = cache.value(key);
    if (tmpl.isEmpty()) {
        tmpl = cacheDir.filePath(QStringLiteral("template%1.db").arg(cache.size()));
        {
            QFile f(tmpl);
            if (!f.open(QIODevice::WriteOnly)) qFatal("cannot create template database");
        }
        ConnectionPtr c = Connection::open(QStringLiteral("Provider=SQLite;Data Source=") + tmpl);
        for (const QString& s : scripts)
            RunSqlScriptFile(*c, DataDir() + u'/' + s);
        c->Close();
        cache.insert(key, tmpl);
    }
    QFile::remove(targetPath);
    if (!QFile::copy(tmpl, targetPath)) qFatal("cannot copy template database");
    QFile::setPermissions(targetPath, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return targetPath;
}

TestDatabases::TestDatabases(bool demoData) {
    configPath = m_dir.filePath(QStringLiteral("Taxlink.db"));
    acctPath = m_dir.filePath(QStringLiteral("acct.db"));
    MakeDatabaseCopy(configPath, {QStringLiteral("config_schema.sql"), QStringLiteral("config_factory.sql")});
    QStringList acctScripts{QStringLiteral("acct_schema.sql")};
    if (demoData) acctScripts << QStringLiteral("acct_demo.sql");
    MakeDatabaseCopy(acctPath, acctScripts);
    config = Connection::open(configConnString());
    acct = Connection::open(acctConnString());
}

TestDatabases::~TestDatabases() {
    if (gcnAcct == acct) gcnAcct.reset();
    if (gcnConfig == config) gcnConfig.reset();
}

QString TestDatabases::acctConnString() const {
    return QStringLiteral("Provider=SQLite;Data Source=") + acctPath;
}
QString TestDatabases::configConnString() const {
    return QStringLiteral("Provider=SQLite;Data Source=") + configPath;
}

void TestDatabases::installGlobals() {
    gcnAcct = acct;
    gcnConfig = config;
    gsAcctProps = u'{' + acctConnString() + QStringLiteral("};User=super");
    gsConfigConnString = configConnString();
}

void WriteGbkFile(const QString& path, const QStringList& lines, bool finalNewline) {
    QByteArray out;
    for (int i = 0; i < lines.size(); ++i) {
        QByteArray b;
        if (!EncodeGbk(lines[i], b)) qFatal("test text not GBK");
        out += b;
        if (i + 1 < lines.size() || finalNewline) out += "\r\n";
    }
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) qFatal("cannot write test file");
    f.write(out);
}

QStringList ReadGbkFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    QString text;
    if (!DecodeGbk(f.readAll(), text)) return {QStringLiteral("<not GBK>")};
    QStringList lines = text.split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    return lines;
}
