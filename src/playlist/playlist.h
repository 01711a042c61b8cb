#pragma once

#include <QString>
#include <QStringView>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace pavo {

// The images the viewer steps through, and the position of the one on screen.
struct Playlist {
    std::vector<QString> paths;  // full paths in natural order; duplicates allowed
    std::int32_t index = 0;      // kept inside paths while paths is not empty
};

// The file name extensions Pavo opens, lower-case with their dot.
inline constexpr std::array<QStringView, 19> supportedExtensions{
    u".png", u".jpg",  u".jpeg", u".webp", u".bmp",  u".tif",  u".tiff", u".mpo", u".jps", u".ppm",
    u".pgm", u".jfif", u".pbm",  u".pnm",  u".heic", u".heif", u".avif", u".jxl", u".gif",
};

// The extension of the last path component, from its last dot on; empty without a dot.
QStringView extensionOf(QStringView path);

// True when the path's extension, ASCII letters lower-cased, is a supported one.
bool isSupportedFile(QStringView path);

// Every supported entry of the directory (sub-directories included when their name
// ends in a supported extension), as full paths in natural order. Nothing when the
// directory cannot be listed; callers treat that as an empty list.
std::optional<std::vector<QString>> scanDirectory(const QString& directory);

// Sorts paths as a person reads them: digit runs by their value, letters without
// regard to case, and the same order whatever the user's locale.
void sortNaturally(std::vector<QString>& paths);

// The position of `path` in `list` (exact, case-sensitive match); otherwise
// `currentIndex` clamped into the list (a negative index gives the last entry); 0 for
// an empty list.
std::int32_t findPlaylistIndex(const std::vector<QString>& list, const QString& path,
                               std::int32_t currentIndex);

// The directory part of a path including its final "/"; empty for a bare name.
QString directoryOf(const QString& path);

// `path` made absolute against `folder` when it is relative, "." and ".." resolved as
// text; empty stays empty. Works on the text alone, so any file name survives.
QString absolutePath(const QString& path, const QString& folder);

// Whether the index names an entry of the playlist.
bool hasShownEntry(const Playlist& playlist);
// The entry at the index (only when hasShownEntry).
const QString& currentPath(const Playlist& playlist);

// The index after |steps| single steps through n entries, wrapping at both ends.
std::int32_t stepIndex(std::int32_t count, std::int32_t index, std::int32_t steps);

}  // namespace pavo
