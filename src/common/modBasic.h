#pragma once
// Connections and folders of the start-up module.

#include "Connection.h"
#include <QString>

// Part 0: the connection string between the braces; 1/2: the value of the first/second key=value pair.
QString ParseConnProps(const QString& props, int part);
// True when every "{" of a connection string is closed by its own "}".
bool BracesBalanced(const QString& text);
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
