#include "import/ImportEngine.h"

#include "common/DbLog.h"
#include "common/GbkCodec.h"
#include "common/Ledger.h"
#include "common/Messages.h"
#include "common/Session.h"
#include "common/Values.h"
#include "import/ImportReader.h"
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <cmath>
#include <limits>

namespace {
qint32 next(qint32 n) {
    if (n == std::numeric_limits<qint32>::max()) throw DbError(ErrNo::Overflow, QStringLiteral("溢出"));
    return n + 1;
}

// A row refused for a key another row has (SQLSTATE class 23, or the driver's words where it gives none).
bool isUniqueViolation(const DbError& e) {
    const QString text = e.cause() + u' ' + e.description();
    return e.sqlState() == u"23505" || e.sqlState() == u"23000" ||
           text.contains(QStringLiteral("UNIQUE"), Qt::CaseInsensitive) ||
           text.contains(QStringLiteral("duplicate"), Qt::CaseInsensitive);
}
} // namespace

std::optional<int> declaredInvoiceCount(const QString& line) {
    // 张数~~起日~~止日; the dates may be missing when the file holds no invoice.
    static const QRegularExpression form(QStringLiteral("^\\s*(\\d{1,9})~~(\\d{8})?~~(\\d{8})?\\s*$"));
    const QRegularExpressionMatch m = form.match(line);
    if (!m.hasMatch()) return std::nullopt;
    return m.captured(1).toInt();
}

qint32 bodyLineCount(const QString& text) {
    const double n = std::nearbyint(leadingNumber(text));
    if (n > std::numeric_limits<qint32>::max() || n < std::numeric_limits<qint32>::min())
        throw DbError(ErrNo::Overflow, QStringLiteral("溢出"));
    return qint32(n);
}

ImportEngine::ImportEngine(Session& session)
    : m_session(session), m_acct(session.gcnAcct), m_rules(session.gcnAcct, session.gcnConfig),
      m_writer(session, m_rules) {}

QString ImportEngine::countsText() const {
    QString t = QStringLiteral("引入发票%1张，商品行%2行").arg(m_counts.invoices).arg(m_counts.lines);
    if (m_counts.skipped > 0) t += QStringLiteral("，跳过已引入的发票%1张").arg(m_counts.skipped);
    t += QStringLiteral("。");
    if (!m_counts.guarded)
        t += QStringLiteral("引入字段设置中没有类别代码和发票号码，未能检查发票是否已经引入过。");
    if (m_counts.writtenBack > 0)
        t += QStringLiteral("\n回写税控发票%1张，其中作废%2张。")
                 .arg(m_counts.writtenBack)
                 .arg(m_counts.writtenBackCancelled);
    if (m_counts.foreign > 0)
        t += QStringLiteral("\n%1张发票的销售单据编号不是本账套引出的单据，已作为新发票引入。")
                 .arg(m_counts.foreign);
    if (m_counts.cancellations > 0)
        t += QStringLiteral("\n更新已作废的发票%1张。").arg(m_counts.cancellations);
    return t;
}

bool ImportEngine::nothingNew() const {
    return m_counts.skipped > 0 && m_counts.invoices == 0 && m_counts.writtenBack == 0 &&
           m_counts.cancellations == 0;
}

QString ImportEngine::doneText() const {
    return nothingNew()
               ? QStringLiteral("文件中的%1张发票都已引入过，本次没有引入新发票。").arg(m_counts.skipped)
               : QStringLiteral("引入成功!");
}

bool ImportEngine::importToQor(const QString& filePath, bool skipImported) {
    return importToQor(filePath, skipImported ? Repeats::Skip : Repeats::Refuse);
}

