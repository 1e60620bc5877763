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
