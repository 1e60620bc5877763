#pragma once
// Connections and folders of the start-up module.

#include "Connection.h"
#include <QString>

// Part 0: the connection string between the braces, as it was written there; 1/2: the value of the
// first/second key=value pair after them.
QString ParseConnProps(const QString& props, int part);
// True when the connection string can travel between braces and be read back whole: every value in braces
// is closed ("}}" inside is one brace of it) and the other braces pair up.
bool BracesBalanced(const QString& text);
// The login text of a connection: "{" connection string "}" and, when given, ";UserName=…;AcctName=…".
// Values of the connection string that hold braces or ";" are written in braces first, so that
// ParseConnProps gives the same connection back.
QString loginPropsText(const QString& connectionString, const QString& userName = QString(),
                       const QString& acctName = QString());
// The folder of the program's executable, ending in exactly one "/".
QString AppFolder();
// Same rule for a given path (testable).
QString WithTrailingSeparator(const QString& path);
// The configuration connection string for a folder: Taxlink.db in it.
QString ConfigConnStringFor(const QString& folder);

// The shared folder of an installed program (<prefix>/share/taxferry/, ending in "/", where the factory
// scripts lie); empty for a program that runs from its build folder.
QString InstalledShareFolder();
// The folder of Taxlink.db and the demo set: beside the executable in a build folder; for an installed
// program the per-user data folder, where both are made from the factory scripts at the first start.
// Throws DbError when they cannot be made.
QString ProgramDataFolder();
// Makes Taxlink.db and QORDemo.db in folder from the scripts in shareFolder where they are missing; an
// existing file (with the user's links and mappings) is never touched. Throws DbError.
void MakeUserDatabases(const QString& shareFolder, const QString& folder);
