#pragma once
// The tax bureau platform's list of issued invoices (发票查询统计, exported as .xlsx) written back onto the
// documents this program exported to the platform. The platform gives back no 发票流水号; the one field
// that returns as written is 备注, which begins with the document's 单据号 when the link writes it there.
// Otherwise an invoice is matched by its buyer and amounts. What matched gets its number, date and totals
// on the ledger's export rows and in the write-back column, all in one transaction; a blue invoice flushed
// red in full or cancelled makes its document exportable again.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <deque>
#include <utility>

class Session;
struct XlsxCaps;

// One invoice of the list.
struct PlatformInvoice {
    int row = 0;           // in the sheet, 1-based
    QString digitalNumber; // 数电发票号码 (20 digits)
    QString code, number;  // 发票代码, 发票号码 (older invoices, or the platform's copy of them)
    QString sellerTaxNo;   // 销方识别号
    QString buyerTaxNo, buyerName; // 购方识别号, 购买方名称
    QString date;                  // 开票日期, yyyy-MM-dd
    double amount = 0, tax = 0;    // 金额, 税额
    QString kind, state, remark;   // 发票票种, 发票状态, 备注
    bool red = false;              // 是否正数发票 否, or a negative amount
    // A row that cannot be told apart from others: it has no number at all, or Excel turned its number
    // into a number cell and kept only 15 digits of it. Listed, never written back.
    enum class Unusable : quint8 { No, NoNumber, ExcelNumber };
    Unusable unusable = Unusable::No;
    // The blue invoice a red one flushes, as its 备注 names it (the number as written back), else empty.
    QString namedBlue() const;
    // A red invoice's 红字发票信息确认单编号, as its 备注 gives it, else empty.
    QString redConfirmNo() const;
    // The number as it is written back: the 数电发票号码, else 发票代码-发票号码.
    QString numberText() const;
};

// A list held packed: the texts that repeat down it (seller, buyer, day, kind, state) once, each invoice's
// own texts in one buffer; a month's list costs a fraction of its invoices as PlatformInvoice. Each is
// made a PlatformInvoice again when it is worked or shown.
class PlatformInvoices {
public:
    PlatformInvoices() = default;
    explicit PlatformInvoices(const QList<PlatformInvoice>& list);
    void append(const PlatformInvoice& inv);
    qsizetype size() const { return qsizetype(m_items.size()); }
    PlatformInvoice at(qsizetype i) const;
    int row(qsizetype i) const { return m_items.at(i).row; }
    bool red(qsizetype i) const { return m_items.at(i).red; }
    PlatformInvoice::Unusable unusable(qsizetype i) const { return m_items.at(i).unusable; }
    const QString& sellerTaxNo(qsizetype i) const { return m_repeated.at(m_items.at(i).repeated[0]); }
    // PlatformInvoice::numberText and remark, where they are held.
    QStringView numberText(qsizetype i) const {
        return m_items.at(i).unusable == PlatformInvoice::Unusable::No ? text(i, 0) : QStringView();
    }
    QStringView remark(qsizetype i) const { return text(i, 3); }

private:
    struct Item {
        quint32 chunk = 0, at = 0; // where its own texts begin: in which of m_texts, and where there
        quint32 lengths[4] = {};   // 数电发票号码 or number text, 发票代码, 发票号码, 备注
        quint32 repeated[6] = {};  // seller, buyer's tax number and name, date, kind, state in m_repeated
        double amount = 0, tax = 0;
        int row = 0;
        bool red = false, digital = false; // digital: the first text is the 数电发票号码
        PlatformInvoice::Unusable unusable = PlatformInvoice::Unusable::No;
    };
    QStringView text(qsizetype i, int field) const;
    quint32 repeatedIndex(const QString& text);

    // Both grow a piece at a time, never copied whole as they grow: a month's list is read without
    // holding it twice.
    std::deque<Item> m_items;
    QList<QString> m_texts; // each filled up to the capacity it was made with, so that it never moves
    QStringList m_repeated{QString()};
    QHash<QString, quint32> m_repeatedIndex;
};

