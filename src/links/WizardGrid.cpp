#include "links/WizardGrid.h"

#include "common/DbProcedures.h"
#include "common/Messages.h"
#include "common/Values.h"
#include "links/LinkStore.h"

QString typeToText(const QString& code) {
    if (code == u"1") return QStringLiteral("文本");
    if (code == u"2") return QStringLiteral("日期");
    if (code == u"3") return QStringLiteral("数字");
    return QString();
}

QString textToType(const QString& text) {
    if (text == u"文本") return QStringLiteral("1");
    if (text == u"日期") return QStringLiteral("2");
    if (text == u"数字") return QStringLiteral("3");
    return QString();
}

QString getFieldList(Connection& config, const QString& sql, bool isTaxList, const QVariantList& params) {
    const RecordsetPtr rs = config.query(sql, params);
    const QString pad(100, u' ');
    QString out;
    for (rs->first(); !rs->atEnd(); rs->next()) {
        if (isTaxList) {
            out += nullToText(rs->value(1)) + pad + u'|' + nullToText(rs->value(0)) + u'|' +
                   nullToText(rs->value(2));
        } else {
            out += nullToText(rs->value(1)) + pad + u'|' + nullToText(rs->value(0));
        }
        out += u'\t';
    }
    return out;
}

QString taxFieldList(Connection& config, bool isHead, const QString& format) {
    // The text and XML files share the tax system's fields; the workbook has the template's headings.
    return getFieldList(config,
                        QStringLiteral("Select Fid,Fname,FFieldType from t_TaxField where FisHead=? and "
                                       "coalesce(FFormat,'')=? order by Fid"),
                        true, {isHead, format == u"xlsx" ? QStringLiteral("xlsx") : QString("")});
}

QString qorFieldList(Connection& config, bool isHead) {
    return getFieldList(
        config, QStringLiteral("Select Fid,FFieldDesc from t_QorField where FisHead=? order by forder"),
        false, {isHead});
}

QList<GridRow> loadDetailRows(Connection& config, const QString& key, bool isHead) {
    // A key that is no number names no link (it used to break the statement).
    const std::optional<qlonglong> id = parseLinkKey(key);
    if (!id) return {};
    const RecordsetPtr rs = config.query(
        QStringLiteral(
            "Select b.FName,b.FFieldType,a.FisFormula,a.FTaxID,a.FQORField from t_Detail a , "
            "t_TaxField b  Where  a.FTaxID=b.FID and a.FBaseInfoID=? and a.FisHead= ? order by a.FID"),
        {*id, isHead});
    QList<GridRow> rows;
    for (rs->first(); !rs->atEnd(); rs->next())
        rows.append(mappedGridRow(config, nullToText(rs->value(QStringLiteral("FName"))),
                                  nullToText(rs->value(QStringLiteral("FFieldType"))),
                                  isTrueValue(rs->value(QStringLiteral("FisFormula"))),
                                  nullToText(rs->value(QStringLiteral("FTaxID"))),
                                  nullToText(rs->value(QStringLiteral("FQORField")))));
    return rows;
}

GridRow mappedGridRow(Connection& config, const QString& taxName, const QString& typeCode, bool formula,
                      const QString& taxID, const QString& qorID) {
    GridRow row;
    row.taxField = taxName;
    row.typeText = typeToText(typeCode);
    row.isFormula = formula ? QStringLiteral("1") : QStringLiteral("0");
    row.taxID = taxID;
    row.qorID = qorID;
    if (formula)
        row.caption = splitItem(qorID, QStringLiteral("|"), 2);
    else
        row.qorField =
            getFieldValue(&config, QStringLiteral("Select FFieldDesc from t_QorField  where FID=?"), 0,
                          QString(), {qorID})
                .toString();
    return row;
}

QList<GridRow> factoryGridRows(Connection& config, bool isHead) {
    // The factory's mappings are those of its first link (t_DefaultDetail may hold no other), by the tax
    // fields of the text file as they stand: a field the user removed is left out.
    const RecordsetPtr rs = config.query(
        QStringLiteral(
            "Select b.Fname,b.FFieldType,a.FisFormula,a.FTaxID,a.FQORField from t_DefaultDetail a, "
            "t_TaxField b where a.FTaxID=b.Fid and coalesce(b.FFormat,'')='' and a.FisHead=? and "
            "a.FBaseInfoID=(select min(FBaseInfoID) from t_DefaultDetail) order by a.FID"),
        {isHead});
    QList<GridRow> rows;
    for (const QVariantList& r : rs->allRows())
        rows.append(mappedGridRow(config, nullToText(r.value(0)), nullToText(r.value(1)),
                                  isTrueValue(r.value(2)), nullToText(r.value(3)), nullToText(r.value(4))));
    return rows;
}

bool checkGridRows(const QList<GridRow>& rows, bool isHead) {
    bool hasBillNo = false;
    bool hasRow = false;
    for (int i = 0; i < rows.size(); ++i) {
        const GridRow& row = rows[i];
        if (!row.mapped()) continue;
        const QString r = QString::number(i + 1);
        const bool formula = row.isFormula.trimmed() == u"1";
        if (formula && row.caption.trimmed().isEmpty()) {
            showMsg(QStringLiteral("第") + r + QStringLiteral("行,QOR公式列为空!"));
            return false;
        }
        if (!formula && row.qorField.trimmed().isEmpty()) {
            showMsg(QStringLiteral("第") + r + QStringLiteral("行,QOR字段列为空!"));
            return false;
        }
        // The invoice number is the accounting field with FID 1; a stored formula is never just "1".
        if (isHead && row.qorID.trimmed() == u"1") hasBillNo = true;
        hasRow = true;
    }
    if (!hasRow) {
        showMsg(
            isHead
                ? QStringLiteral("数据输入不完整：“发票头字段对应”页还没有对应任何字段，至少要对应发票号码！")
                : QStringLiteral("数据输入不完整：“发票体字段对应”页还没有对应任何字段，至少要对应商品的"
                                 "名称、数量和金额！"));
        return false;
    }
    if (!isHead || hasBillNo) return true;
    showMsg(QStringLiteral("表头必须选择设置发票号码字段的关联!"));
    return false;
}

