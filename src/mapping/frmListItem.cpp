#include "frmListItem.h"

#include "common/Session.h"

frmListItem::frmListItem(const Session& session, QWidget* parent)
    : PickerDialog(session, QStringLiteral("mfgItem"), parent) {
    resize(700, 420);
    setObjectName(QStringLiteral("frmListItem"));
    mfgItem = m_list;
    const PickerLayout layout = ItemLayout(m_session);
    setWindowTitle(layout.caption);
    m_rs = OpenPickerList(m_session.Acct(), BuildItemSql());
    BindList(*m_rs, layout);
}
