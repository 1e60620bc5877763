#include "frmListOtherID.h"

#include <QEvent>

frmListOtherID::frmListOtherID(QWidget* parent) : PickerDialog(QStringLiteral("mfgItem"), parent) {
    resize(560, 420);
    setObjectName(QStringLiteral("frmListOtherID"));
    mfgItem = m_list;
    setWindowTitle(OtherCaption(0));
}

void frmListOtherID::setTabType(int intValue) {
    m_intType = intValue;
    const RecordsetPtr rs = OpenPickerList(BuildOtherSql(m_intType));
    BindList(*rs, OtherLayout(m_intType));
}

void frmListOtherID::showEvent(QShowEvent* event) {
    setWindowTitle(OtherCaption(m_intType));
    PickerDialog::showEvent(event);
}

void frmListOtherID::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        setWindowTitle(OtherCaption(m_intType));
    PickerDialog::changeEvent(event);
}
