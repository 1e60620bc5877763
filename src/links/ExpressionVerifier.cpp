#include "ExpressionVerifier.h"

#include "TemplateQuery.h"
#include "common/Session.h"
#include "common/modFunction.h"

namespace {

void syntaxError() {
    ShowMsg(QStringLiteral("表达式语法错误!"));
}

} // namespace

QStringList ExpressionVerifier::LoadFieldItems(Connection& config, bool isHead) {
    const RecordsetPtr rs =
        config.Query(QStringLiteral("select * from t_QorField where FisHead=?"), {isHead});
    QStringList items;
    for (rs->MoveFirst(); !rs->EOF_(); rs->MoveNext())
        items << NullToText(rs->value(QStringLiteral("FID"))) + u'/' +
                     NullToText(rs->value(QStringLiteral("FFieldDesc")));
    return items;
}

bool ExpressionVerifier::Matched(const QString& open, const QString& close) const {
    try {
        const QString s = expression.trimmed();
        if (s.count(open) == s.count(close)) return true;
        ShowMsg(open + QStringLiteral(" 和 ") + close + QStringLiteral("不匹配！"));
        return false;
    } catch (const std::exception& e) {
        ShowErr(QStringLiteral("Matched"), e);
        return false;
    }
}

bool ExpressionVerifier::GetList(QString& list, QString& sqlForm, QString& idForm) const {
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
            const QString fid = SplitItem(inner, QStringLiteral("/"), 0);
            if (fid.isEmpty()) {
                syntaxError();
                return false;
            }
            const QString name =
                GetFieldValue(&m_session.Config(),
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
        ShowErr(QStringLiteral("GetList"), e);
        return false;
    }
}

bool ExpressionVerifier::FieldInList(const QString& text) const {
    return fieldItems.contains(text);
}

QString ExpressionVerifier::GetFieldType(const QString& fid) const {
    const RecordsetPtr rs =
        m_session.Config().Query(QStringLiteral("select FFieldType from t_QorField where FID=?"), {fid});
    if (rs->EOF_()) return QString();
    return NullToText(rs->value(0), QStringLiteral("1"));
}

bool ExpressionVerifier::HasStatementSeparator(const QString& sql) {
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

bool ExpressionVerifier::VerifyExpression() {
    try {
        const QString text = expression.trimmed();
        if (text.isEmpty()) {
            ShowMsg(QStringLiteral("没有定义对应表达式！"));
            return false;
        }
        // "|" joins the three forms of the stored formula: it could never be read back.
        if (text.contains(u'|')) {
            ShowMsg(QStringLiteral("公式中不能含有字符“|”！"));
            return false;
        }
        if (!Matched(QStringLiteral("["), QStringLiteral("]"))) return false;
        ReturnFieldID.clear();
        ReturnFieldName.clear();
        QString list;
        if (!GetList(list, ReturnFieldName, ReturnFieldID)) return false;
        QStringList seen;
        for (const QString& r : list.split(u',')) {
            if (seen.contains(r)) continue;
            seen << r;
            if (!FieldInList(r)) {
                ShowMsg(QStringLiteral("【") + r + QStringLiteral("】") + QStringLiteral("不存在！"));
                return false;
            }
            if (dataType == 3 && GetFieldType(SplitItem(r, QStringLiteral("/"), 0)) != u"3") {
                ShowMsg(QStringLiteral("【") + r + QStringLiteral("】") + QStringLiteral("为非数值型！"));
                return false;
            }
        }
        // The formula goes into the export's select list as it stands: one expression, no second statement.
        if (HasStatementSeparator(ReturnFieldName)) {
            ShowMsg(QStringLiteral("公式中不能含有语句分隔符“;”！"));
            return false;
        }

        Connection& config = m_session.Config();
        const QString t1 = TemplateWithoutConditions(ReadTemplate(config, QStringLiteral("tbl1")));
        const QString t2 = ReadTemplate(config, QStringLiteral("tbl2"));
        const QString sql = QStringLiteral("select ") + ReturnFieldName + TemplateSource(t1, t2);

        // The formula is the user's own SQL: it runs where nothing can be changed.
        ConnectionPtr acct = m_session.OpenAcctConnection(Connection::Mode::ReadOnly);
        const bool ok = TestSql(sql, acct.get());
        CloseConnection(acct);
        if (!ok) {
            syntaxError();
            return false;
        }
        return true;
    } catch (const std::exception& e) {
        ShowErr(QStringLiteral("VerifyExpression"), e);
        return false;
    }
}
