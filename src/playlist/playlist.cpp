#include "playlist/playlist.h"

#include <QDir>

#include "platform/files.h"

#include <QCollator>
#include <QLocale>

#include <algorithm>
#include <numeric>

namespace pavo {

QStringView extensionOf(QStringView path) {
    const QStringView name = path.mid(path.lastIndexOf(u'/') + 1);
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot < 0 ? QStringView() : name.mid(dot);
}

bool isSupportedFile(QStringView path) {
    const QStringView extension = extensionOf(path);
    if (extension.isEmpty()) return false;
    QString lowered = extension.toString();
    for (QChar& c : lowered) {
        if (c >= u'A' && c <= u'Z') c = QChar(c.unicode() + (u'a' - u'A'));
    }
    return std::find(supportedExtensions.begin(), supportedExtensions.end(), lowered) !=
           supportedExtensions.end();
}

std::optional<std::vector<QString>> scanDirectory(const QString& directory) {
    auto names = listDirectory(directory);
    if (!names) return std::nullopt;
    const QString prefix = directory.endsWith(u'/') ? directory : directory + u'/';
    std::vector<QString> paths;
    for (const QString& name : *names) {
        if (isSupportedFile(name)) paths.push_back(prefix + name);
    }
    sortNaturally(paths);
    return paths;
}

void sortNaturally(std::vector<QString>& paths) {
    // A fixed collation, so the order never depends on LANG or LC_COLLATE.
    QCollator collator(QLocale(QLocale::English, QLocale::UnitedStates));
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setIgnorePunctuation(false);

    // Sort keys are computed once per path; comparing them is a plain byte compare.
    std::vector<QCollatorSortKey> keys;
    keys.reserve(paths.size());
    for (const QString& path : paths) keys.push_back(collator.sortKey(path));
    std::vector<std::size_t> order(paths.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::sort(order.begin(), order.end(),
              [&](std::size_t a, std::size_t b) { return keys[a].compare(keys[b]) < 0; });
    std::vector<QString> sorted;
    sorted.reserve(paths.size());
    for (const std::size_t i : order) sorted.push_back(std::move(paths[i]));
    paths = std::move(sorted);
}

std::int32_t findPlaylistIndex(const std::vector<QString>& list, const QString& path,
                               std::int32_t currentIndex) {
    if (list.empty()) return 0;
    const auto found = std::find(list.begin(), list.end(), path);
    if (found != list.end()) return static_cast<std::int32_t>(found - list.begin());
    const auto last = static_cast<std::uint64_t>(list.size() - 1);
    // Sign extension makes a negative index huge, so it clamps to the last entry.
    const auto asUnsigned = static_cast<std::uint64_t>(static_cast<std::int64_t>(currentIndex));
    return static_cast<std::int32_t>(std::min(asUnsigned, last));
}

QString directoryOf(const QString& path) {
    return path.left(path.lastIndexOf(u'/') + 1);
}

QString absolutePath(const QString& path, const QString& folder) {
    if (path.isEmpty()) return path;
    return QDir::cleanPath(path.startsWith(u'/') ? path : folder + u'/' + path);
}

bool hasShownEntry(const Playlist& playlist) {
    return playlist.index >= 0 && static_cast<std::size_t>(playlist.index) < playlist.paths.size();
}

const QString& currentPath(const Playlist& playlist) {
    return playlist.paths[static_cast<std::size_t>(playlist.index)];
}

std::int32_t stepIndex(std::int32_t count, std::int32_t index, std::int32_t steps) {
    if (count <= 0) return index;
    const std::int64_t moved = (std::int64_t{index} + steps) % count;
    return static_cast<std::int32_t>(moved < 0 ? moved + count : moved);
}

}  // namespace pavo
