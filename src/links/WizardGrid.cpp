#include "WizardGrid.h"

#include "clsSaveData.h"
#include "common/modFunction.h"

QString TypeToText(const QString& code) {
    if (code == u"1") return QStringLiteral("文本");
    if (code == u"2") return QStringLiteral("日期");
    if (code == u"3") return QStringLiteral("数字");
    return QString();
}

QString TextToType(const QString& text) {
    if (text == u"文本") return QStringLiteral("1");
    if (text == u"日期") return QStringLiteral("2");
    if (text == u"数字") return QStringLiteral("3");
    return QString();
}

QString GetFieldList(Connection& config, const QString& sql, bool isTaxList, const QVariantList& params) {
    const RecordsetPtr rs = config.Query(sql, params);
    const QString pad(100, u' ');
    QString out;
    for (rs->MoveFirst(); !rs->EOF_(); rs->MoveNext()) {
        if (isTaxList) {
            out += NullToText(rs->value(1)) + pad + u'|' + NullToText(rs->value(0)) + u'|' +
                   NullToText(rs->value(2));
        } else {
            out += NullToText(rs->value(1)) + pad + u'|' + NullToText(rs->value(0));
        }
        out += u'\t';
    }
    return out;
}

QString TaxFieldList(Connection& config, bool isHead, const QString& format) {
    // The text and XML files share the tax system's fields; the workbook has the template's headings.
    return GetFieldList(config,
                        QStringLiteral("Select Fid,Fname,FFieldType from t_TaxField where FisHead=? and "
                                       "coalesce(FFormat,'')=? order by Fid"),
                        true, {isHead, format == u"xlsx" ? QStringLiteral("xlsx") : QString("")});
}

QString QorFieldList(Connection& config, bool isHead) {
    return GetFieldList(
        config, QStringLiteral("Select Fid,FFieldDesc from t_QorField where FisHead=? order by forder"),
        false, {isHead});
}

QList<GridRow> LoadDetailRows(Connection& config, const QString& key, bool isHead) {
    // A key that is no number names no link (it used to break the statement).
    const std::optional<qlonglong> id = ParseLinkKey(key);
    if (!id) return {};
    Connection* conn = &config;
    const RecordsetPtr rs = conn->Query(
        QStringLiteral(
            "Select b.FName,b.FFieldType,a.FisFormula,a.FTaxID,a.FQORField from t_Detail a , "
            "t_TaxField b  Where  a.FTaxID=b.FID and a.FBaseInfoID=? and a.FisHead= ? order by a.FID"),
        {*id, isHead});
    QList<GridRow> rows;
    for (rs->MoveFirst(); !rs->EOF_(); rs->MoveNext()) {
        GridRow row;
        row.taxField = NullToText(rs->value(QStringLiteral("FName")));
        row.typeText = TypeToText(NullToText(rs->value(QStringLiteral("FFieldType"))));
        const bool formula = IsTrueValue(rs->value(QStringLiteral("FisFormula")));
        row.isFormula = formula ? QStringLiteral("1") : QStringLiteral("0");
        row.taxID = NullToText(rs->value(QStringLiteral("FTaxID")));
        row.qorID = NullToText(rs->value(QStringLiteral("FQORField")));
        if (formula) {
            row.caption = SplitItem(row.qorID, QStringLiteral("|"), 2);
        } else {
            row.qorField =
                GetFieldValue(conn, QStringLiteral("Select FFieldDesc from t_QorField  where FID=?"), 0,
                              QString(), {row.qorID})
                    .toString();
        }
        rows.append(row);
    }
    return rows;
}

bool CheckGridRows(const QList<GridRow>& rows, bool isHead) {
    bool hasBillNo = false;
    bool hasRow = false;
    for (int i = 0; i < rows.size(); ++i) {
        const GridRow& row = rows[i];
        if (!row.mapped()) continue;
        const QString r = QString::number(i + 1);
        const bool formula = row.isFormula.trimmed() == u"1";
        if (formula && row.caption.trimmed().isEmpty()) {
            ShowMsg(QStringLiteral("第") + r + QStringLiteral("行,QOR公式列为空!"));
            return false;
        }
        if (!formula && row.qorField.trimmed().isEmpty()) {
            ShowMsg(QStringLiteral("第") + r + QStringLiteral("行,QOR字段列为空!"));
            return false;
        }
        // The invoice number is the accounting field with FID 1; a stored formula is never just "1".
        if (isHead && row.qorID.trimmed() == u"1") hasBillNo = true;
        hasRow = true;
    }
    if (!hasRow) {
        ShowMsg(QStringLiteral("数据输入不完整!"));
        return false;
    }
    if (!isHead || hasBillNo) return true;
    ShowMsg(QStringLiteral("表头必须选择设置发票号码字段的关联!"));
    return false;
}

