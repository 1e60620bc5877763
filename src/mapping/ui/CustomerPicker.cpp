#include "mapping/ui/CustomerPicker.h"

#include "common/Session.h"

CustomerPicker::CustomerPicker(const Session& session, QWidget* parent)
    : PickerDialog(session, QStringLiteral("mfgClient"), parent) {
    resize(900, 420);
    setObjectName(QStringLiteral("CustomerPicker"));
    setWindowTitle(clientLayout(0).caption);
    mfgClient = m_list;
}

void CustomerPicker::setFType(int value) {
    m_FType = value;
    buildSql();
    loadList();
}

void CustomerPicker::buildSql() {
    m_strSql.clear();
    m_strSql = buildClientSql(m_session, m_FType);
}

void CustomerPicker::loadList() {
    m_bHasRows = false;
    const RecordsetPtr rs = openPickerList(m_session.acct(), m_strSql);
    bindList(*rs, clientLayout(m_FType));
}
