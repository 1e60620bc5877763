// Taxferry: sales invoices between the QOR accounting database and the 航天金税 tax-invoicing system.
#include "app/ui/AppMain.h"
#include "app/ui/MainWindow.h"
#include "app/ui/MessageBoxSink.h"
#include "common/CommandLine.h"
#include <QApplication>

#ifdef Q_OS_WIN
#include <cstdio>
#include <windows.h>
#endif

namespace {

const char* const kUsage = "usage: taxferry [--version | --help]\n"
                           "  启动后显示登录窗口；--version 显示版本，--help 显示本说明。\n";

// --help and --version print a line and end: they need no display, so where none is named they get
// the platform that needs none instead of an abort for the missing display.
bool asksForTextOnly(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const QByteArrayView a(argv[i]);
        if (a == "--") return false;
        if (a == "--help" || a == "-h" || a == "--version") return true;
    }
    return false;
}

#ifdef Q_OS_WIN
// A window program gets no console on Windows: the text of --help and --version goes to the console of
// the command prompt it was started from, unless it is redirected (then the handles are already there).
void attachParentConsole() {
    if (GetStdHandle(STD_OUTPUT_HANDLE) != nullptr) return;
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
    std::freopen("CONOUT$", "w", stdout);
    std::freopen("CONOUT$", "w", stderr);
    SetConsoleOutputCP(CP_UTF8);
}
#endif

} // namespace

int main(int argc, char** argv) {
    const bool textOnly = asksForTextOnly(argc, argv);
    if (textOnly && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "minimal");
#ifdef Q_OS_WIN
    if (textOnly) attachParentConsole();
#endif
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Taxferry"));
    QApplication::setApplicationVersion(QStringLiteral(TAXFERRY_VERSION));
    // What the application took for itself (-platform, -style, …) is no longer among the arguments.
    CommandLine line(QString::fromUtf8(kUsage));
    if (const std::optional<int> status = line.parse(QApplication::arguments().mid(1))) return *status;
    // The installed desktop entry's name: the desktop finds the program's name and icon through it.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.orvane.Taxferry"));
    QApplication::setWindowIcon(programIcon());
    loadChineseTranslations();
    MessageBoxSink sink;
    setMessageSink(&sink);
    if (!startApplication()) return 0;
    const int status = app.exec();
    setMessageSink(nullptr);
    return status;
}