QStringList missingRequiredFields(const QList<GridRow>& head, const QList<GridRow>& body,
                                  const QString& format) {
    if (format == u"xlsx") return {};
    auto names = [](const QList<GridRow>& rows) {
        QStringList out;
        for (const GridRow& r : rows)
            if (r.mapped()) out << splitItem(r.taxField, QStringLiteral("|"), 0).trimmed();
        return out;
    };
    const QStringList mappedHead = names(head), mappedBody = names(body);
    QStringList missing;
    for (const char* f : {"单据号", "商品行数", "购方名称", "购方税号"})
        if (!mappedHead.contains(QString::fromUtf8(f)) && !(format == u"xml" && qstrcmp(f, "商品行数") == 0))
            missing << QString::fromUtf8(f);
    for (const char* f : {"货物名称", "数量", "不含税金额", "税率"})
        if (!mappedBody.contains(QString::fromUtf8(f))) missing << QString::fromUtf8(f);
    return missing;
}

QList<LayoutField> textFileLayout(Connection& config, bool isHead) {
    const RecordsetPtr rs = config.query(QStringLiteral("Select Fid,Fname,FFieldType from t_TaxField where "
                                                        "FisHead=? and coalesce(FFormat,'')='' order by Fid"),
                                         {isHead});
    QList<LayoutField> out;
    for (rs->first(); !rs->atEnd(); rs->next())
        out.append({nullToText(rs->value(0)), nullToText(rs->value(1)).trimmed(), nullToText(rs->value(2))});
    return out;
}

QString rowTaxName(const GridRow& row) {
    return splitItem(row.taxField, QStringLiteral("|"), 0).trimmed();
}

QStringList layoutGaps(const QStringList& layout, const QStringList& kept) {
    qsizetype last = -1;
    for (qsizetype i = 0; i < layout.size(); ++i)
        if (kept.contains(layout[i])) last = i;
    QStringList gaps;
    for (qsizetype i = 0; i < last; ++i)
        if (!kept.contains(layout[i])) gaps << layout[i];
    return gaps;
}

QStringList layoutGaps(const QList<LayoutField>& layout, const QList<GridRow>& rows) {
    QStringList names, kept;
    for (const LayoutField& f : layout)
        names << f.name;
    for (const GridRow& r : rows)
        if (r.mapped()) kept << rowTaxName(r);
    return layoutGaps(names, kept);
}

QString layoutGapQuestion(const QStringList& headGaps, const QStringList& bodyGaps) {
    QStringList parts;
    if (!headGaps.isEmpty()) parts << QStringLiteral("表头缺少%1").arg(headGaps.join(QStringLiteral("、")));
    if (!bodyGaps.isEmpty()) parts << QStringLiteral("表体缺少%1").arg(bodyGaps.join(QStringLiteral("、")));
    return QStringLiteral("%1。\n税控系统按位置读取文本文件的字段，缺少的字段会使其后的字段错位。\n"
                          "是否把缺少的字段作为空字段加入并保存？选“否”返回修改。")
        .arg(parts.join(QStringLiteral("；")));
}

QList<GridRow> fillLayoutGaps(const QList<GridRow>& rows, const QList<LayoutField>& layout) {
    QList<GridRow> mapped;
    for (const GridRow& r : rows)
        if (r.mapped()) mapped.append(r);
    qsizetype last = -1;
    for (qsizetype i = 0; i < layout.size(); ++i)
        for (const GridRow& r : mapped)
            if (rowTaxName(r) == layout[i].name) last = i;
    QList<GridRow> out;
    QList<bool> placed(mapped.size(), false);
    for (qsizetype i = 0; i <= last; ++i) {
        bool found = false;
        for (qsizetype j = 0; j < mapped.size(); ++j) {
            if (placed[j] || rowTaxName(mapped[j]) != layout[i].name) continue;
            out.append(mapped[j]);
            placed[j] = true;
            found = true;
        }
        if (found) continue;
        // An empty text: the field keeps its position and says nothing.
        GridRow empty;
        empty.taxField = layout[i].name;
        empty.typeText = typeToText(layout[i].type);
        empty.isFormula = QStringLiteral("1");
        empty.caption = QStringLiteral("''");
        empty.taxID = layout[i].id;
        empty.qorID = storedFormula(empty.caption, empty.caption, empty.caption);
        out.append(empty);
    }
    for (qsizetype j = 0; j < mapped.size(); ++j)
        if (!placed[j]) out.append(mapped[j]);
    return out;
}

FieldMap detailFieldMap(const GridRow& row, bool isHead) {
    FieldMap m;
    m.set(QStringLiteral("FTaxID"), row.taxID.trimmed());
    m.set(QStringLiteral("FisFormula"), row.isFormula);
    m.set(QStringLiteral("FQORField"), row.qorID.trimmed());
    m.set(QStringLiteral("FisHead"), isHead ? QStringLiteral("1") : QStringLiteral("0"));
    return m;
}

QString storedFormula(const QString& idForm, const QString& sqlForm, const QString& displayForm) {
    return idForm + u'|' + sqlForm + u'|' + displayForm;
}
