#pragma once

#include "platform/pixel_memory.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace pavo {

// Paths are the bytes the file system gives. In a QString, each byte that is not part
// of valid UTF-8 is kept as the lone surrogate U+DC80 + (byte - 0x80); valid UTF-8
// never decodes to a lone surrogate, so every byte string comes back exactly.
QString decodeFileName(const QByteArray& bytes);

// The bytes of a path decoded by decodeFileName. Other text is UTF-8; a lone surrogate
// outside U+DC80..U+DCFF becomes U+FFFD, as Qt's own file functions write it.
QByteArray encodeFileName(const QString& path);

// The path for titles and messages: every lone surrogate (a byte that was not UTF-8)
// shows as U+FFFD.
QString displayName(const QString& path);

// The folder the program was started in, as the file system spells it.
QString currentFolder();

// True when the path names something this process may read.
bool fileExists(const QString& path);

// The file's size in bytes, or -1 when it cannot be queried or does not fit 31 bits
// (files of 2 GiB and more are refused here, as a 32-bit size query would).
std::int32_t fileSizeOf(const QString& path);

// A whole file's bytes, held in reusable pixel memory.
using FileBytes = std::vector<unsigned char, PixelMemoryAllocator<unsigned char>>;

// Exactly `size` bytes: the file's first bytes, and zero where the file could not be
// opened or turned out shorter. Negative sizes throw std::length_error.
FileBytes readFileBytes(const QString& path, std::int32_t size);

// A file read front to back in pieces, for a decoder that need not hold all of it.
class FileStream {
  public:
    explicit FileStream(const QString& path);  // not open when the file cannot be opened
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;
    FileStream(FileStream&&) = delete;
    FileStream& operator=(FileStream&&) = delete;
    ~FileStream();
    [[nodiscard]] bool isOpen() const { return fd_ >= 0; }
    // Up to `size` bytes; 0 at the end of the file or on an error.
    std::size_t read(unsigned char* into, std::size_t size) const;

  private:
    int fd_ = -1;
};

// The names of every entry of a directory except "." and "..", in the order the
// file system gives them and decoded with decodeFileName; nothing when the directory
// cannot be listed.
std::optional<std::vector<QString>> listDirectory(const QString& directory);

// True when the path names a directory (following links).
bool isDirectory(const QString& path);

// Flushes a directory's entries to disk, so that a rename inside it survives a crash.
void syncDirectory(const QString& directory);

}  // namespace pavo