bool ImportEngine::importToQor(const QString& filePath, Repeats repeats) {
    m_counts = Counts{};
    m_cancelled = false;
    try {
        requireConnection(m_acct.get());
        GbkLineReader reader;
        if (!reader.open(filePath)) throw DbError(ErrNo::FileNotFound, QStringLiteral("文件未找到"));
        if (reader.isEmptyFile()) {
            showMsg(QStringLiteral("文本文件为空!"));
            return false;
        }
        m_rules.beginImport();
        // The ledger's table is made (when missing) before the import's transaction begins.
        m_ledger.emplace(*m_acct);
        m_writeBack.emplace(*m_acct, m_session.config());
        m_writeBack->begin();
        m_writer.beginImport();
        QString notice; // the engine's own message, shown once everything is rolled back
        {
            // Immediate, and the import's locks taken before anything is written: a second import on the
            // same set waits here for the first one's commit instead of meeting it halfway.
            TransactionGuard tx(*m_acct, true);
            m_acct->lockForImport();
            // The write-back reads which documents are open: no export or list write-back changes them
            // meanwhile.
            m_acct->lockLedger();
            if (readFile(reader, filePath, repeats, notice)) {
                flush();
                if (m_writeBack->finish(notice)) {
                    m_writer.endImport();
                    tx.commit();
                    Ledger::refreshStatistics(*m_acct, m_counts.invoices + m_counts.writtenBack +
                                                           m_counts.cancellations);
                    return true;
                }
            }
        }
        if (!notice.isEmpty()) showMsg(notice);
        return false;
    } catch (const DbError& e) {
        // Rolled back by now. A bill number the rule gives that the set already has refuses the insert:
        // the user has to move the rule on, which the database's words do not say.
        QString taken;
        if (isUniqueViolation(e)) {
            try {
                taken = m_writer.takenBillNo();
            } catch (const DbError&) {
            }
        }
        if (taken.isEmpty()) {
            showErr(QStringLiteral("ImportToQor"), e);
        } else {
            showMsg(QStringLiteral(
                        "销售发票号码%1在账套中已经存在，引入失败，没有引入任何发票。请在单据编码规则中"
                        "把销售发票的下一个号码调到已有号码之后，再引入。")
                        .arg(taken));
            reportCause(QStringLiteral("ImportToQor"), e);
        }
        return false;
    } catch (const std::exception& e) {
        showErr(QStringLiteral("ImportToQor"), e);
        return false;
    }
}

bool ImportEngine::skipBodyLines(GbkLineReader& reader, qint32 count, qint32& lineNumber,
                                 const QString& shown, QString& notice) {
    // The lines of an invoice that is not written are still the file's: a wrong count would swallow the
    // next invoice without a word.
    const int fields = m_rules.bodyFieldCount();
    for (qint32 i = 0; i < count; ++i) {
        lineNumber = next(lineNumber);
        const QString body = reader.readLine();
        if (body.trimmed().isEmpty()) {
            notice = QStringLiteral("发票体行为空!");
            return false;
        }
        if (isCommentLine(body) || cutFields(body).size() > fields) {
            notice = QStringLiteral("第%1行不是%2的商品行，文本文件格式不正确!").arg(lineNumber).arg(shown);
            return false;
        }
    }
    return true;
}

bool ImportEngine::issuedFromHead(const ImportLine& head, qint32 lineNumber, IssuedInvoice& out) {
    out.kind = head.field(m_rules.fieldPosition(true, QStringLiteral("发票种类")));
    out.code = head.field(m_rules.fieldPosition(true, QStringLiteral("类别代码")));
    out.number = head.field(m_rules.fieldPosition(true, QStringLiteral("发票号码")));
    out.docNo = head.field(m_rules.fieldPosition(true, QStringLiteral("销售单据编号"))).trimmed();
    out.cancelled = head.field(m_rules.fieldPosition(true, QStringLiteral("作废标识"))) == u"1";
    const QString date = head.field(m_rules.fieldPosition(true, QStringLiteral("开票日期")));
    if (!invoiceDateText(date, out.date))
        throw DbError(13, QStringLiteral("开票日期[") + date + QStringLiteral("]不是有效的日期。"));
    for (const auto& [field, value] : {std::pair{QStringLiteral("不含税金额"), &out.amount},
                                       std::pair{QStringLiteral("税额"), &out.tax}}) {
        const QString text = head.field(m_rules.fieldPosition(true, field));
        *value = 0;
        if (!text.trimmed().isEmpty() && !strictNumber(text, *value)) {
            showMsg(QStringLiteral("第%1行%2[%3]不是有效的数字!").arg(lineNumber).arg(field, text));
            return false;
        }
    }
    return true;
}

