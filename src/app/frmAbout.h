#pragma once
// The about box of the about component.

#include <QDialog>

class QCoreApplication;
class QLabel;
class QPushButton;

class frmAbout : public QDialog {
    Q_OBJECT
public:
    explicit frmAbout(QWidget* parent = nullptr);
    void Init(QCoreApplication* application);

    QLabel* lblTitle;
    QLabel* lblVersion;
    QLabel* lblNote;
    QPushButton* cmdOK;
};
