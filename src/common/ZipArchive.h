#pragma once
// Zip files through minizip: reading the members of an archive (a workbook is a zip of XML parts) within a
// cap on what a member may unpack to, and writing a new archive whose members are either copied from
// another one as they are (compressed bytes, date and attributes unchanged) or given anew.

#include "common/Connection.h"
#include <QByteArray>
#include <QHash>
#include <QIODevice>
#include <QList>
#include <QString>
#include <memory>
#include <optional>

class ZipArchive {
public:
    struct Member {
        QString name;
        qint64 size = 0;   // unpacked, as the directory says
        qint64 packed = 0; // as stored
        // Stored or deflated and not encrypted: what this reader can unpack.
        bool readable = false;
    };

    // Reads the directory of the zip file at path, or of the bytes (displayName names them in messages).
    // Throws DbError naming the file when it cannot be read or is no zip file.
    explicit ZipArchive(const QString& path);
    ZipArchive(const QByteArray& bytes, const QString& displayName);
    ~ZipArchive();
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    QString displayName() const { return m_displayName; }
    // In the order of the directory.
    const QList<Member>& members() const { return m_members; }
    const Member* member(const QString& name) const;

    // The member unpacked whole. Throws DbError when it is missing or damaged, or unpacks to more than
    // maxSize bytes (the message names the file, the member and the cap).
    QByteArray read(const QString& name, qint64 maxSize) const;
    // The member as a sequential device that unpacks while it is read, for a reader that stops early. A
    // read past maxSize or of damaged data fails; failure() then says why. Throws DbError when the member
    // is missing or is already bigger than maxSize by the directory (unless wholeSize is false: a reader
    // that stops early is held to maxSize for what it unpacks only).
    class Stream;
    std::unique_ptr<Stream> open(const QString& name, qint64 maxSize, bool wholeSize = true) const;

private:
    friend class ZipWriter;
    std::unique_ptr<QIODevice> source() const;
    void readDirectory();

    QString m_path;
    QByteArray m_bytes;
    QString m_displayName;
    QList<Member> m_members;
};

class ZipArchive::Stream : public QIODevice {
public:
    ~Stream() override;
    bool isSequential() const override { return true; }
    // Empty while nothing went wrong; otherwise the DbError to report.
    const std::optional<DbError>& failure() const { return m_failure; }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    friend class ZipArchive;
    Stream() = default;
    std::unique_ptr<QIODevice> m_source;
    void* m_unz = nullptr;
    QString m_what; // the member and the file, for messages
    qint64 m_cap = 0, m_read = 0;
    bool m_end = false;
    std::optional<DbError> m_failure;
};

// Writes a zip file to a device that can seek (a QSaveFile, so that the target is replaced only when the
// caller commits it). Throws DbError when the device fails.
class ZipWriter {
public:
    explicit ZipWriter(QIODevice& out);
    ~ZipWriter(); // without close() the archive stays incomplete
    // Every member of from in its order: copied as it is stored (the compressed bytes, their checksum,
    // date, attributes and extra fields unchanged), except those in replaced, which are written with the
    // data given there (compressed anew, with the date and attributes of the member they replace).
    void copyAll(const ZipArchive& from, const QHash<QString, QByteArray>& replaced = {});
    // A new member written in pieces, deflated as it comes: beginMember, write as often as needed,
    // endMember. For a member too large to be held whole (a generated sheet of half a million rows).
    void beginMember(const QString& name);
    void write(const char* data, qsizetype size);
    void write(const QByteArray& data) { write(data.constData(), data.size()); }
    void endMember();
    // Writes the directory.
    void close();

private:
    void fail(const QString& what) const;
    QIODevice& m_out;
    void* m_zip = nullptr;
    QString m_member; // the one begun and not ended
};
