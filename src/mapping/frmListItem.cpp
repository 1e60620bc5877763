#include "frmListItem.h"

frmListItem::frmListItem(QWidget* parent) : PickerDialog(QStringLiteral("mfgItem"), parent) {
    resize(700, 420);
    setObjectName(QStringLiteral("frmListItem"));
    mfgItem = m_list;
    const PickerLayout layout = ItemLayout();
    setWindowTitle(layout.caption);
    m_rs = OpenPickerList(BuildItemSql());
    BindList(*m_rs, layout);
}
