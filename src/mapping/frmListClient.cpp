#include "frmListClient.h"

#include "common/Session.h"

frmListClient::frmListClient(const Session& session, QWidget* parent)
    : PickerDialog(session, QStringLiteral("mfgClient"), parent) {
    resize(900, 420);
    setObjectName(QStringLiteral("frmListClient"));
    setWindowTitle(ClientLayout(0).caption);
    mfgClient = m_list;
}

void frmListClient::setFType(int value) {
    m_FType = value;
    BuildSql();
    LoadList();
}

void frmListClient::BuildSql() {
    m_strSql.clear();
    m_strSql = BuildClientSql(m_session, m_FType);
}

void frmListClient::LoadList() {
    m_bHasRows = false;
    const RecordsetPtr rs = OpenPickerList(m_session.Acct(), m_strSql);
    BindList(*rs, ClientLayout(m_FType));
}
