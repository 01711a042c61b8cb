#pragma once

#include "platform/reg_file.h"

#include <QString>

#include <optional>
#include <utility>
#include <vector>

namespace pavo {

// An open settings key: the values as they stood on disk when it was opened, with the
// writes made through it on top. The writes reach the disk together when it is closed.
class SettingsKey {
  public:
    [[nodiscard]] std::optional<RegValue> value(const QString& name) const;
    void setValue(const QString& name, const RegValue& value);

  private:
    friend class SettingsStore;
    explicit SettingsKey(RegDocument snapshot) : snapshot_(std::move(snapshot)) {}

    RegDocument snapshot_;
    std::vector<std::pair<QString, RegValue>> writes_;
};

// The persistent settings: one file, settings.reg, in registry-export syntax inside
// `folder`. Saving is read-modify-write under an exclusive lock on a side file and
// replaces the file atomically, so two viewers saving at once, or a crash halfway,
// never leave a broken or half-written store.
class SettingsStore {
  public:
    explicit SettingsStore(QString folder);

    // $XDG_CONFIG_HOME/Pavo, or ~/.config/Pavo when that is not set.
    static QString defaultFolder();
    static QString keyPath();

    [[nodiscard]] QString filePath() const;

    // Opens the key, creating the folder and an empty store when they are missing.
    // Nothing when the folder cannot be made or the file cannot be read or written.
    [[nodiscard]] std::optional<SettingsKey> open() const;

    // Merges the key's writes into the file as it is on disk now. False when they
    // could not be stored; the file then keeps its previous content.
    bool close(const SettingsKey& key) const;

  private:
    bool commit(const std::vector<std::pair<QString, RegValue>>& writes) const;

    QString folder_;
};

}  // namespace pavo
