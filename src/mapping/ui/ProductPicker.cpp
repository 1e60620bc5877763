#include "mapping/ui/ProductPicker.h"

#include "common/Session.h"

ProductPicker::ProductPicker(const Session& session, QWidget* parent)
    : PickerDialog(session, QStringLiteral("mfgItem"), parent) {
    resize(700, 420);
    setObjectName(QStringLiteral("ProductPicker"));
    mfgItem = m_list;
    const PickerLayout layout = itemLayout(m_session);
    setWindowTitle(layout.caption);
    m_rs = openPickerList(m_session.acct(), buildItemSql());
    bindList(*m_rs, layout);
}
