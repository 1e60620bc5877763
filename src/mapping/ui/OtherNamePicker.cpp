#include "mapping/ui/OtherNamePicker.h"

#include "common/Session.h"

#include <QEvent>

OtherNamePicker::OtherNamePicker(const Session& session, QWidget* parent)
    : PickerDialog(session, QStringLiteral("mfgItem"), parent) {
    resize(560, 420);
    setObjectName(QStringLiteral("OtherNamePicker"));
    mfgItem = m_list;
    setWindowTitle(otherCaption(m_session, 0));
}

void OtherNamePicker::setTabType(int intValue) {
    m_intType = intValue;
    const RecordsetPtr rs = openPickerList(m_session.acct(), buildOtherSql(m_intType));
    bindList(*rs, otherLayout(m_session, m_intType));
}

void OtherNamePicker::showEvent(QShowEvent* event) {
    setWindowTitle(otherCaption(m_session, m_intType));
    PickerDialog::showEvent(event);
}

void OtherNamePicker::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        setWindowTitle(otherCaption(m_session, m_intType));
    PickerDialog::changeEvent(event);
}
