#include "common/GbkCodec.h"

#include "common/Connection.h"
#include <QFile>
#include <QStringDecoder>
#include <QStringEncoder>
#include <optional>

#ifdef Q_OS_WIN
#include <climits>
#include <windows.h>

// Qt built without ICU has no GBK converter: Windows' own code page 936 does the work. Its calls would
// quietly put in a best-fit or default character ("À" as "A", an emoji as "?"), so the flags ask for a
// refusal and every result is converted back and must give the input again.
namespace {
constexpr UINT kGbkCodePage = 936;

void requireCodePage() {
    static const bool installed = IsValidCodePage(kGbkCodePage);
    if (!installed) throw DbError(ErrNo::General, QStringLiteral("本机不支持 GBK 编码。"));
}

bool toUtf16(QByteArrayView bytes, QString& out) {
    if (bytes.isEmpty()) {
        out.clear();
        return true;
    }
    if (bytes.size() > INT_MAX / 2) return false;
    const int n = int(bytes.size());
    const int chars = MultiByteToWideChar(kGbkCodePage, MB_ERR_INVALID_CHARS, bytes.data(), n, nullptr, 0);
    if (chars <= 0) return false;
    QString s(chars, Qt::Uninitialized);
    if (MultiByteToWideChar(kGbkCodePage, MB_ERR_INVALID_CHARS, bytes.data(), n,
                            reinterpret_cast<wchar_t*>(s.data()), chars) != chars)
        return false;
    out = std::move(s);
    return true;
}

bool toGbk(const QString& text, QByteArray& out) {
    if (text.isEmpty()) {
        out.clear();
        return true;
    }
    if (text.size() > INT_MAX / 2) return false;
    const auto* wide = reinterpret_cast<const wchar_t*>(text.utf16());
    const int n = int(text.size());
    BOOL usedDefault = FALSE;
    const int size =
        WideCharToMultiByte(kGbkCodePage, WC_NO_BEST_FIT_CHARS, wide, n, nullptr, 0, nullptr, &usedDefault);
    if (size <= 0 || usedDefault) return false;
    QByteArray b(size, Qt::Uninitialized);
    usedDefault = FALSE;
    if (WideCharToMultiByte(kGbkCodePage, WC_NO_BEST_FIT_CHARS, wide, n, b.data(), size, nullptr,
                            &usedDefault) != size ||
        usedDefault)
        return false;
    out = std::move(b);
    return true;
}
} // namespace

bool decodeGbk(QByteArrayView bytes, QString& out) {
    requireCodePage();
    QString s;
    QByteArray back;
    if (!toUtf16(bytes, s) || !toGbk(s, back) || QByteArrayView(back) != bytes) return false;
    out = std::move(s);
    return true;
}

bool encodeGbk(const QString& text, QByteArray& out) {
    requireCodePage();
    QByteArray b;
    QString back;
    if (!toGbk(text, b) || !toUtf16(b, back) || back != text) return false;
    out = std::move(b);
    return true;
}

// Code page 936 keeps no state between calls: the encoder only checks once that it is there.
struct GbkEncoder::Impl {};

GbkEncoder::GbkEncoder() : d(std::make_unique<Impl>()) {
    requireCodePage();
}
GbkEncoder::~GbkEncoder() = default;

bool GbkEncoder::encode(const QString& text, QByteArray& out) {
    return encodeGbk(text, out);
}

#else
bool decodeGbk(QByteArrayView bytes, QString& out) {
    // Opening ICU's converter costs more than decoding a line: one per thread, made anew only after a
    // refusal (it keeps its error).
    thread_local std::optional<QStringDecoder> kept;
    if (!kept) kept.emplace("GBK", QStringConverter::Flag::Stateless);
    QStringDecoder& dec = *kept;
    if (!dec.isValid()) throw DbError(ErrNo::General, QStringLiteral("本机不支持 GBK 编码。"));
    QString s = dec.decode(bytes);
    if (dec.hasError()) {
        kept.reset();
        return false;
    }
    out = std::move(s);
    return true;
}

struct GbkEncoder::Impl {
    QStringEncoder enc{"GBK", QStringConverter::Flag::Stateless};
};

GbkEncoder::GbkEncoder() : d(std::make_unique<Impl>()) {
    if (!d->enc.isValid()) throw DbError(ErrNo::General, QStringLiteral("本机不支持 GBK 编码。"));
}
GbkEncoder::~GbkEncoder() = default;

bool GbkEncoder::encode(const QString& text, QByteArray& out) {
    QByteArray b = d->enc.encode(text);
    if (d->enc.hasError()) {
        // ICU's converter keeps its error: a fresh one for the next text (this is the rare path).
        d = std::make_unique<Impl>();
        return false;
    }
    out = std::move(b);
    return true;
}

bool encodeGbk(const QString& text, QByteArray& out) {
    QStringEncoder enc("GBK", QStringConverter::Flag::Stateless);
    if (!enc.isValid()) throw DbError(ErrNo::General, QStringLiteral("本机不支持 GBK 编码。"));
    QByteArray b = enc.encode(text);
    if (enc.hasError()) return false;
    out = b;
    return true;
}

#endif

struct GbkLineReader::Impl {
    QFile file;
    long line = 0;
    QByteArray buffer; // the bytes of the line being read, kept for the next one
};

GbkLineReader::GbkLineReader() : d(std::make_unique<Impl>()) {}
GbkLineReader::~GbkLineReader() = default;

bool GbkLineReader::open(const QString& path) {
    d->file.setFileName(path);
    d->line = 0;
    return d->file.open(QIODevice::ReadOnly);
}

bool GbkLineReader::atEnd() const {
    return d->file.atEnd();
}
bool GbkLineReader::isEmptyFile() const {
    return d->file.size() == 0;
}
long GbkLineReader::lineNumber() const {
    return d->line;
}
qint64 GbkLineReader::position() const {
    return d->file.pos();
}
qint64 GbkLineReader::size() const {
    return d->file.size();
}

QString GbkLineReader::readLine() {
    if (d->file.atEnd()) throw DbError(ErrNo::PastEnd, QStringLiteral("输入超出文件尾"));
    // Into the buffer of the line before: a file has many short lines, and a fresh array for each (grown
    // as it is read) costs more than decoding it.
    QByteArray& buffer = d->buffer;
    if (buffer.size() < 4096) buffer.resize(4096);
    qsizetype used = 0;
    for (;;) {
        const qint64 n = d->file.readLine(buffer.data() + used, buffer.size() - used);
        if (n <= 0) break;
        used += qsizetype(n);
        if (buffer[used - 1] == '\n' || d->file.atEnd()) break;
        buffer.resize(buffer.size() * 2);
    }
    ++d->line;
    QByteArrayView bytes(buffer.constData(), used);
    if (bytes.endsWith('\n')) bytes.chop(1);
    if (bytes.endsWith('\r')) bytes.chop(1);
    QString text;
    if (!decodeGbk(bytes, text))
        throw DbError(ErrNo::General, QStringLiteral("第%1行含有不是 GBK 编码的字符。").arg(d->line));
    return text;
}
