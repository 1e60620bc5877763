#include "links/ExpressionVerifier.h"

#include "common/DbProcedures.h"
#include "common/Messages.h"
#include "common/Session.h"
#include "common/Values.h"
#include "links/TemplateQuery.h"

namespace {

void syntaxError() {
    showMsg(QStringLiteral("表达式语法错误!"));
}

} // namespace

QStringList ExpressionVerifier::loadFieldItems(Connection& config, bool isHead) {
    const RecordsetPtr rs =
        config.query(QStringLiteral("select * from t_QorField where FisHead=?"), {isHead});
    QStringList items;
    for (rs->first(); !rs->atEnd(); rs->next())
        items << nullToText(rs->value(QStringLiteral("FID"))) + u'/' +
                     nullToText(rs->value(QStringLiteral("FFieldDesc")));
    return items;
}

bool ExpressionVerifier::matched(const QString& open, const QString& close) const {
    try {
        const QString s = expression.trimmed();
        if (s.count(open) == s.count(close)) return true;
        showMsg(open + QStringLiteral(" 和 ") + close + QStringLiteral("不匹配！"));
        return false;
    } catch (const std::exception& e) {
        showErr(QStringLiteral("Matched"), e);
        return false;
    }
}

bool ExpressionVerifier::getList(QString& list, QString& sqlForm, QString& idForm) const {
    try {
        QString s = expression.trimmed();
        QString d = s;
        list.clear();
        if (!s.contains(u'[')) {
            syntaxError();
            return false;
        }
        // A column name that itself holds a reference would never run out.
        for (int guard = 0; s.contains(u'['); ++guard) {
            const qsizetype p = s.indexOf(u'[');
            const qsizetype q = s.indexOf(u']', p + 1);
            if (q < 0 || guard > 1000) {
                syntaxError();
                return false;
            }
            const QString inner = s.mid(p + 1, q - p - 1);
            list += inner + u',';
            if (!inner.contains(u'/')) {
                syntaxError();
                return false;
            }
            const QString fid = splitItem(inner, QStringLiteral("/"), 0);
            if (fid.isEmpty()) {
                syntaxError();
                return false;
            }
            const QString name =
                getFieldValue(&m_session.config(),
                              QStringLiteral("Select FFieldName from t_QorField where FID=?"), 0, QString(),
                              {fid})
                    .toString();
            if (name.isEmpty()) {
                syntaxError();
                return false;
            }
            const QString ref = u'[' + inner + u']';
            s.replace(ref, name, Qt::CaseSensitive);
            d.replace(ref, fid, Qt::CaseSensitive);
        }
        if (list.endsWith(u',')) list.chop(1);
        sqlForm = s;
        idForm = d;
        return true;
    } catch (const std::exception& e) {
        showErr(QStringLiteral("GetList"), e);
        return false;
    }
}

bool ExpressionVerifier::fieldInList(const QString& text) const {
    return fieldItems.contains(text);
}

QString ExpressionVerifier::getFieldType(const QString& fid) const {
    const RecordsetPtr rs =
        m_session.config().query(QStringLiteral("select FFieldType from t_QorField where FID=?"), {fid});
    if (rs->atEnd()) return QString();
    return nullToText(rs->value(0), QStringLiteral("1"));
}

bool ExpressionVerifier::hasStatementSeparator(const QString& sql) {
    QChar quote;
    for (const QChar c : sql) {
        if (!quote.isNull()) {
            if (c == quote) quote = QChar();
        } else if (c == u'\'' || c == u'"') {
            quote = c;
        } else if (c == u';') {
            return true;
        }
    }
    return false;
}

bool ExpressionVerifier::verifyExpression() {
    try {
        const QString text = expression.trimmed();
        if (text.isEmpty()) {
            showMsg(QStringLiteral("没有定义对应表达式！"));
            return false;
        }
        // "|" joins the three forms of the stored formula: it could never be read back.
        if (text.contains(u'|')) {
            showMsg(QStringLiteral("公式中不能含有字符“|”！"));
            return false;
        }
        if (!matched(QStringLiteral("["), QStringLiteral("]"))) return false;
        returnFieldId.clear();
        returnFieldName.clear();
        QString list;
        if (!getList(list, returnFieldName, returnFieldId)) return false;
        QStringList seen;
        for (const QString& r : list.split(u',')) {
            if (seen.contains(r)) continue;
            seen << r;
            if (!fieldInList(r)) {
                showMsg(QStringLiteral("【") + r + QStringLiteral("】") + QStringLiteral("不存在！"));
                return false;
            }
            if (dataType == 3 && getFieldType(splitItem(r, QStringLiteral("/"), 0)) != u"3") {
                showMsg(QStringLiteral("【") + r + QStringLiteral("】") + QStringLiteral("为非数值型！"));
                return false;
            }
        }
        // The formula goes into the export's select list as it stands: one expression, no second statement.
        if (hasStatementSeparator(returnFieldName)) {
            showMsg(QStringLiteral("公式中不能含有语句分隔符“;”！"));
            return false;
        }

        Connection& config = m_session.config();
        const QString t1 = templateWithoutConditions(readTemplate(config, QStringLiteral("tbl1")));
        const QString t2 = readTemplate(config, QStringLiteral("tbl2"));
        const QString sql = QStringLiteral("select ") + returnFieldName + templateSource(t1, t2);

        // The formula is the user's own SQL: it runs where nothing can be changed.
        ConnectionPtr acct = m_session.openAcctConnection(Connection::Mode::ReadOnly);
        const bool ok = testSql(sql, acct.get());
        closeConnection(acct);
        if (!ok) {
            syntaxError();
            return false;
        }
        return true;
    } catch (const std::exception& e) {
        showErr(QStringLiteral("VerifyExpression"), e);
        return false;
    }
}
