#pragma once
#include <QStringList>

// Each command gets the arguments after its name; returns the exit status (0 after success).
int RunBatchExport(const QStringList& args);
int RunBatchImport(const QStringList& args);
int RunBatchTemplate(const QStringList& args);

// "--name value" of an argument list; empty when missing.
QString BatchOption(const QStringList& args, const QString& name);
// Arguments that are neither options nor option values.
QStringList BatchPositional(const QStringList& args, const QStringList& optionsWithValue);
