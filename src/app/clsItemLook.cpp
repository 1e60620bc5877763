#include "clsItemLook.h"

#include "frmItemLook.h"

void clsItemLook::ShowForm(const QString& kind, QWidget* parent) {
    m_returnValue.clear();
    if (!m_acct) throw DbError(ErrNo::General, QStringLiteral("未连接账套数据库"));
    frmItemLook picker(parent);
    picker.Init(kind, *m_acct);
    if (picker.exec() == QDialog::Accepted) m_returnValue = picker.ReturnValue();
}
