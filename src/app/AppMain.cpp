#include "AppMain.h"

#include "HelpKey.h"
#include "clsLogin.h"
#include "common/Session.h"
#include "common/modBasic.h"
#include "common/modFunction.h"
#include "frmMain.h"
#include <QCoreApplication>
#include <QDir>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLocale>
#include <QPointer>
#include <QTranslator>
#include <memory>

namespace {
const QByteArray kActivate = "activate\n";
constexpr int kConnectTimeoutMs = 1000;
} // namespace

QString DefaultInstanceKey() {
    // One running copy per user: the key carries the user's name.
    QString user = qEnvironmentVariable("USER");
    if (user.isEmpty()) user = qEnvironmentVariable("USERNAME");
    return QStringLiteral("航天金税接口主界面-") + user;
}

bool ActivateRunningInstance(const QString& key) {
    QLocalSocket socket;
    socket.connectToServer(key);
    if (!socket.waitForConnected(kConnectTimeoutMs)) return false;
    socket.write(kActivate);
    const bool sent = socket.waitForBytesWritten(kConnectTimeoutMs);
    socket.disconnectFromServer();
    return sent;
}

void ListenForLaterStarts(const QString& key, frmMain* window) {
    auto* server = new QLocalServer(window);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(key)) {
        // A socket left behind by a copy that ended abnormally; nobody answered on it.
        QLocalServer::removeServer(key);
        if (!server->listen(key)) {
            delete server;
            return;
        }
    }
    QObject::connect(server, &QLocalServer::newConnection, window, [server, window] {
        while (QLocalSocket* s = server->nextPendingConnection()) {
            QObject::connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
            QObject::connect(s, &QLocalSocket::readyRead, window, [s, window] {
                if (s->readAll().contains("activate")) window->Activate();
            });
            if (s->bytesAvailable() > 0 && s->readAll().contains("activate")) window->Activate();
        }
    });
}

QIcon ProgramIcon() {
    // The icon is a resource of a static library: registered before its first use.
    Q_INIT_RESOURCE(icons);
    return QIcon(QStringLiteral(":/icons/taxferry.svg"));
}

bool LoadChineseTranslations() {
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    // One translator for the run, owned by the application.
    static QPointer<QTranslator> qtTexts;
    if (qtTexts) return true;
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QStringLiteral("qtbase_zh_CN"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    qtTexts = translator;
    QCoreApplication::installTranslator(translator);
    return true;
}

frmMain* Main(const StartOptions& options) {
    const QString key = options.instanceKey.isEmpty() ? DefaultInstanceKey() : options.instanceKey;
    if (ActivateRunningInstance(key)) return nullptr;
    // From the login on, F1 opens the help of the window it is pressed in.
    InstallHelpKey();

    try {
        // An installed program keeps its databases per user, made at the first start.
        const QString folder = options.programFolder.isEmpty() ? ProgramDataFolder() : options.programFolder;
        std::unique_ptr<clsLogin> login = std::make_unique<clsLogin>(folder);
        if (login->Login(QStringLiteral("super"), QString(), true) != -1) return nullptr;
        auto session = std::make_unique<Session>();
        session->gsAcctProps = login->PropsString();
        session->gsConfigConnString = ConfigConnStringFor(folder);
        session->gsUserName = login->UserName();
        session->gsAcctName = login->AcctName();
        login.reset();
        session->gcnAcct = session->OpenAcctConnection();
        session->gcnConfig = session->OpenConfigConnection();
        auto window = std::make_unique<frmMain>(std::move(session));
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->Form_Load();
        window->show();
        ListenForLaterStarts(key, window.get());
        return window.release();
    } catch (const std::exception& e) {
        ShowErr(QStringLiteral("Main"), e);
        return nullptr;
    }
}
