#include "HostComponents.h"

#include "AppStore.h"
#include "common/Connection.h"
#include "common/modBasic.h"
#include "frmAbout.h"
#include "frmHelp.h"

namespace {
QString profileValue(const QString& props, const QString& section, const QString& key) {
    ConnectionPtr conn = Connection::open(ParseConnProps(props, 0), Connection::Mode::ReadOnly);
    return ReadProfileValue(*conn, section, key);
}
} // namespace

QString SystemProfile::GetProfile(const QString& props, const QString& section, const QString& key) {
    return profileValue(props, section, key);
}

GLData::GLData(const QString& props) : m_props(props) {}

GLData::Profile GLData::SystemProfile() {
    Profile p;
    p.CompanyName = profileValue(m_props, QStringLiteral("Base"), QStringLiteral("CompanyName"));
    return p;
}

void ClsCHMHelp::ShowToolHelp(short topic, QWidget* owner) {
    frmHelp help(owner);
    help.Init(topic);
    help.exec();
}

void About::Show(QCoreApplication* application, QWidget* owner) {
    frmAbout about(owner);
    about.Init(application);
    about.exec();
}
