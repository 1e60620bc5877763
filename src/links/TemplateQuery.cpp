#include "links/TemplateQuery.h"

#include "common/DbProcedures.h"

#include "common/Messages.h"

#include "common/Values.h"
#include <QRegularExpression>

QString readTemplate(Connection& config, const QString& key) {
    return nullToText(getFieldValue(&config, QStringLiteral("Select FSQL from t_OtherInfo Where Fkey=?"), 0,
                                    QString(), {key}));
}

namespace {
const char16_t* const kItems[] = {u"t1.Fdate>=?",   u"t1.Fdate<=?",   u"t1.FBillNo>=?", u"t1.FBillNo<=?",
                                  u"t5.FNumber>=?", u"t5.FNumber<=?", u"t4.FNumber>=?", u"t4.FNumber<=?",
                                  u"t6.FNumber>=?", u"t6.FNumber<=?", u"t10.fname>=?",  u"t10.fname<=?",
                                  u"t11.fname>=?",  u"t11.fname<=?"};
} // namespace

QString getFilterItem(int i) {
    if (i < 0 || i >= int(std::size(kItems))) return {};
    return QString::fromUtf16(kItems[i]);
}

TemplateQuery mainTemplateQuery(const QString& tbl1, const QString& conditions, const QString& invoiceType) {
    TemplateQuery q = filteredTemplateQuery(tbl1, conditions);
    q.sql += invoiceType == u"0" ? QStringLiteral(" and t9.FID=80") : QStringLiteral(" and t9.FID=86");
    return q;
}

TemplateQuery filteredTemplateQuery(const QString& tbl1, const QString& conditions) {
    const QStringList values = conditions.isEmpty() ? QStringList() : conditions.split(u'|');
    static const QRegularExpression placeholder(QStringLiteral("\\{filter(\\d+)\\}"),
                                                QRegularExpression::CaseInsensitiveOption);
    TemplateQuery q;
    qsizetype done = 0;
    for (auto it = placeholder.globalMatch(tbl1); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const int i = m.captured(1).toInt();
        if (QString::number(i) != m.captured(1) || i >= values.size()) continue;
        q.sql += tbl1.mid(done, m.capturedStart() - done);
        done = m.capturedEnd();
        if (values[i].isEmpty()) {
            q.sql += QStringLiteral("1=1");
        } else {
            const QString c = getFilterItem(i);
            q.sql += c;
            if (c.contains(u'?')) q.params << values[i];
        }
    }
    q.sql += tbl1.mid(done);
    return q;
}

QString templateWithoutConditions(const QString& tbl1) {
    const qsizetype w = tbl1.indexOf(QStringLiteral("where"), 0, Qt::CaseInsensitive);
    if (w < 0) throw DbError(ErrNo::General, QStringLiteral("无效的过程调用或参数"));
    return tbl1.left(w);
}

QString templateSource(const QString& headSql, const QString& bodySql) {
    return QStringLiteral(" from (select * from (") + headSql + QStringLiteral(") aa,(") + bodySql +
           QStringLiteral(") bb) cc");
}
