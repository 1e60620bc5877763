#pragma once
// The per-user program settings store (GetSetting / SaveSetting of the platform).

#include <QString>
#include <QStringList>

QString GetSetting(const QString& appName, const QString& section, const QString& key,
                   const QString& defaultValue = QString());
void SaveSetting(const QString& appName, const QString& section, const QString& key, const QString& value);
