// Renders every registered window to build/screens/<name>.png.
#include "ScreenRegistry.h"
#include "app/ui/AppMain.h"
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTimer>
#include <cstdio>

namespace {
QList<QPair<QString, ScreenFactory>>& registry() {
    static QList<QPair<QString, ScreenFactory>> r;
    return r;
}
} // namespace

ScreenRegistrar::ScreenRegistrar(const char* fileName, ScreenFactory factory) {
    registry().append({QString::fromUtf8(fileName), std::move(factory)});
}

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // As the program shows them: Qt's own texts in Chinese.
    loadChineseTranslations();
    const QString outDir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screens");
    QDir().mkpath(outDir);
    int failed = 0;
    for (const auto& entry : registry()) {
        TestDatabases db;
        RecorderSink sink;
        QWidget* w = entry.second(db);
        if (!w) {
            std::fprintf(stderr, "%s: no window\n", qPrintable(entry.first));
            ++failed;
            continue;
        }
        w->show();
        for (int i = 0; i < 5; ++i)
            QApplication::processEvents();
        const QPixmap shot = w->grab();
        const QString path = outDir + u'/' + entry.first + QStringLiteral(".png");
        if (!shot.save(path)) {
            std::fprintf(stderr, "%s: cannot save\n", qPrintable(path));
            ++failed;
        } else {
            std::printf("%s\n", qPrintable(path));
        }
        for (const auto& e : sink.entries)
            std::fprintf(stderr, "  message: %s\n", qPrintable(e.text));
        w->close();
        delete w;
    }
    std::printf("%d passed, %d failed\n", int(registry().size()) - failed, failed);
    return failed ? 1 : 0;
}
