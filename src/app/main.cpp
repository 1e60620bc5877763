// Taxferry: sales invoices between the QOR accounting database and the 航天金税 tax-invoicing system.
#include "AppMain.h"
#include "MessageBoxSink.h"
#include "frmMain.h"
#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Taxferry"));
    QApplication::setApplicationVersion(QStringLiteral(TAXFERRY_VERSION));
    // The installed desktop entry's name: the desktop finds the program's name and icon through it.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.orvane.Taxferry"));
    QApplication::setWindowIcon(ProgramIcon());
    LoadChineseTranslations();
    MessageBoxSink sink;
    SetMessageSink(&sink);
    if (!Main()) return 0;
    const int status = app.exec();
    SetMessageSink(nullptr);
    return status;
}
