#include "app/ui/AppMain.h"

#include "app/ui/HelpKey.h"
#include "app/ui/LoginService.h"
#include "app/ui/MainWindow.h"
#include "common/LoginProps.h"
#include "common/Messages.h"
#include "common/Paths.h"
#include "common/Session.h"
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

QString defaultInstanceKey() {
    // One running copy per user: the key carries the user's name.
    QString user = qEnvironmentVariable("USER");
    if (user.isEmpty()) user = qEnvironmentVariable("USERNAME");
    return QStringLiteral("航天金税接口主界面-") + user;
}

bool activateRunningInstance(const QString& key) {
    QLocalSocket socket;
    socket.connectToServer(key);
    if (!socket.waitForConnected(kConnectTimeoutMs)) return false;
    socket.write(kActivate);
    const bool sent = socket.waitForBytesWritten(kConnectTimeoutMs);
    socket.disconnectFromServer();
    return sent;
}

void listenForLaterStarts(const QString& key, MainWindow* window) {
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
                if (s->readAll().contains("activate")) window->activate();
            });
            if (s->bytesAvailable() > 0 && s->readAll().contains("activate")) window->activate();
        }
    });
}

QIcon programIcon() {
    // The icon is a resource of a static library: registered before its first use.
    Q_INIT_RESOURCE(icons);
#ifdef Q_OS_WIN
    // Drawn at build time in the sizes Windows shows: Qt for Windows is built without the SVG icon engine.
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 256})
        icon.addFile(QStringLiteral(":/icons/taxferry-%1.png").arg(size), QSize(size, size));
    return icon;
#else
    return QIcon(QStringLiteral(":/icons/taxferry.svg"));
#endif
}

bool loadChineseTranslations() {
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

MainWindow* startApplication(const StartOptions& options) {
    const QString key = options.instanceKey.isEmpty() ? defaultInstanceKey() : options.instanceKey;
    if (activateRunningInstance(key)) return nullptr;
    // From the login on, F1 opens the help of the window it is pressed in.
    installHelpKey();

    try {
        // An installed program keeps its databases per user, made at the first start.
        const QString folder = options.programFolder.isEmpty() ? programDataFolder() : options.programFolder;
        std::unique_ptr<LoginService> login = std::make_unique<LoginService>(folder);
        if (login->login(QStringLiteral("super"), QString(), true) != -1) return nullptr;
        auto session = std::make_unique<Session>();
        session->gsAcctProps = login->propsString();
        session->gsConfigConnString = configConnStringFor(folder);
        session->gsUserName = login->userName();
        session->gsAcctName = login->acctName();
        login.reset();
        session->gcnAcct = session->openAcctConnection();
        session->gcnConfig = session->openConfigConnection();
        auto window = std::make_unique<MainWindow>(std::move(session));
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->formLoad();
        window->show();
        listenForLaterStarts(key, window.get());
        return window.release();
    } catch (const std::exception& e) {
        showErr(QStringLiteral("Main"), e);
        return nullptr;
    }
}
