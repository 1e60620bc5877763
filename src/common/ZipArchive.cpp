#include "common/ZipArchive.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <climits>
#include <minizip/unzip.h>
#include <minizip/zip.h>

namespace {

constexpr long FileAccessError = 75; // path/file access error

QString local(const QString& path) {
    return QDir::toNativeSeparators(path);
}

QString megabytes(qint64 bytes) {
    return QString::number(double(bytes) / (1024 * 1024), 'g', 4);
}

// minizip reads and writes through these: the opaque pointer is the device, already open.
voidpf openDevice(voidpf opaque, const void*, int) {
    return opaque;
}

uLong readDevice(voidpf, voidpf stream, void* buf, uLong size) {
    const qint64 n = static_cast<QIODevice*>(stream)->read(static_cast<char*>(buf), qint64(size));
    return n < 0 ? 0 : uLong(n);
}

uLong writeDevice(voidpf, voidpf stream, const void* buf, uLong size) {
    const qint64 n = static_cast<QIODevice*>(stream)->write(static_cast<const char*>(buf), qint64(size));
    return n < 0 ? 0 : uLong(n);
}

ZPOS64_T tellDevice(voidpf, voidpf stream) {
    return ZPOS64_T(static_cast<QIODevice*>(stream)->pos());
}

long seekDevice(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
    QIODevice* device = static_cast<QIODevice*>(stream);
    qint64 to = qint64(offset);
    if (origin == ZLIB_FILEFUNC_SEEK_CUR) to += device->pos();
    if (origin == ZLIB_FILEFUNC_SEEK_END) to += device->size();
    // A damaged directory points anywhere; a device that is only read has nothing past its end.
    if (to < 0 || (!device->isWritable() && to > device->size())) return -1;
    return device->seek(to) ? 0 : -1;
}

int closeDevice(voidpf, voidpf) {
    return 0; // the owner closes it
}

int deviceError(voidpf, voidpf) {
    return 0;
}

zlib_filefunc64_def functionsFor(QIODevice* device) {
    zlib_filefunc64_def f{};
    f.zopen64_file = openDevice;
    f.zread_file = readDevice;
    f.zwrite_file = writeDevice;
    f.ztell64_file = tellDevice;
    f.zseek64_file = seekDevice;
    f.zclose_file = closeDevice;
    f.zerror_file = deviceError;
    f.opaque = device;
    return f;
}

unzFile openUnz(QIODevice* device) {
    zlib_filefunc64_def f = functionsFor(device);
    return unzOpen2_64(device, &f);
}

// The unz handle and its device, closed together.
struct UnzHandle {
    std::unique_ptr<QIODevice> device;
    unzFile unz = nullptr;
    ~UnzHandle() {
        if (unz) unzClose(unz);
    }
};

// An extra field without its zip64 block (the writer adds its own where it needs one). Blocks are a
// 2-byte id and a 2-byte length; a block that runs past the end is damage, and goes with the rest.
QByteArray withoutZip64Block(const QByteArray& extra) {
    QByteArray out;
    for (qsizetype at = 0; at + 4 <= extra.size();) {
        const uchar* p = reinterpret_cast<const uchar*>(extra.constData() + at);
        const int id = p[0] | (p[1] << 8), size = p[2] | (p[3] << 8);
        if (at + 4 + size > extra.size()) break;
        if (id != 0x0001) out += extra.mid(at, 4 + size);
        at += 4 + size;
    }
    return out;
}

DbError damaged(const QString& what) {
    return DbError(ErrNo::General, QStringLiteral("%1已损坏，无法读取。").arg(what));
}

// The current member's name as the directory holds it (bytes) and its information.
bool currentInfo(unzFile unz, unz_file_info64& info, QByteArray& name, QByteArray* extra = nullptr,
                 QByteArray* comment = nullptr) {
    if (unzGetCurrentFileInfo64(unz, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) return false;
    name.resize(qsizetype(info.size_filename));
    QByteArray extraBytes(qsizetype(info.size_file_extra), '\0');
    QByteArray commentBytes(qsizetype(info.size_file_comment), '\0');
    if (unzGetCurrentFileInfo64(unz, &info, name.data(), uLong(name.size()), extraBytes.data(),
                                uLong(extraBytes.size()), commentBytes.data(),
                                uLong(commentBytes.size())) != UNZ_OK)
        return false;
    if (extra) *extra = extraBytes;
    if (comment) *comment = commentBytes;
    return true;
}

} // namespace

ZipArchive::ZipArchive(const QString& path) : m_path(path), m_displayName(local(path)) {
    readDirectory();
}

ZipArchive::ZipArchive(const QByteArray& bytes, const QString& displayName)
    : m_bytes(bytes), m_displayName(displayName) {
    readDirectory();
}

ZipArchive::~ZipArchive() = default;

std::unique_ptr<QIODevice> ZipArchive::source() const {
    std::unique_ptr<QIODevice> device;
    if (m_path.isEmpty()) {
        auto* buffer = new QBuffer;
        buffer->setData(m_bytes);
        device.reset(buffer);
    } else {
        device = std::make_unique<QFile>(m_path);
    }
    if (!device->open(QIODevice::ReadOnly))
        throw DbError(
            FileAccessError,
            QStringLiteral("路径/文件访问错误：%1（%2）").arg(m_displayName, device->errorString()));
    return device;
}

void ZipArchive::readDirectory() {
    UnzHandle h;
    h.device = source();
    h.unz = openUnz(h.device.get());
    const QString notZip =
        QStringLiteral("文件“%1”不是zip格式的文件（Excel工作簿.xlsx即是zip文件），无法读取。")
            .arg(m_displayName);
    if (!h.unz) throw DbError(ErrNo::General, notZip);
    for (int rc = unzGoToFirstFile(h.unz); rc == UNZ_OK; rc = unzGoToNextFile(h.unz)) {
        unz_file_info64 info;
        QByteArray name;
        if (!currentInfo(h.unz, info, name)) throw DbError(ErrNo::General, notZip);
        Member m;
        m.name = QString::fromUtf8(name);
        m.size = qint64(std::min<ZPOS64_T>(info.uncompressed_size, ZPOS64_T(LLONG_MAX)));
        m.packed = qint64(std::min<ZPOS64_T>(info.compressed_size, ZPOS64_T(LLONG_MAX)));
        m.readable =
            (info.compression_method == 0 || info.compression_method == Z_DEFLATED) && (info.flag & 1) == 0;
        m_members.append(m);
    }
}

const ZipArchive::Member* ZipArchive::member(const QString& name) const {
    for (const Member& m : m_members)
        if (m.name == name) return &m;
    return nullptr;
}

std::unique_ptr<ZipArchive::Stream> ZipArchive::open(const QString& name, qint64 maxSize,
                                                     bool wholeSize) const {
    const QString what = QStringLiteral("文件“%1”中的“%2”").arg(m_displayName, name);
    const Member* m = member(name);
    if (!m)
        throw DbError(ErrNo::General,
                      QStringLiteral("文件“%1”中没有“%2”，无法读取。").arg(m_displayName, name));
    if (!m->readable)
        throw DbError(ErrNo::General,
                      QStringLiteral("%1的压缩方式不受支持（或已加密），无法读取。").arg(what));
    if (wholeSize && m->size > maxSize)
        throw DbError(ErrNo::General, QStringLiteral("%1解压后有%2 MB，超过%3 MB的限制，不能读取。")
                                          .arg(what, megabytes(m->size), megabytes(maxSize)));
    std::unique_ptr<Stream> s(new Stream);
    s->m_source = source();
    s->m_unz = openUnz(s->m_source.get());
    s->m_what = what;
    s->m_cap = maxSize;
    if (!s->m_unz || unzLocateFile(s->m_unz, name.toUtf8().constData(), 1) != UNZ_OK ||
        unzOpenCurrentFile(s->m_unz) != UNZ_OK)
        throw damaged(what);
    s->QIODevice::open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    return s;
}

QByteArray ZipArchive::read(const QString& name, qint64 maxSize) const {
    const std::unique_ptr<Stream> s = open(name, maxSize);
    QByteArray out;
    const Member* m = member(name);
    out.reserve(qsizetype(std::min<qint64>(m->size, maxSize)));
    char buf[65536];
    for (;;) {
        const qint64 n = s->read(buf, sizeof buf);
        if (n < 0 || s->failure()) throw s->failure() ? *s->failure() : damaged(s->m_what);
        if (n == 0) break;
        out.append(buf, qsizetype(n));
    }
    return out;
}

ZipArchive::Stream::~Stream() {
    if (m_unz) {
        unzCloseCurrentFile(m_unz);
        unzClose(m_unz);
    }
}

qint64 ZipArchive::Stream::readData(char* data, qint64 maxSize) {
    if (m_failure) return -1;
    if (m_end) return 0;
    const int n = unzReadCurrentFile(m_unz, data, unsigned(std::min<qint64>(maxSize, INT_MAX)));
    if (n < 0) {
        m_failure = damaged(m_what);
        return -1;
    }
    if (n == 0) {
        m_end = true;
        // At the end the checksum tells whether the data came out whole.
        if (unzCloseCurrentFile(m_unz) != UNZ_OK) {
            m_failure = damaged(m_what);
            return -1;
        }
        return 0;
    }
    m_read += n;
    if (m_read > m_cap) {
        m_failure =
            DbError(ErrNo::General,
                    QStringLiteral("%1解压后超过%2 MB的限制，不能读取。").arg(m_what, megabytes(m_cap)));
        return -1;
    }
    return n;
}

// ---- Writing.

ZipWriter::ZipWriter(QIODevice& out) : m_out(out) {
    zlib_filefunc64_def f = functionsFor(&out);
    m_zip = zipOpen2_64(&out, APPEND_STATUS_CREATE, nullptr, &f);
    if (!m_zip) fail(QString());
}

ZipWriter::~ZipWriter() {
    if (m_zip) zipClose(static_cast<zipFile>(m_zip), nullptr);
}

void ZipWriter::fail(const QString& what) const {
    QString text = QStringLiteral("写入文件失败");
    if (!what.isEmpty()) text += QStringLiteral("（%1）").arg(what);
    if (!m_out.errorString().isEmpty() && m_out.errorString() != u"Unknown error")
        text += QStringLiteral("：") + m_out.errorString();
    throw DbError(FileAccessError, text);
}

void ZipWriter::copyAll(const ZipArchive& from, const QHash<QString, QByteArray>& replaced) {
    zipFile zip = static_cast<zipFile>(m_zip);
    UnzHandle h;
    h.device = from.source();
    h.unz = openUnz(h.device.get());
    if (!h.unz) throw damaged(QStringLiteral("文件“%1”").arg(from.displayName()));
    for (int rc = unzGoToFirstFile(h.unz); rc == UNZ_OK; rc = unzGoToNextFile(h.unz)) {
        unz_file_info64 info;
        QByteArray name, extra, comment;
        if (!currentInfo(h.unz, info, name, &extra, &comment))
            throw damaged(QStringLiteral("文件“%1”").arg(from.displayName()));
        const QString member = QString::fromUtf8(name);
        const QString what = QStringLiteral("文件“%1”中的“%2”").arg(from.displayName(), member);
        zip_fileinfo zi{};
        zi.dosDate = info.dosDate;
        zi.internal_fa = info.internal_fa;
        zi.external_fa = info.external_fa;
        // The sizes move into a zip64 field only where this writer needs one: the source's goes.
        extra = withoutZip64Block(extra);
        comment.append('\0');
        // Bit 3 (sizes after the data) and the level bits are set anew by the writer; UTF-8 names stay.
        const uLong flag = info.flag & ~uLong(0x0E);
        if (const auto it = replaced.constFind(member); it != replaced.constEnd()) {
            if (zipOpenNewFileInZip4_64(zip, name.constData(), &zi, nullptr, 0, extra.constData(),
                                        uInt(extra.size()), comment.constData(), Z_DEFLATED, Z_BEST_SPEED, 0,
                                        -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, nullptr, 0,
                                        info.version, flag & 0x800, it->size() >= 0xffffffffLL) != ZIP_OK)
                fail(member);
            for (qsizetype at = 0; at < it->size(); at += 1 << 20) {
                const unsigned n = unsigned(std::min<qsizetype>(1 << 20, it->size() - at));
                if (zipWriteInFileInZip(zip, it->constData() + at, n) != ZIP_OK) fail(member);
            }
            if (zipCloseFileInZip(zip) != ZIP_OK) fail(member);
            continue;
        }
        int method = 0, level = 0;
        if (unzOpenCurrentFile2(h.unz, &method, &level, 1) != UNZ_OK) throw damaged(what);
        const int localSize = unzGetLocalExtrafield(h.unz, nullptr, 0);
        if (localSize < 0) throw damaged(what);
        QByteArray local(localSize, '\0');
        if (localSize > 0 && unzGetLocalExtrafield(h.unz, local.data(), unsigned(localSize)) != localSize)
            throw damaged(what);
        local = withoutZip64Block(local);
        if (zipOpenNewFileInZip4_64(zip, name.constData(), &zi, local.constData(), uInt(local.size()),
                                    extra.constData(), uInt(extra.size()), comment.constData(), method, level,
                                    1, -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, nullptr, 0,
                                    info.version, flag, info.uncompressed_size >= 0xffffffffULL) != ZIP_OK)
            fail(member);
        char buf[65536];
        ZPOS64_T copied = 0;
        for (;;) {
            const int n = unzReadCurrentFile(h.unz, buf, sizeof buf);
            if (n < 0) throw damaged(what);
            if (n == 0) break;
            copied += ZPOS64_T(n);
            if (zipWriteInFileInZip(zip, buf, unsigned(n)) != ZIP_OK) fail(member);
        }
        unzCloseCurrentFile(h.unz);
        if (copied != info.compressed_size) throw damaged(what);
        if (zipCloseFileInZipRaw64(zip, info.uncompressed_size, info.crc) != ZIP_OK) fail(member);
    }
}

void ZipWriter::beginMember(const QString& name) {
    zip_fileinfo zi{};
    zi.tmz_date.tm_year = 2026; // a fixed date: the same members give the same bytes
    zi.tmz_date.tm_mday = 1;
    const QByteArray utf8 = name.toUtf8();
    // Bit 11: the name is UTF-8. Zip64 where a member may pass 4 GB unpacked.
    if (zipOpenNewFileInZip4_64(static_cast<zipFile>(m_zip), utf8.constData(), &zi, nullptr, 0, nullptr, 0,
                                nullptr, Z_DEFLATED, Z_DEFAULT_COMPRESSION, 0, -MAX_WBITS, DEF_MEM_LEVEL,
                                Z_DEFAULT_STRATEGY, nullptr, 0, 20, 0x800, 1) != ZIP_OK)
        fail(name);
    m_member = name;
}

void ZipWriter::write(const char* data, qsizetype size) {
    for (qsizetype at = 0; at < size; at += 1 << 20) {
        const unsigned n = unsigned(std::min<qsizetype>(1 << 20, size - at));
        if (zipWriteInFileInZip(static_cast<zipFile>(m_zip), data + at, n) != ZIP_OK) fail(m_member);
    }
}

void ZipWriter::endMember() {
    if (zipCloseFileInZip(static_cast<zipFile>(m_zip)) != ZIP_OK) fail(m_member);
    m_member.clear();
}

void ZipWriter::close() {
    zipFile zip = static_cast<zipFile>(m_zip);
    m_zip = nullptr;
    if (zipClose(zip, nullptr) != ZIP_OK) fail(QString());
}
