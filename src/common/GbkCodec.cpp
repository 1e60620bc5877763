#include "common/GbkCodec.h"

#include "common/Connection.h"
#include <QFile>
#include <QStringDecoder>
#include <QStringEncoder>
#include <optional>

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