bool ImportEngine::readFile(GbkLineReader& reader, const QString& filePath, Repeats repeats,
                            QString& notice) {
    // The invoice of the tax system: kind, code and number. Without code and number nothing can be told.
    const int kindAt = m_rules.fieldPosition(true, QStringLiteral("发票种类"));
    const int codeAt = m_rules.fieldPosition(true, QStringLiteral("类别代码"));
    const int numberAt = m_rules.fieldPosition(true, QStringLiteral("发票号码"));
    const int countAt = m_rules.fieldPosition(true, QStringLiteral("商品明细行数"));
    const int docNoAt = m_rules.fieldPosition(true, QStringLiteral("销售单据编号"));
    const int cancelledAt = m_rules.fieldPosition(true, QStringLiteral("作废标识"));
    m_counts.guarded = codeAt >= 0 && numberAt >= 0;
    const QString file = QFileInfo(filePath).absoluteFilePath();
    const QString user = m_session.gsUserName.isEmpty() ? qEnvironmentVariable("USER") : m_session.gsUserName;
    // The invoices of this file so far, as hashes: memory stays small however long the file; a hash seen
    // before is confirmed in the ledger rows of this import.
    QSet<size_t> inFile;
    qint32 lineNumber = 0;
    qint32 headLineNumber = 0;
    qint32 entryID = 0; // runs on over the whole file
    qint32 prevEntryID = 0;
    QString prevLine;
    bool prevIsGoods = false;
    // The second line of the tax software's file says how many invoices follow: a copy cut short at an
    // invoice's end would otherwise import part of a month without a word.
    std::optional<int> declared;
    int heads = 0;
    QString firstRepeat; // SkipWholeFile: the refusal of the first invoice imported before
    // The head line's fields, pieces of it; the few that are kept become texts.
    QList<QStringView> cut;
    const auto field = [&cut](int at) { return at >= 0 && at < cut.size() ? cut[at] : QStringView(); };
    QString hashed;  // kind, code and number of the head, kept from one to the next
    ImportLine head; // the head line, its room reused for the next
    while (!reader.atEnd()) {
        lineNumber = next(lineNumber);
        const QString line = reader.readLine();
        if (!checkFileLine(lineNumber, line)) {
            // Our own export, picked by mistake: the tax system's issued invoices come in another file.
            notice = lineNumber == 1 && line.trimmed().startsWith(QStringLiteral("SJJK0101"))
                         ? QStringLiteral("所选文件是引出给税控系统的销售单据文件(SJJK0101)，不是税控系统"
                                          "引出的已开发票文件，不能引入!")
                         : QStringLiteral("文本文件格式不正确!");
            return false;
        }
        if (lineNumber == 2 && !isCommentLine(line)) declared = declaredInvoiceCount(line);
        if (isCommentLine(line)) headLineNumber = next(lineNumber);
        if (lineNumber != headLineNumber) continue;
        ++heads;

        cutFields(QStringView(line), cut);
        const QString docNo = field(docNoAt).trimmed().toString();
        QString kind, code, number;
        if (m_counts.guarded) {
            kind = field(kindAt).toString();
            code = field(codeAt).toString();
            number = field(numberAt).toString();
            const auto shown = [&] {
                return QStringLiteral("发票[") + Ledger::numberText(code, number) + u']';
            };
            hashed.resize(0);
            hashed += kind;
            hashed += QChar(0x1f);
            hashed += code;
            hashed += QChar(0x1f);
            hashed += number;
            const size_t hash = qHash(hashed);
            if (inFile.contains(hash)) {
                // The import's own ledger rows are in its transaction once written.
                flush();
                if (m_ledger->importedHere(kind, code, number)) {
                    notice = shown() + QStringLiteral("在文件中出现了两次，不能重复引入!");
                    return false;
                }
            }
            inFile.insert(hash);
            const qint32 count = bodyLineCount(field(countAt).toString());
            if (const std::optional<ImportLedger::Earlier> earlier =
                    m_ledger->earlierInvoice(kind, code, number)) {
                const bool cancelledNow = field(cancelledAt) == u"1";
                if (cancelledNow && !earlier->cancelled) {
                    // The month's file lists an invoice again once it was cancelled: no repeat, the
                    // cancellation is what is new.
                    IssuedInvoice cancelled;
                    cancelled.kind = kind;
                    cancelled.code = code;
                    cancelled.number = number;
                    if (earlier->direction == Ledger::Import)
                        m_ledger->cancelImported(*earlier, kind, code, number);
                    else
                        m_writeBack->cancel(cancelled);
                    ++m_counts.cancellations;
                } else if (repeats != Repeats::Skip) {
                    const QString refusal = shown() + QStringLiteral("已经引入过(销售发票") +
                                            earlier->billNo + QStringLiteral(")，不能重复引入!");
                    if (repeats == Repeats::Refuse) {
                        notice = refusal;
                        return false;
                    }
                    // Whether the file is a repeat as a whole is known only at its end.
                    if (firstRepeat.isEmpty()) firstRepeat = refusal;
                    ++m_counts.skipped;
                } else {
                    ++m_counts.skipped; // left out with its lines
                }
                if (!skipBodyLines(reader, count, lineNumber, shown(), notice)) return false;
                continue;
            }
            if (!docNo.isEmpty()) {
                // Issued from a document: written back onto it when this set exported it.
                ImportLine checked;
                IssuedInvoice issued;
                if (!m_rules.checkLine(line, true, checked) || !issuedFromHead(checked, lineNumber, issued))
                    return false;
                const IssuedWriteBack::Outcome outcome = m_writeBack->apply(issued, notice);
                if (outcome == IssuedWriteBack::Outcome::Refused) return false;
                if (outcome == IssuedWriteBack::Outcome::Written) {
                    ++m_counts.writtenBack;
                    if (issued.cancelled) ++m_counts.writtenBackCancelled;
                    if (!skipBodyLines(reader, count, lineNumber, shown(), notice)) return false;
                    continue;
                }
                ++m_counts.foreign;
            }
        }
        if (!m_writer.writeHead(line, lineNumber, head)) return false;
        if (m_counts.guarded)
            m_ledger->add(kind, code, number, m_writer.billNo(), docNo,
                          cancelledAt >= 0 && head.fieldView(cancelledAt) == u"1", file, user);
        ++m_counts.invoices;
        const qint32 count = bodyLineCount(head.field(countAt));
        // A discount applies to a goods line of its own invoice, never to the last one of another.
        prevIsGoods = false;
        for (qint32 i = 0; i < count; ++i) {
            entryID = next(entryID);
            lineNumber = next(lineNumber);
            const QString body = reader.readLine();
            if (body.trimmed().isEmpty()) {
                notice = QStringLiteral("发票体行为空!");
                return false;
            }
            // The first field: 0 a goods line, anything else a discount line.
            const qsizetype firstEnd = body.indexOf(QStringLiteral("~~"));
            const bool isGoods = QStringView(body).left(firstEnd < 0 ? body.size() : firstEnd) == u"0";
            if (isGoods) {
                if (!m_writer.writeGoodsLine(body, lineNumber, entryID)) return false;
                ++m_counts.lines;
            } else if (!prevIsGoods) {
                notice = QStringLiteral("取折扣行发票体字段出错!");
                return false;
            } else if (!m_writer.writeDiscountLine(body, prevEntryID, prevLine)) {
                return false;
            }
            prevLine = body;
            prevEntryID = entryID;
            prevIsGoods = isGoods;
        }
        if (m_writer.isFull()) flush();
        if (m_progress && !m_progress->report(reader.position(), reader.size(), m_counts.invoices)) {
            m_cancelled = true;
            notice = QStringLiteral("引入已取消，账套没有任何改变。");
            return false;
        }
    }
    if (declared && *declared != heads) {
        notice =
            QStringLiteral("文件记载发票%1张，实际有%2张，文件不完整，不能引入!").arg(*declared).arg(heads);
        return false;
    }
    if (!firstRepeat.isEmpty() && (m_counts.invoices > 0 || m_counts.writtenBack > 0)) {
        notice = firstRepeat;
        return false;
    }
    if (m_progress) m_progress->report(reader.size(), reader.size(), m_counts.invoices);
    return true;
}

void ImportEngine::flush() {
    m_writer.flush([this](const QStringList& ids) {
        // The ledger has a row per invoice when the guard is on, none otherwise.
        m_ledger->flush(m_ledger->pending() == 0 ? QStringList() : ids);
    });
}
