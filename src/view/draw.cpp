#include "view/draw.h"

#include "platform/process.h"
#include "view/scale.h"
#include "view/view.h"
#include "viewer.h"

#include <charconv>
#include <cmath>
#include <iterator>

namespace pavo {
namespace {

QString channelName(std::int32_t channels) {
    switch (channels) {
        case 1:
            return QStringLiteral("G");
        case 2:
            return QStringLiteral("GA");
        case 3:
            return QStringLiteral("RGB");
        case 4:
            return QStringLiteral("RGBA");
        default:
            return QStringLiteral("Unknown");
    }
}

QString fileNameOf(const QString& path) {
    return path.mid(path.lastIndexOf(u'/') + 1);
}

QString byteSizeText(float bytes) {
    const ByteSizeText text = formatByteSize(bytes);
    return text.number + text.unit;
}

}  // namespace

bool overlayDue(const Viewer& viewer) {
    const ImageBuffer& shown = viewer.shownImage;
    return viewer.view.infoOverlayShown && shown.ready && shown.displayWidth >= 1 &&
           shown.displayHeight >= 1;
}

ImagePlacement placeImage(Size client, Size display, int scrollX, int scrollY) {
    return {client.width > display.width ? (client.width - display.width) / 2 : 0,
            client.height > display.height ? (client.height - display.height) / 2 : 0, scrollX,
            -scrollY};
}

void drawImage(const Viewer& viewer, Painter& painter) {
    const ImageBuffer& shown = viewer.shownImage;
    const ImagePlacement at =
        placeImage(windowGeometry(viewer).client, {shown.display.cols, shown.display.rows},
                   shown.scrollX, shown.scrollY);
    if (!shown.display.empty()) painter.blit(shown.display, at.x, at.y, at.sourceX, at.sourceY);
    if (viewer.view.infoOverlayShown) painter.drawText(overlayText(viewer));
}

QString overlayText(const Viewer& viewer) {
    const ImageBuffer& shown = viewer.shownImage;
    const Playlist& playlist = viewer.playlist;
    const auto count = static_cast<std::int64_t>(playlist.paths.size());
    QString text = QString::number(std::int64_t{playlist.index} + 1) + QStringLiteral(" / ") +
                   QString::number(count) + u'\n';
    if (hasShownEntry(playlist)) {
        text += fileNameOf(currentPath(playlist)) + u'\n';
    }
    text += QString::number(shown.width) + QStringLiteral(" x ") + QString::number(shown.height) +
            QStringLiteral("\n(");
    text += QString::number(shown.displayWidth) + QStringLiteral(" x ") +
            QString::number(shown.displayHeight) + QStringLiteral(")\n");
    text += QStringLiteral("Scaled using: ") +
            scaleMethodName(scaleContext(viewer), {shown.width, shown.height},
                            {shown.display.cols, shown.display.rows}) +
            u'\n';
    if (viewer.animation.frameCount > 0)
        text += QStringLiteral("Frame: ") + QString::number(shown.frameIndex + 1) +
                QStringLiteral(" / ") + QString::number(viewer.animation.frameCount) + u'\n';
    text += QStringLiteral("Channels: ") + channelName(shown.channels) + u'\n';
    if (!shown.profileName.isEmpty())
        text += QStringLiteral("Profile: ") + shown.profileName + u'\n';
    text +=
        QStringLiteral("Loaded in: ") + QString::number(shown.loadTimeMs) + QStringLiteral(" ms\n");
    text +=
        QStringLiteral("File size: ") + byteSizeText(static_cast<float>(shown.fileSize)) + u'\n';
    text += QStringLiteral("Memory usage: ") +
            byteSizeText(static_cast<float>(privateMemoryBytes())) + u'\n';
    return text;
}

ByteSizeText formatByteSize(float bytes) {
    const auto whole = static_cast<std::int64_t>(bytes);
    float value = bytes;
    QString unit = QStringLiteral("B");
    if (whole >= (std::int64_t{1} << 40)) {
        value *= std::ldexp(1.0F, -40);
        unit = QStringLiteral("TB");
    } else if (whole >= (std::int64_t{1} << 30)) {
        value *= std::ldexp(1.0F, -30);
        unit = QStringLiteral("GB");
    } else if (whole >= (std::int64_t{1} << 20)) {
        value *= std::ldexp(1.0F, -20);
        unit = QStringLiteral("MB");
    } else if (value >= 1024.0F) {
        value *= std::ldexp(1.0F, -10);
        unit = QStringLiteral("KB");
    }
    const int decimals = value >= 100.0F ? 0 : value >= 10.0F ? 1 : 2;
    // Six decimals as %f writes them in the C locale, whatever locale Qt set at start
    // (a German one would write a comma, which the cut below would not find).
    char buffer[64];
    const std::to_chars_result written =
        std::to_chars(std::begin(buffer), std::end(buffer), static_cast<double>(value),
                      std::chars_format::fixed, 6);
    QString number = QString::fromLatin1(buffer, written.ptr - std::begin(buffer));
    const qsizetype point = number.indexOf(u'.');
    if (point >= 0) number.truncate(decimals > 0 ? point + 1 + decimals : point);
    return {number, unit};
}

}  // namespace pavo
