#pragma once
// The per-user program settings store (getSetting / saveSetting of the platform).

#include <QString>
#include <QStringList>

QString getSetting(const QString& appName, const QString& section, const QString& key,
                   const QString& defaultValue = QString());
void saveSetting(const QString& appName, const QString& section, const QString& key, const QString& value);
