#pragma once
// The help window of the help component.

#include <QDialog>

class QTextBrowser;
class QPushButton;

class frmHelp : public QDialog {
    Q_OBJECT
public:
    explicit frmHelp(QWidget* parent = nullptr);
    // Topic 1 is the program's help; any other topic shows the same contents.
    void Init(int topic);

    QTextBrowser* txtHelp;
    QPushButton* cmdClose;
};
