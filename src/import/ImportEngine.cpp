#include "ImportEngine.h"

#include "ImportReader.h"
#include "common/GbkCodec.h"
#include "common/Session.h"
#include "common/modFunction.h"
#include <cmath>
#include <limits>

namespace {
qint32 Next(qint32 n) {
    if (n == std::numeric_limits<qint32>::max()) throw DbError(ErrNo::Overflow, QStringLiteral("溢出"));
    return n + 1;
}
} // namespace

qint32 BodyLineCount(const QString& text) {
    const double n = std::nearbyint(LeadingNumber(text));
    if (n > std::numeric_limits<qint32>::max() || n < std::numeric_limits<qint32>::min())
        throw DbError(ErrNo::Overflow, QStringLiteral("溢出"));
    return qint32(n);
}

ImportEngine::ImportEngine(Session& session)
    : m_session(session), m_acct(session.gcnAcct), m_rules(session.gcnAcct, session.gcnConfig),
      m_writer(session, m_rules) {}

bool ImportEngine::ImportToQor(const QString& filePath) {
    try {
        RequireConnection(m_acct.get());
        GbkLineReader reader;
        if (!reader.open(filePath)) throw DbError(ErrNo::FileNotFound, QStringLiteral("文件未找到"));
        if (reader.isEmptyFile()) {
            ShowMsg(QStringLiteral("文本文件为空!"));
            return false;
        }
        m_rules.BeginImport();
        m_writer.BeginImport();
        QString notice; // the engine's own message, shown once everything is rolled back
        {
            // Immediate, and the import's locks taken before anything is written: a second import on the
            // same set waits here for the first one's commit instead of meeting it halfway.
            TransactionGuard tx(*m_acct, true);
            m_acct->LockForImport();
            if (ReadFile(reader, notice)) {
                m_writer.EndImport();
                tx.commit();
                return true;
            }
        }
        if (!notice.isEmpty()) ShowMsg(notice);
        return false;
    } catch (const std::exception& e) {
        ShowErr(QStringLiteral("ImportToQor"), e);
        return false;
    }
}

bool ImportEngine::ReadFile(GbkLineReader& reader, QString& notice) {
    qint32 lineNumber = 0;
    qint32 headLineNumber = 0;
    qint32 entryID = 0; // runs on over the whole file
    qint32 prevEntryID = 0;
    QString prevLine;
    bool prevIsGoods = false;
    while (!reader.atEnd()) {
        lineNumber = Next(lineNumber);
        const QString line = reader.readLine();
        if (!CheckFileLine(lineNumber, line)) {
            notice = QStringLiteral("文本文件格式不正确!");
            return false;
        }
        if (IsCommentLine(line)) headLineNumber = Next(lineNumber);
        if (lineNumber != headLineNumber) continue;

        ImportLine head;
        if (!m_writer.WriteHead(line, lineNumber, head)) return false;
        const qint32 count =
            BodyLineCount(head.Field(m_rules.FieldPosition(true, QStringLiteral("商品明细行数"))));
        // A discount applies to a goods line of its own invoice, never to the last one of another.
        prevIsGoods = false;
        for (qint32 i = 0; i < count; ++i) {
            entryID = Next(entryID);
            lineNumber = Next(lineNumber);
            const QString body = reader.readLine();
            if (body.trimmed().isEmpty()) {
                notice = QStringLiteral("发票体行为空!");
                return false;
            }
            const bool isGoods = CutFields(body).first() == u"0";
            if (isGoods) {
                if (!m_writer.WriteGoodsLine(body, lineNumber, entryID)) return false;
            } else if (!prevIsGoods) {
                notice = QStringLiteral("取折扣行发票体字段出错!");
                return false;
            } else if (!m_writer.WriteDiscountLine(body, prevEntryID, prevLine)) {
                return false;
            }
            prevLine = body;
            prevEntryID = entryID;
            prevIsGoods = isGoods;
        }
        m_writer.FlushIfFull();
    }
    return true;
}
