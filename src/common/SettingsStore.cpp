#include "common/SettingsStore.h"

#include <QSettings>

// One settings file per application name under the user's configuration folder; the section is a group.
static QString groupKey(const QString& section, const QString& key) {
    return section + u'/' + key;
}

QString getSetting(const QString& appName, const QString& section, const QString& key,
                   const QString& defaultValue) {
    QSettings s(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Taxferry"), appName);
    return s.value(groupKey(section, key), defaultValue).toString();
}

void saveSetting(const QString& appName, const QString& section, const QString& key, const QString& value) {
    QSettings s(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Taxferry"), appName);
    s.setValue(groupKey(section, key), value);
    s.sync();
}
