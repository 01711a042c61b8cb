#pragma once

#include <QString>

#include <array>
#include <cstdint>

namespace pavo {

class SettingsKey;
class SettingsStore;

// The viewer's own version; also what `ignoreVersion` holds until the user skips one.
inline const QString kViewerVersion = QStringLiteral("1.2.0");

// Every user option, each named as its stored value.
struct ViewerSettings {
    // Pixels the window may reach past the work area, hiding invisible resize borders
    // some desktops draw; X11 window managers draw their frames inside the extents.
    std::int32_t fixWindowPosition = 0;
    std::int32_t autoShowOriginal = 3;  // height/width ratio that opens at own size; 0 off
    std::int32_t largeUpscale = 2;      // interpolation methods, 0..4 from the dialogs
    std::int32_t upscale = 2;
    std::int32_t downscale = 2;
    std::int32_t largeDownscale = 3;
    std::int32_t zoomInScale = 3;
    std::int32_t zoomOutScale = 3;
    std::int32_t largeDownscaleThreshold = 3;
    std::int32_t largeUpscaleThreshold = 3;
    bool rememberExit = false;
    bool reverseMerge = false;
    std::int32_t bufferTimeout = 900;  // seconds without input before the cache is freed
    std::int32_t scrollSpeed = 40;
    std::int32_t shiftScrollSpeed = 200;
    std::int32_t ctrlScrollSpeed = 1;
    bool useRelativeScroll = false;
    std::int32_t relativeScroll = 20;  // percent of the window per step
    std::int32_t zoomInStep = 5;       // percent
    std::int32_t zoomOutStep = 5;
    bool mute = false;
    std::int32_t posX = 0;  // the window's normal rectangle at the last exit
    std::int32_t posY = 0;
    std::int32_t width = 600;
    std::int32_t height = 800;
    std::int32_t state = 1;  // 1 normal, 2 minimised, 3 maximised
    bool reduceFlicker = true;
    bool preScale = true;
    bool fitToScreen = true;
    bool snapToMonitorEdge = true;
    bool stickyWindowSize = false;
    bool checkForUpdate = true;
    std::int32_t nextUpdateCheck = 0;  // low 32 bits of seconds since 1970 UTC
    bool animations = true;
    bool useMouseAnchor = false;
    bool colourManagement = true;  // pictures converted to the monitor's colour profile
    QString ignoreVersion = kViewerVersion;
};

struct FlagSetting {
    const char* name;
    bool ViewerSettings::*field;
};
struct NumberSetting {
    const char* name;
    std::int32_t ViewerSettings::*field;
};

// The order in which options are loaded and saved. `nextUpdateCheck` and
// `ignoreVersion` are not in these tables: only the update state carries them.
const std::array<FlagSetting, 13>& flagSettings();
const std::array<NumberSetting, 22>& numberSettings();
const std::array<NumberSetting, 5>& placementSettings();

// Typed access to one value of an open key; a failed read gives the fallback.
bool readFlagValue(const SettingsKey& key, const QString& name, bool fallback);
std::int32_t readNumberValue(const SettingsKey& key, const QString& name, std::int32_t fallback);
QString readTextValue(const SettingsKey& key, const QString& name, const QString& fallback);
void writeFlagValue(SettingsKey& key, const QString& name, bool on);
void writeNumberValue(SettingsKey& key, const QString& name, std::int32_t number);
void writeTextValue(SettingsKey& key, const QString& name, const QString& text);

// Fills the options from the store; false when it cannot be read (the values in `settings`
// then stay as they were).
bool readSettings(const SettingsStore& store, ViewerSettings& settings);
// Stores every option but the update state; false when it did not reach the disk.
bool writeSettings(const SettingsStore& store, const ViewerSettings& settings);
// Stores `nextUpdateCheck` and `ignoreVersion`; false when it did not reach the disk.
bool writeUpdateState(const SettingsStore& store, std::int32_t nextUpdateCheck,
                      const QString& ignoreVersion);
// Stores the five placement options; false when they did not reach the disk.
bool writeWindowPlacement(const SettingsStore& store, const ViewerSettings& settings);

}  // namespace pavo
