#include "platform/process.h"

#include <QByteArray>
#include <QFile>

namespace pavo {

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

}  // namespace pavo
