#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <limits>
#include <stdexcept>

namespace pavo {
namespace {

// The length of the well-formed UTF-8 sequence at the start of `bytes` (shortest form,
// no surrogates, at most U+10FFFF), with its code point; 0 when there is none.
qsizetype utf8Sequence(const unsigned char* bytes, qsizetype available, char32_t& codePoint) {
    const unsigned char lead = bytes[0];
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    }
    qsizetype length = 0;
    unsigned char low = 0x80;  // the bounds of the second byte
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        codePoint = lead & 0x1FU;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        codePoint = lead & 0x0FU;
        if (lead == 0xE0) low = 0xA0;   // overlong
        if (lead == 0xED) high = 0x9F;  // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        codePoint = lead & 0x07U;
        if (lead == 0xF0) low = 0x90;   // overlong
        if (lead == 0xF4) high = 0x8F;  // beyond U+10FFFF
    } else {
        return 0;
    }
    if (available < length) return 0;
    for (qsizetype k = 1; k < length; ++k) {
        const unsigned char next = bytes[k];
        if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF)) return 0;
        codePoint = (codePoint << 6) | (next & 0x3FU);
    }
    return length;
}

bool isEscapedByte(char16_t unit) {
    return unit >= 0xDC80 && unit <= 0xDCFF;
}

void appendUtf8(QByteArray& out, char32_t codePoint) {
    if (codePoint < 0x80) {
        out.append(static_cast<char>(codePoint));
    } else if (codePoint < 0x800) {
        out.append(static_cast<char>(0xC0 | (codePoint >> 6)));
        out.append(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else if (codePoint < 0x10000) {
        out.append(static_cast<char>(0xE0 | (codePoint >> 12)));
        out.append(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out.append(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else {
        out.append(static_cast<char>(0xF0 | (codePoint >> 18)));
        out.append(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
        out.append(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out.append(static_cast<char>(0x80 | (codePoint & 0x3F)));
    }
}

// The bytes to hand the system; nothing for a path no file can have: empty, or holding
// a NUL, which would cut the name short and name another file.
std::optional<QByteArray> nativePath(const QString& path) {
    QByteArray bytes = encodeFileName(path);
    if (bytes.isEmpty() || bytes.contains('\0')) return std::nullopt;
    return bytes;
}

}  // namespace

QString decodeFileName(const QByteArray& bytes) {
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype size = bytes.size();
    QString name;
    name.reserve(size);
    for (qsizetype i = 0; i < size;) {
        char32_t codePoint = 0;
        const qsizetype length = utf8Sequence(data + i, size - i, codePoint);
        if (length == 0) {
            name.append(QChar(static_cast<char16_t>(0xDC00 + data[i])));  // U+DC80 + (b - 0x80)
            ++i;
            continue;
        }
        if (QChar::requiresSurrogates(codePoint)) {
            name.append(QChar(QChar::highSurrogate(codePoint)));
            name.append(QChar(QChar::lowSurrogate(codePoint)));
        } else {
            name.append(QChar(static_cast<char16_t>(codePoint)));
        }
        i += length;
    }
    return name;
}

QByteArray encodeFileName(const QString& path) {
    QByteArray bytes;
    bytes.reserve(path.size());
    const qsizetype size = path.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t unit = path[i].unicode();
        if (QChar::isHighSurrogate(unit) && i + 1 < size && path[i + 1].isLowSurrogate()) {
            appendUtf8(bytes, QChar::surrogateToUcs4(unit, path[i + 1].unicode()));
            ++i;
        } else if (isEscapedByte(unit)) {
            bytes.append(static_cast<char>(unit - 0xDC00));
        } else if (QChar::isSurrogate(unit)) {
            appendUtf8(bytes, QChar::ReplacementCharacter);
        } else {
            appendUtf8(bytes, unit);
        }
    }
    return bytes;
}

QString displayName(const QString& path) {
    QString shown = path;
    const qsizetype size = shown.size();
    for (qsizetype i = 0; i < size; ++i) {
        if (shown[i].isHighSurrogate() && i + 1 < size && shown[i + 1].isLowSurrogate()) {
            ++i;
        } else if (shown[i].isSurrogate()) {
            shown[i] = QChar::ReplacementCharacter;
        }
    }
    return shown;
}

QString currentFolder() {
    std::vector<char> buffer(4096);
    while (getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE) return QStringLiteral("/");
        buffer.resize(buffer.size() * 2);
    }
    return decodeFileName(QByteArray(buffer.data()));
}

bool fileExists(const QString& path) {
    const auto native = nativePath(path);
    return native && access(native->constData(), R_OK) == 0;
}

std::int32_t fileSizeOf(const QString& path) {
    const auto native = nativePath(path);
    struct stat info {};
    if (!native || stat(native->constData(), &info) != 0) return -1;
    if (info.st_size > std::numeric_limits<std::int32_t>::max()) return -1;
    return static_cast<std::int32_t>(info.st_size);
}

FileBytes readFileBytes(const QString& path, std::int32_t size) {
    if (size < 0) throw std::length_error("readFileBytes: negative size");
    FileBytes bytes(static_cast<std::size_t>(size), 0);
    const auto native = nativePath(path);
    const int fd = native ? open(native->constData(), O_RDONLY | O_CLOEXEC) : -1;
    if (fd < 0) return bytes;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t got = read(fd, bytes.data() + done, bytes.size() - done);
        if (got > 0) {
            done += static_cast<std::size_t>(got);
        } else if (got < 0 && errno == EINTR) {
            continue;
        } else {
            break;  // end of file or an error: the rest stays zero
        }
    }
    close(fd);
    return bytes;
}

FileStream::FileStream(const QString& path) {
    const auto native = nativePath(path);
    // A named pipe would hold the opening thread until someone writes to it; unopened,
    // it reads as an empty file. Regular files are read as ever.
    if (native) fd_ = open(native->constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
}

FileStream::~FileStream() {
    if (fd_ >= 0) close(fd_);
}

std::size_t FileStream::read(unsigned char* into, std::size_t size) const {
    if (fd_ < 0) return 0;
    for (;;) {
        const ssize_t got = ::read(fd_, into, size);
        if (got >= 0) return static_cast<std::size_t>(got);
        if (errno != EINTR) return 0;
    }
}

std::optional<std::vector<QString>> listDirectory(const QString& directory) {
    const auto native = nativePath(directory);
    DIR* dir = native ? opendir(native->constData()) : nullptr;
    if (dir == nullptr) return std::nullopt;
    std::vector<QString> names;
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(dir);
        if (entry == nullptr) break;
        const char* name = entry->d_name;
        if ((name[0] == '.' && name[1] == '\0') ||
            (name[0] == '.' && name[1] == '.' && name[2] == '\0')) {
            continue;
        }
        names.push_back(decodeFileName(QByteArray(name)));
    }
    const bool failed = errno != 0;
    closedir(dir);
    if (failed) return std::nullopt;
    return names;
}

bool isDirectory(const QString& path) {
    const auto native = nativePath(path);
    struct stat info {};
    return native && stat(native->constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

void syncDirectory(const QString& directory) {
    const auto native = nativePath(directory);
    const int fd = native ? open(native->constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

}  // namespace pavo
