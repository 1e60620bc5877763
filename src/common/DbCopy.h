#pragma once
// Copies the rows of tables from one accounting database into another of the same tables, each value
// turned into what the target column takes (0/1 into boolean, yyyy-mm-dd text into date): the demo set
// is written once, as SQLite scripts, and loaded into a server from there.

#include "common/Connection.h"
#include <QStringList>

// The tables of an SQLite database, in the order they were created.
QStringList sqliteTables(Connection& sqlite);
// Copies every row of the tables, in one transaction of the target. Throws DbError.
void copyTableRows(Connection& from, Connection& to, const QStringList& tables);
