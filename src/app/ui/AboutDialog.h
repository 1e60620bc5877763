#pragma once
// The about box of the about component.

#include <QDialog>

class QCoreApplication;
class QLabel;
class QPushButton;

class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);
    void init(QCoreApplication* application);

    QLabel* lblTitle;
    QLabel* lblVersion;
    QLabel* lblNote;
    QPushButton* cmdOK;
};
