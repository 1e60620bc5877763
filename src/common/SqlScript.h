#pragma once
// Scripts of SQL statements, run in one transaction.

#include <QString>

class Connection;

// Runs a script of statements separated by ";" (outside quotes and "--" comments) in one transaction.
void RunSqlScript(Connection& conn, const QString& scriptText);
void RunSqlScriptFile(Connection& conn, const QString& path);
