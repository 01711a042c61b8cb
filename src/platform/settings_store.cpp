#include "platform/settings_store.h"

#include "platform/files.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace pavo {
namespace {

// Holds an exclusive lock on the store's side file for as long as it lives.
class StoreLock {
  public:
    explicit StoreLock(const QString& path)
        : fd_(::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
        while (fd_ >= 0 && flock(fd_, LOCK_EX) != 0) {
            if (errno != EINTR) {
                ::close(fd_);
                fd_ = -1;
            }
        }
    }
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;
    StoreLock(StoreLock&&) = delete;
    StoreLock& operator=(StoreLock&&) = delete;
    ~StoreLock() {
        if (fd_ >= 0) ::close(fd_);  // closing releases the lock
    }
    [[nodiscard]] bool held() const { return fd_ >= 0; }

  private:
    int fd_;
};

// The file's bytes as they are: the document reads their encoding and keeps the bytes
// of every line it does not set.
std::optional<QByteArray> readBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    return file.readAll();
}

}  // namespace

std::optional<RegValue> SettingsKey::value(const QString& name) const {
    for (auto it = writes_.rbegin(); it != writes_.rend(); ++it) {
        if (it->first.compare(name, Qt::CaseInsensitive) == 0) return it->second;
    }
    return snapshot_.value(name);
}

void SettingsKey::setValue(const QString& name, const RegValue& value) {
    writes_.emplace_back(name, value);
}

SettingsStore::SettingsStore(QString folder) : folder_(std::move(folder)) {}

QString SettingsStore::defaultFolder() {
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base)) {
        base = QDir::homePath() + QStringLiteral("/.config");
    }
    return base + QStringLiteral("/Pavo");
}

QString SettingsStore::keyPath() {
    return QStringLiteral("HKEY_CURRENT_USER\\SOFTWARE\\Pavo\\settings");
}

QString SettingsStore::filePath() const {
    return folder_ + QStringLiteral("/settings.reg");
}

std::optional<SettingsKey> SettingsStore::open() const {
    if (!QDir().mkpath(folder_)) return std::nullopt;
    if (!QFile::exists(filePath()) && !commit({})) return std::nullopt;
    auto bytes = readBytes(filePath());
    if (!bytes || access(QFile::encodeName(filePath()).constData(), W_OK) != 0) return std::nullopt;
    return SettingsKey(RegDocument::parse(*bytes, keyPath()));
}

bool SettingsStore::close(const SettingsKey& key) const {
    return key.writes_.empty() || commit(key.writes_);
}

bool SettingsStore::commit(const std::vector<std::pair<QString, RegValue>>& writes) const {
    const StoreLock lock(filePath() + QStringLiteral(".lock"));
    if (!lock.held()) return false;
    // A new store starts with its header and the empty key, as regedit would export it,
    // but in UTF-8 with LF line ends.
    QByteArray current = "Windows Registry Editor Version 5.00\n\n[" + keyPath().toUtf8() + "]\n";
    if (QFile::exists(filePath())) {
        auto bytes = readBytes(filePath());
        if (!bytes) return false;  // never replace a store that could not be read
        current = *bytes;
    }
    RegDocument doc = RegDocument::parse(current, keyPath());
    for (const auto& [name, value] : writes) doc.setValue(name, value);

    QSaveFile file(filePath());
    if (!file.open(QIODevice::WriteOnly)) return false;
    const QByteArray bytes = doc.toBytes();
    if (file.write(bytes) != bytes.size() || !file.commit()) return false;
    syncDirectory(folder_);
    return true;
}

}  // namespace pavo
