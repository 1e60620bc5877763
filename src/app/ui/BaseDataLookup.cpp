#include "app/ui/BaseDataLookup.h"

#include "app/ui/BaseDataPicker.h"

void BaseDataLookup::showForm(const QString& kind, QWidget* parent) {
    m_returnValue.clear();
    if (!m_acct) throw DbError(ErrNo::General, QStringLiteral("未连接账套数据库"));
    BaseDataPicker picker(parent);
    picker.init(kind, *m_acct);
    if (picker.exec() == QDialog::Accepted) m_returnValue = picker.returnValue();
}
