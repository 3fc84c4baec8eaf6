#pragma once

#include <QString>
#include <QVariant>

namespace pellora {

struct AppObject;

namespace platform {

// Value kind codes.
namespace ValueKind {
constexpr int Text = 0;
constexpr int Integer = 1; // 32-bit whole number
constexpr int Boolean = 3;
} // namespace ValueKind

// The program's stored settings, per user: on Linux an INI file in the user's configuration
// folder (organisation and application from `app`: ~/.config/Orvane/Pellora.ini), on Windows
// the user's registry hive. A store reads them once, at its first use; every write reaches the
// disk atomically, and a write that fails leaves what was stored as it was. A settings file that
// is not a regular file of the user's own, or is far larger than settings can be, is set aside
// as "<name>.damaged" and reads as nothing stored.
class SettingsStore {
public:
    SettingsStore();
    ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    // The value last written under `key`; the default when nothing is stored, or when what is
    // stored does not convert to `kind` (a hand-edited or damaged file). An omitted default
    // reads as empty text. `section` is empty for the program's own keys; `flags` is -1;
    // `status` is set to 0.
    QVariant ReadValue(const QString& section, const QString& key, int kind, const AppObject& app,
                       const QVariant& defaultValue = QVariant(), int flags = -1, int* status = nullptr);
    // Stores `value` under `key`. Throws pellora::Error when it cannot be stored.
    void WriteValue(const QString& section, const QString& key, int kind, const QVariant& value, const AppObject& app,
                    int flags = -1, int* status = nullptr);

    // Where the values are kept (a file path, or a registry path on Windows).
    static QString Location(const AppObject& app);
    // The folder that holds the settings file; empty on Windows.
    static QString Folder(const AppObject& app);

private:
    struct Impl;
    Impl* impl_ = nullptr;
};

} // namespace platform
} // namespace pellora
