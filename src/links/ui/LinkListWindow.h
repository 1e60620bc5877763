#pragma once
// "选择关联关系": the links of one direction; the chosen export link goes to the export window. Links
// are created and changed with the wizard, deleted, or given the tax system's default mappings.

#include <QDialog>
#include <functional>

class QGroupBox;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class Session;

class LinkListWindow : public QDialog {
    Q_OBJECT

public:
    explicit LinkListWindow(const Session& session, QWidget* parent = nullptr);

    // What 确定 does with the chosen link: the program opens its export window (key, name, memo).
    std::function<void(const QString& key, const QString& name, const QString& memo)> openExport;

    // Direction whose links are listed, compared with t_BaseInfo.FInOrOut as text; 0 = export.
    int exportOrImport = 0;

    // (Re)fills the list from the database.
    void init();
    // The selected link's FID as text (its tag without "ID"); empty when no row is selected.
    QString selectedLinkId() const;

    QGroupBox* fraSelect;
    QTreeWidget* lsvSelect;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;
    QPushButton* cmdNew;
    QPushButton* cmdEdit;
    QPushButton* cmdDelete;
    QPushButton* cmdAttrReference;
    QPushButton* cmdAttrImp;
    QPushButton* cmdAttrExp;

    void cmdOK_Click();
    void cmdCancel_Click();
    // The wizard's entries: each opens the link editor and reloads the list afterwards.
    void cmdNew_Click();
    void cmdEdit_Click();
    void cmdDelete_Click();
    void cmdAttrReference_Click();

private:
    const Session& m_session;
};
