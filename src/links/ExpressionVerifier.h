#pragma once
// Checks a formula over accounting fields and turns it into its three forms. A field reference is
// "[" FID "/" description "]"; everything else is SQL for the accounting database.
//   display form     the formula as typed (trimmed)
//   identifier form  every reference replaced by its FID
//   SQL form         every reference replaced by the field's t_QorField.FFieldName
// The formula is proved by a trial query over the two export templates on a connection that cannot
// write, inside a transaction that is always rolled back.

#include <QString>
#include <QStringList>

class Connection;
class Session;

class ExpressionVerifier {
public:
    explicit ExpressionVerifier(const Session& session) : m_session(session) {}

    QString expression;     // as typed
    QStringList fieldItems; // the offered fields, "FID/description"
    int dataType = 0;       // type code of the tax field; 3 wants numeric fields only

    // Filled by VerifyExpression.
    QString ReturnFieldName; // SQL form
    QString ReturnFieldID;   // identifier form

    // The offered fields of one side, in the database's order (throws DbError).
    static QStringList LoadFieldItems(Connection& config, bool isHead);

    bool Matched(const QString& open, const QString& close) const;
    // Resolves the references: list = the references' inner texts joined by ",".
    bool GetList(QString& list, QString& sqlForm, QString& idForm) const;
    bool FieldInList(const QString& text) const;
    // The field's type code ("1" when it has none), "" when there is no such field (throws DbError).
    QString GetFieldType(const QString& fid) const;
    bool VerifyExpression();

    // True when the text holds a ";" outside quoted texts and quoted names.
    static bool HasStatementSeparator(const QString& sql);

private:
    const Session& m_session;
};
