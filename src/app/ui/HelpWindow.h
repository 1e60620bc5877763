#pragma once
// The help window of the help component: the program's help pages, shipped inside the program.

#include <QDialog>

class QTextBrowser;
class QPushButton;

class HelpWindow : public QDialog {
    Q_OBJECT
public:
    explicit HelpWindow(QWidget* parent = nullptr);
    // Topic 1 is the contents of the help; any other topic shows the contents as well.
    void init(int topic);
    // Shows a page by its name, "export", or a place in it, "export#preview"; an unknown page shows the
    // contents.
    void showPage(const QString& page);
    // The page shown, named as showPage takes it.
    QString currentPage() const;

    // Every page of the help by name, "index" (the contents) among them.
    static QStringList pageNames();
    // Where a page (as showPage takes it) is found.
    static QUrl pageUrl(const QString& page);

    QTextBrowser* txtHelp;
    QPushButton* cmdContents;
    QPushButton* cmdBack;
    QPushButton* cmdForward;
    QPushButton* cmdClose;
};
