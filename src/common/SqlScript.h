#pragma once
// Scripts of SQL statements, run in one transaction.

#include <QString>

class Connection;

// Runs a script of statements separated by ";" (outside quotes and "--" comments) in one transaction.
void runSqlScript(Connection& conn, const QString& scriptText);
void runSqlScriptFile(Connection& conn, const QString& path);
