#include "settings/settings.h"

#include "platform/settings_store.h"
#include "viewer.h"

namespace pavo {
namespace {

#define PAVO_SETTING(field) \
    { #field, &ViewerSettings::field }

const QString kAccessDenied = QStringLiteral("Access denied");
const QString kCannotRead =
    QStringLiteral("Registry access was denied, could not read the options.");
const QString kCannotStore =
    QStringLiteral("Registry access was denied, cannot store user options.");

// Flags are read through a buffer of four bytes, the size of a number: a value larger
// than that does not fit and counts as unreadable.
constexpr int kFlagBufferBytes = 4;
// Texts are read through a 4096-byte buffer of UTF-16 units, terminator included.
constexpr int kTextBufferBytes = 4096;

void showAccessDenied(Viewer& viewer, const QString& text) {
    viewer.platform.showMessageBox(BoxOwner::None, text, kAccessDenied);
}

}  // namespace

const std::array<FlagSetting, 12>& flagSettings() {
    static const std::array<FlagSetting, 12> table{{
        PAVO_SETTING(rememberExit),
        PAVO_SETTING(reverseMerge),
        PAVO_SETTING(mute),
        PAVO_SETTING(useRelativeScroll),
        PAVO_SETTING(reduceFlicker),
        PAVO_SETTING(preScale),
        PAVO_SETTING(fitToScreen),
        PAVO_SETTING(snapToMonitorEdge),
        PAVO_SETTING(stickyWindowSize),
        PAVO_SETTING(checkForUpdate),
        PAVO_SETTING(animations),
        PAVO_SETTING(useMouseAnchor),
    }};
    return table;
}

const std::array<NumberSetting, 22>& numberSettings() {
    static const std::array<NumberSetting, 22> table{{
        PAVO_SETTING(fixWindowPosition),
        PAVO_SETTING(bufferTimeout),
        PAVO_SETTING(scrollSpeed),
        PAVO_SETTING(shiftScrollSpeed),
        PAVO_SETTING(ctrlScrollSpeed),
        PAVO_SETTING(relativeScroll),
        PAVO_SETTING(zoomInStep),
        PAVO_SETTING(zoomOutStep),
        PAVO_SETTING(autoShowOriginal),
        PAVO_SETTING(posX),
        PAVO_SETTING(posY),
        PAVO_SETTING(width),
        PAVO_SETTING(height),
        PAVO_SETTING(state),
        PAVO_SETTING(largeDownscale),
        PAVO_SETTING(downscale),
        PAVO_SETTING(upscale),
        PAVO_SETTING(largeUpscale),
        PAVO_SETTING(zoomInScale),
        PAVO_SETTING(zoomOutScale),
        PAVO_SETTING(largeDownscaleThreshold),
        PAVO_SETTING(largeUpscaleThreshold),
    }};
    return table;
}

// The window placement, written at every exit in this order.
const std::array<NumberSetting, 5>& placementSettings() {
    static const std::array<NumberSetting, 5> table{{
        PAVO_SETTING(posX),
        PAVO_SETTING(posY),
        PAVO_SETTING(width),
        PAVO_SETTING(height),
        PAVO_SETTING(state),
    }};
    return table;
}

#undef PAVO_SETTING

bool readFlagValue(const SettingsKey& key, const QString& name, bool fallback) {
    const auto value = key.value(name);
    if (!value || value->data.isEmpty() || value->data.size() > kFlagBufferBytes) return fallback;
    return value->data.front() != '\0';
}

std::int32_t readNumberValue(const SettingsKey& key, const QString& name, std::int32_t fallback) {
    const auto value = key.value(name);
    if (!value || value->type != RegDword || value->data.size() != 4) return fallback;
    std::uint32_t bits = 0;
    for (int i = 3; i >= 0; --i) bits = (bits << 8) | static_cast<unsigned char>(value->data[i]);
    return static_cast<std::int32_t>(bits);
}

QString readTextValue(const SettingsKey& key, const QString& name, const QString& fallback) {
    const auto value = key.value(name);
    if (!value || value->type != RegSz) return fallback;
    const QByteArray& data = value->data;
    const qsizetype units = data.size() / 2;
    QString text;
    for (qsizetype i = 0; i < units; ++i) {
        const auto unit = static_cast<char16_t>(static_cast<unsigned char>(data[2 * i]) |
                                                (static_cast<unsigned char>(data[2 * i + 1]) << 8));
        if (unit == 0) break;
        text.append(QChar(unit));
    }
    // The text and its terminator must fit the read buffer.
    if ((text.size() + 1) * 2 > kTextBufferBytes) return fallback;
    return text;
}

void writeFlagValue(SettingsKey& key, const QString& name, bool on) {
    key.setValue(name, flagValue(on));
}

void writeNumberValue(SettingsKey& key, const QString& name, std::int32_t number) {
    key.setValue(name, dwordValue(number));
}

void writeTextValue(SettingsKey& key, const QString& name, const QString& text) {
    key.setValue(name, textValue(text));
}

void loadSettings(Viewer& viewer) {
    const auto key = viewer.store.open();
    if (!key) {
        showAccessDenied(viewer, kCannotRead);
        return;
    }
    ViewerSettings& current = viewer.settings;
    const ViewerSettings& defaults = viewer.defaults;
    for (const auto& [name, field] : flagSettings()) {
        current.*field = readFlagValue(*key, QString::fromLatin1(name), defaults.*field);
    }
    for (const auto& [name, field] : numberSettings()) {
        current.*field = readNumberValue(*key, QString::fromLatin1(name), defaults.*field);
    }
    current.nextUpdateCheck =
        readNumberValue(*key, QStringLiteral("nextUpdateCheck"), defaults.nextUpdateCheck);
    current.ignoreVersion.set(
        readTextValue(*key, QStringLiteral("ignoreVersion"), defaults.ignoreVersion.get()));
}

void saveSettings(Viewer& viewer) {
    auto key = viewer.store.open();
    if (!key) {
        showAccessDenied(viewer, kCannotStore);
        return;
    }
    const ViewerSettings& current = viewer.settings;
    for (const auto& [name, field] : flagSettings()) {
        writeFlagValue(*key, QString::fromLatin1(name), current.*field);
    }
    for (const auto& [name, field] : numberSettings()) {
        writeNumberValue(*key, QString::fromLatin1(name), current.*field);
    }
    // A save that did not reach the disk is reported like one that could not start,
    // so the user is never told nothing while the options are lost.
    if (!viewer.store.close(*key)) showAccessDenied(viewer, kCannotStore);
}

void saveUpdateState(Viewer& viewer) {
    auto key = viewer.store.open();
    if (!key) return;
    writeNumberValue(*key, QStringLiteral("nextUpdateCheck"), viewer.settings.nextUpdateCheck);
    writeTextValue(*key, QStringLiteral("ignoreVersion"), viewer.settings.ignoreVersion.get());
    viewer.store.close(*key);
}

void recordWindowPlacement(Viewer& viewer) {
    ViewerSettings& current = viewer.settings;
    if (const auto placement = viewer.platform.windowPlacement()) {
        current.posX = placement->normal.left;
        current.posY = placement->normal.top;
        current.width = placement->normal.width();
        current.height = placement->normal.height();
        current.state = placement->showCommand;
    } else {
        current.posX = -current.fixWindowPosition;
        current.posY = 0;
        current.width = 600;
        current.height = 800;
        current.state = 1;
    }
}

void saveWindowPlacement(Viewer& viewer) {
    recordWindowPlacement(viewer);
    const ViewerSettings& current = viewer.settings;
    auto key = viewer.store.open();
    if (!key) {
        showAccessDenied(viewer, kCannotStore);
        return;
    }
    for (const auto& [name, field] : placementSettings()) {
        writeNumberValue(*key, QString::fromLatin1(name), current.*field);
    }
    if (!viewer.store.close(*key)) showAccessDenied(viewer, kCannotStore);
}

}  // namespace pavo