QStringList MissingRequiredFields(const QList<GridRow>& head, const QList<GridRow>& body,
                                  const QString& format) {
    if (format == u"xlsx") return {};
    auto names = [](const QList<GridRow>& rows) {
        QStringList out;
        for (const GridRow& r : rows)
            if (r.mapped()) out << SplitItem(r.taxField, QStringLiteral("|"), 0).trimmed();
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

QList<LayoutField> TextFileLayout(Connection& config, bool isHead) {
    const RecordsetPtr rs = config.Query(QStringLiteral("Select Fid,Fname,FFieldType from t_TaxField where "
                                                        "FisHead=? and coalesce(FFormat,'')='' order by Fid"),
                                         {isHead});
    QList<LayoutField> out;
    for (rs->MoveFirst(); !rs->EOF_(); rs->MoveNext())
        out.append({NullToText(rs->value(0)), NullToText(rs->value(1)).trimmed(), NullToText(rs->value(2))});
    return out;
}

QString RowTaxName(const GridRow& row) {
    return SplitItem(row.taxField, QStringLiteral("|"), 0).trimmed();
}

QStringList LayoutGaps(const QStringList& layout, const QStringList& kept) {
    qsizetype last = -1;
    for (qsizetype i = 0; i < layout.size(); ++i)
        if (kept.contains(layout[i])) last = i;
    QStringList gaps;
    for (qsizetype i = 0; i < last; ++i)
        if (!kept.contains(layout[i])) gaps << layout[i];
    return gaps;
}

QStringList LayoutGaps(const QList<LayoutField>& layout, const QList<GridRow>& rows) {
    QStringList names, kept;
    for (const LayoutField& f : layout)
        names << f.name;
    for (const GridRow& r : rows)
        if (r.mapped()) kept << RowTaxName(r);
    return LayoutGaps(names, kept);
}

QString LayoutGapQuestion(const QStringList& headGaps, const QStringList& bodyGaps) {
    QStringList parts;
    if (!headGaps.isEmpty()) parts << QStringLiteral("表头缺少%1").arg(headGaps.join(QStringLiteral("、")));
    if (!bodyGaps.isEmpty()) parts << QStringLiteral("表体缺少%1").arg(bodyGaps.join(QStringLiteral("、")));
    return QStringLiteral("%1。\n税控系统按位置读取文本文件的字段，缺少的字段会使其后的字段错位。\n"
                          "是否把缺少的字段作为空字段加入并保存？选“否”返回修改。")
        .arg(parts.join(QStringLiteral("；")));
}

QList<GridRow> FillLayoutGaps(const QList<GridRow>& rows, const QList<LayoutField>& layout) {
    QList<GridRow> mapped;
    for (const GridRow& r : rows)
        if (r.mapped()) mapped.append(r);
    qsizetype last = -1;
    for (qsizetype i = 0; i < layout.size(); ++i)
        for (const GridRow& r : mapped)
            if (RowTaxName(r) == layout[i].name) last = i;
    QList<GridRow> out;
    QList<bool> placed(mapped.size(), false);
    for (qsizetype i = 0; i <= last; ++i) {
        bool found = false;
        for (qsizetype j = 0; j < mapped.size(); ++j) {
            if (placed[j] || RowTaxName(mapped[j]) != layout[i].name) continue;
            out.append(mapped[j]);
            placed[j] = true;
            found = true;
        }
        if (found) continue;
        // An empty text: the field keeps its position and says nothing.
        GridRow empty;
        empty.taxField = layout[i].name;
        empty.typeText = TypeToText(layout[i].type);
        empty.isFormula = QStringLiteral("1");
        empty.caption = QStringLiteral("''");
        empty.taxID = layout[i].id;
        empty.qorID = StoredFormula(empty.caption, empty.caption, empty.caption);
        out.append(empty);
    }
    for (qsizetype j = 0; j < mapped.size(); ++j)
        if (!placed[j]) out.append(mapped[j]);
    return out;
}

FieldMap DetailFieldMap(const GridRow& row, bool isHead) {
    FieldMap m;
    m.Set(QStringLiteral("FTaxID"), row.taxID.trimmed());
    m.Set(QStringLiteral("FisFormula"), row.isFormula);
    m.Set(QStringLiteral("FQORField"), row.qorID.trimmed());
    m.Set(QStringLiteral("FisHead"), isHead ? QStringLiteral("1") : QStringLiteral("0"));
    return m;
}

QString StoredFormula(const QString& idForm, const QString& sqlForm, const QString& displayForm) {
    return idForm + u'|' + sqlForm + u'|' + displayForm;
}
