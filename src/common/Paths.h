#pragma once
// The program's folders and the databases made in the user's data folder at the first start.

#include <QString>

// The folder of the program's executable, ending in exactly one "/".
QString appFolder();
// Same rule for a given path (testable).
QString withTrailingSeparator(const QString& path);
// The configuration connection string for a folder: Taxlink.db in it.
QString configConnStringFor(const QString& folder);

// The shared folder of an installed program (<prefix>/share/taxferry/, ending in "/", where the factory
// scripts lie); empty for a program that runs from its build folder.
QString installedShareFolder();
// The folder of Taxlink.db and the demo set: beside the executable in a build folder; for an installed
// program the per-user data folder, where both are made from the factory scripts at the first start.
// Throws DbError when they cannot be made.
QString programDataFolder();
// Makes Taxlink.db and QORDemo.db in folder from the scripts in shareFolder where they are missing; an
// existing file (with the user's links and mappings) is never touched. Throws DbError.
void makeUserDatabases(const QString& shareFolder, const QString& folder);

// Whether the file system tells names apart by case: not on Windows.
Qt::CaseSensitivity fileNameCase();
