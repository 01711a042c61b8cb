#include "platform/process.h"

#include <QByteArray>
#include <QFile>

#include <sys/resource.h>
#include <algorithm>
#include <limits>
#include <optional>

namespace pavo {
namespace {

// The number of kibibytes on the line "<field>: <n> kB" of a /proc file.
std::optional<std::uint64_t> procKibibytes(const QString& path, const QByteArray& field) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (!line.startsWith(field)) continue;
        const QList<QByteArray> fields = line.simplified().split(' ');
        bool ok = false;
        const std::uint64_t kibibytes = fields.size() >= 2 ? fields[1].toULongLong(&ok) : 0;
        if (ok) return kibibytes;
    }
    return std::nullopt;
}

}  // namespace

std::uint64_t privateMemoryBytes() {
    QFile file(QStringLiteral("/proc/self/smaps_rollup"));
    if (!file.open(QIODevice::ReadOnly)) return 0;
    std::uint64_t kibibytes = 0;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.startsWith("Private_Clean:") || line.startsWith("Private_Dirty:")) {
            const QList<QByteArray> fields = line.simplified().split(' ');
            if (fields.size() >= 2) kibibytes += fields[1].toULongLong();
        }
    }
    return kibibytes * 1024;
}

std::uint64_t availableMemoryBytes() {
    std::uint64_t available = std::numeric_limits<std::uint64_t>::max();
    if (const auto kibibytes = procKibibytes(QStringLiteral("/proc/meminfo"), "MemAvailable:")) {
        available = *kibibytes * 1024;
    }
    rlimit limit{};
    if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        // Past the limit every new mapping fails, whatever the system has free.
        const std::uint64_t used =
            procKibibytes(QStringLiteral("/proc/self/status"), "VmSize:").value_or(0) * 1024;
        const std::uint64_t cap = limit.rlim_cur;
        available = std::min(available, cap > used ? cap - used : 0);
    }
    return available;
}

}  // namespace pavo
