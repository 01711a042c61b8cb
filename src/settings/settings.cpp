#include "settings/settings.h"

#include "platform/settings_store.h"

namespace pavo {
namespace {

#define PAVO_SETTING(field) \
    { #field, &ViewerSettings::field }

// Flags are read through a buffer of four bytes, the size of a number: a value larger
// than that does not fit and counts as unreadable.
constexpr int kFlagBufferBytes = 4;
// Texts are read through a 4096-byte buffer of UTF-16 units, terminator included.
constexpr int kTextBufferBytes = 4096;

}  // namespace

const std::array<FlagSetting, 13>& flagSettings() {
    static const std::array<FlagSetting, 13> table{{
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
        PAVO_SETTING(colourManagement),
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

bool readSettings(const SettingsStore& store, ViewerSettings& settings) {
    const auto key = store.open();
    if (!key) return false;
    const ViewerSettings defaults;
    for (const auto& [name, field] : flagSettings()) {
        settings.*field = readFlagValue(*key, QString::fromLatin1(name), defaults.*field);
    }
    for (const auto& [name, field] : numberSettings()) {
        settings.*field = readNumberValue(*key, QString::fromLatin1(name), defaults.*field);
    }
    settings.nextUpdateCheck =
        readNumberValue(*key, QStringLiteral("nextUpdateCheck"), defaults.nextUpdateCheck);
    settings.ignoreVersion =
        readTextValue(*key, QStringLiteral("ignoreVersion"), defaults.ignoreVersion);
    return true;
}

bool writeSettings(const SettingsStore& store, const ViewerSettings& settings) {
    auto key = store.open();
    if (!key) return false;
    for (const auto& [name, field] : flagSettings()) {
        writeFlagValue(*key, QString::fromLatin1(name), settings.*field);
    }
    for (const auto& [name, field] : numberSettings()) {
        writeNumberValue(*key, QString::fromLatin1(name), settings.*field);
    }
    return store.close(*key);
}

bool writeUpdateState(const SettingsStore& store, std::int32_t nextUpdateCheck,
                      const QString& ignoreVersion) {
    auto key = store.open();
    if (!key) return false;
    writeNumberValue(*key, QStringLiteral("nextUpdateCheck"), nextUpdateCheck);
    writeTextValue(*key, QStringLiteral("ignoreVersion"), ignoreVersion);
    return store.close(*key);
}

bool writeWindowPlacement(const SettingsStore& store, const ViewerSettings& settings) {
    auto key = store.open();
    if (!key) return false;
    for (const auto& [name, field] : placementSettings()) {
        writeNumberValue(*key, QString::fromLatin1(name), settings.*field);
    }
    return store.close(*key);
}

}  // namespace pavo
