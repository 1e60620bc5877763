#pragma once
// The login text of a connection: its connection string between braces and the pairs after them.

#include <QString>

// part 0: the connection string between the braces, as it was written there; 1/2: the value of the
// first/second key=value pair after them.
QString parseConnProps(const QString& props, int part);
// True when the connection string can travel between braces and be read back whole: every value in braces
// is closed ("}}" inside is one brace of it) and the other braces pair up.
bool bracesBalanced(const QString& text);
// The login text of a connection: "{" connection string "}" and, when given, ";UserName=…;AcctName=…".
// Values of the connection string that hold braces or ";" are written in braces first, so that
// parseConnProps gives the same connection back.
QString loginPropsText(const QString& connectionString, const QString& userName = QString(),
                       const QString& acctName = QString());
