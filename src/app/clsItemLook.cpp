#include "clsItemLook.h"

#include "frmItemLook.h"

namespace {
std::function<QString(const QString&)>& chooser() {
    static std::function<QString(const QString&)> f;
    return f;
}
} // namespace

void clsItemLook::SetChooserForTesting(std::function<QString(const QString& kind)> f) {
    chooser() = std::move(f);
}

void clsItemLook::ShowForm(const QString& kind, ConnectionPtr&, ConnectionPtr& acctConn, QWidget* parent) {
    m_returnValue.clear();
    if (chooser()) {
        m_returnValue = chooser()(kind);
        return;
    }
    if (!acctConn) throw DbError(ErrNo::General, QStringLiteral("未连接账套数据库"));
    frmItemLook picker(parent);
    picker.Init(kind, *acctConn);
    if (picker.exec() == QDialog::Accepted) m_returnValue = picker.ReturnValue();
}
