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

    // Filled by verifyExpression.
    QString returnFieldName; // SQL form
    QString returnFieldId;   // identifier form

    // The offered fields of one side, in the database's order (throws DbError).
    static QStringList loadFieldItems(Connection& config, bool isHead);

    bool matched(const QString& open, const QString& close) const;
    // Resolves the references: list = the references' inner texts joined by ",".
    bool getList(QString& list, QString& sqlForm, QString& idForm) const;
    bool fieldInList(const QString& text) const;
    // The field's type code ("1" when it has none), "" when there is no such field (throws DbError).
    QString getFieldType(const QString& fid) const;
    bool verifyExpression();

    // True when the text holds a ";" outside quoted texts and quoted names.
    static bool hasStatementSeparator(const QString& sql);

private:
    const Session& m_session;
};
