#pragma once
// The tax system's files are GBK. Decoding refuses bytes that are not GBK and encoding refuses
// characters GBK cannot hold, instead of putting replacement characters into a tax file.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <memory>

// Returns false (and leaves out untouched) when the bytes are not valid GBK.
bool decodeGbk(QByteArrayView bytes, QString& out);
// Returns false when a character cannot be written in GBK.
bool encodeGbk(const QString& text, QByteArray& out);

// One encoder for many texts (an export file): the converter is set up once, not per line.
class GbkEncoder {
public:
    GbkEncoder();
    ~GbkEncoder();
    // Returns false when a character cannot be written in GBK (out is then left as it was).
    bool encode(const QString& text, QByteArray& out);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// Reads a GBK text file line by line without holding it in memory. Lines end with CR LF or LF;
// the ending is not part of the line.
class GbkLineReader {
public:
    GbkLineReader();
    ~GbkLineReader();
    bool open(const QString& path); // false when the file cannot be opened
    bool atEnd() const;
    bool isEmptyFile() const;
    // Reads the next line. Throws DbError (PastEnd) at the end, DbError naming the line when it is not GBK.
    QString readLine();
    long lineNumber() const; // number of the line last read
    qint64 position() const; // bytes read so far
    qint64 size() const;     // bytes of the file

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
