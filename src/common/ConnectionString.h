#pragma once
// The key=value text of a connection string: read pair by pair, written back, and shown without its
// passwords.

#include <QList>
#include <QPair>
#include <QString>

// Parses "key=value;key=value" (keys case-insensitive) into a list of pairs, in order. A value in braces
// ("Driver={PostgreSQL Unicode}", "PWD={a;b}") is one value, semicolons included; the pairs keep it as
// written, braces and all, so that it can be handed on to ODBC unchanged.
QList<QPair<QString, QString>> parseConnectionString(const QString& text);
// The value of a key, without the braces it may be written in.
QString connectionStringValue(const QString& text, const QString& key);
// The text inside the braces that open at position open ("}}" stands for one brace), or the rest of the
// text when they are never closed; end receives the position after the closing brace.
QString bracedText(const QString& text, int open, int* end = nullptr);
// A value as it is written into a connection string: between braces ("}" doubled) when it holds ";", a
// brace or blanks at either end, which would otherwise end it early or change it; as it is otherwise.
QString quotedConnectionValue(const QString& value);
// The same connection string with every value that is not in braces written as quotedConnectionValue
// writes it: it can then travel between braces (the login text) and be read back whole.
QString normalizedConnectionString(const QString& text);
// The text with every password of a connection string in it (PWD=… or Password=…, in any case, braced
// or not) taken out: what is shown, logged or printed never holds one.
QString hidePasswords(const QString& text);
