#include "frmListOtherID.h"

#include "common/Session.h"

#include <QEvent>

frmListOtherID::frmListOtherID(const Session& session, QWidget* parent)
    : PickerDialog(session, QStringLiteral("mfgItem"), parent) {
    resize(560, 420);
    setObjectName(QStringLiteral("frmListOtherID"));
    mfgItem = m_list;
    setWindowTitle(OtherCaption(m_session, 0));
}

void frmListOtherID::setTabType(int intValue) {
    m_intType = intValue;
    const RecordsetPtr rs = OpenPickerList(m_session.Acct(), BuildOtherSql(m_intType));
    BindList(*rs, OtherLayout(m_session, m_intType));
}

void frmListOtherID::showEvent(QShowEvent* event) {
    setWindowTitle(OtherCaption(m_session, m_intType));
    PickerDialog::showEvent(event);
}

void frmListOtherID::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        setWindowTitle(OtherCaption(m_session, m_intType));
    PickerDialog::changeEvent(event);
}
