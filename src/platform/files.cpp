#include "platform/files.h"

#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <limits>
#include <stdexcept>

namespace pavo {

bool fileExists(const QString& path) {
    return !path.isEmpty() && access(QFile::encodeName(path).constData(), R_OK) == 0;
}

std::int32_t fileSizeOf(const QString& path) {
    struct stat info {};
    if (path.isEmpty() || stat(QFile::encodeName(path).constData(), &info) != 0) return -1;
    if (info.st_size > std::numeric_limits<std::int32_t>::max()) return -1;
    return static_cast<std::int32_t>(info.st_size);
}

FileBytes readFileBytes(const QString& path, std::int32_t size) {
    if (size < 0) throw std::length_error("readFileBytes: negative size");
    FileBytes bytes(static_cast<std::size_t>(size), 0);
    const int fd = open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
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

std::optional<std::vector<QString>> listDirectory(const QString& directory) {
    DIR* dir = opendir(QFile::encodeName(directory).constData());
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
        names.push_back(QFile::decodeName(name));
    }
    const bool failed = errno != 0;
    closedir(dir);
    if (failed) return std::nullopt;
    return names;
}

bool isDirectory(const QString& path) {
    struct stat info {};
    return !path.isEmpty() && stat(QFile::encodeName(path).constData(), &info) == 0 &&
           S_ISDIR(info.st_mode);
}

void syncDirectory(const QString& directory) {
    const int fd =
        open(QFile::encodeName(directory).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

}  // namespace pavo