// The list as read: the invoices in sheet order, from the sheet of one row per invoice (发票基础信息, or
// the one sheet whose headings are an invoice's and no goods line's); the rows without a usable number
// among them, marked. Refusals (not the platform's list, several or no such sheets, a cell that is no
// number, past the reader's caps) throw DbError with a message for the user.
// A heading of the platform's workbooks as compared: without blanks, line breaks or the asterisk of a
// required column, full-width brackets as ASCII ones.
QString platformHeading(const QString& text);

QList<PlatformInvoice> readPlatformList(const QString& path);
QList<PlatformInvoice> readPlatformList(const QByteArray& bytes, const QString& displayName);
// The caps the list is read with, and the reading with others (the tests': a cap reached without a file of
// that size).
XlsxCaps platformListCaps();
QList<PlatformInvoice> readPlatformList(const QString& path, const XlsxCaps& caps);
QList<PlatformInvoice> readPlatformList(const QByteArray& bytes, const QString& displayName,
                                        const XlsxCaps& caps);
// The same, held packed (a month's list read by the batch).
PlatformInvoices readPlatformInvoices(const QString& path);

struct PlatformWriteBackResult {
    int written = 0;       // invoices written back onto a document, blue or red
    int byDocNo = 0;       // of them: matched by the 单据号 at the start of 备注
    int byBuyer = 0;       //          matched by buyer and amounts
    int flushed = 0;       // documents found wholly flushed red or cancelled: exportable again
    int partlyFlushed = 0; // documents found partly flushed red
    int already = 0;       // invoices written back before, nothing new about them
    int otherSeller = 0;   // rows of another seller, left
    struct Unmatched {
        PlatformInvoice invoice;
        QStringList candidates; // 单据号 of the documents it could be (several: ambiguous)
        QString blue;           // not found: a red invoice's blue one, never written back by this set
    };
    // outAgain: matched to a document whose tax invoice was cancelled and one of whose sales invoices went
    // out again since; candidates: that document, the sales invoice and the document it went out in.
    QList<Unmatched> notFound, ambiguous, outAgain;
    // Rows without any number, and rows whose number Excel cut (PlatformInvoice::Unusable).
    QList<Unmatched> noNumber, excelNumber;
    // Every invoice written back (or, a red one without a document of its own, flushing its blue one),
    // with the document it went onto and how that was found, in the order of the sheet.
    enum class How { DocNo, Buyer, Blue };
    // The invoice is the list's own (invoices.at(index)): a month's list is held once, not again here.
    struct Placed {
        qsizetype index = 0;
        QString docNo;
        How how = How::DocNo;
    };
    QList<Placed> placed;
    PlatformInvoices invoices; // the list as read
    PlatformInvoice invoice(const Placed& p) const { return invoices.at(p.index); }

    // What happened, as stdout and the window say it, one text per line.
    QStringList lines() const;
    // The invoices placed, "数电发票号码\t单据号\t按单据号" (按购方和金额, 按被红冲的蓝字发票) each.
    QStringList placedLines() const;
    static QString howText(How how);
    // The invoices not written back, in the order the lines list them, each with what the CSV and the
    // window say of it.
    QList<std::pair<QString, Unmatched>> listed() const;
    // The same as CSV (UTF-8 with a BOM): a line per invoice not written back.
    QByteArray csv() const;
};

class PlatformWriteBack {
public:
    explicit PlatformWriteBack(const Session& session);
    // Reads the list and writes it back (preview: works it out and writes nothing). False after a refusal,
    // which is shown (showMsg) and writes nothing.
    bool run(const QString& path, bool preview);
    // The same on an already read list (the window's, the tests').
    bool apply(const QList<PlatformInvoice>& list, bool preview);
    const PlatformWriteBackResult& result() const { return m_result; }

private:
    bool work(bool preview);

    const Session& m_session;
    PlatformWriteBackResult m_result;
};
