#include "app/ui/HostComponents.h"

#include "app/AppStore.h"
#include "app/ui/AboutDialog.h"
#include "app/ui/HelpWindow.h"
#include "common/Connection.h"
#include "common/LoginProps.h"

namespace {
QString profileValue(const QString& props, const QString& section, const QString& key) {
    ConnectionPtr conn = Connection::open(parseConnProps(props, 0), Connection::Mode::ReadOnly);
    return readProfileValue(*conn, section, key);
}
} // namespace

QString SystemProfile::getProfile(const QString& props, const QString& section, const QString& key) {
    return profileValue(props, section, key);
}

LedgerViewData::LedgerViewData(const QString& props) : m_props(props) {}

LedgerViewData::Profile LedgerViewData::systemProfile() {
    Profile p;
    p.companyName = profileValue(m_props, QStringLiteral("Base"), QStringLiteral("CompanyName"));
    return p;
}

void HelpService::showToolHelp(short topic, QWidget* owner) {
    HelpWindow help(owner);
    help.init(topic);
    help.exec();
}

void AboutBox::show(QCoreApplication* application, QWidget* owner) {
    AboutDialog about(owner);
    about.init(application);
    about.exec();
}
