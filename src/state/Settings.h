#pragma once

// The five stored settings: read once when the main window loads, written once when it unloads.

#include "platform/components/HistoryList.h"

#include <QLatin1String>
#include <QString>
#include <QVariant>

#include <array>
#include <functional>

namespace pellora::state {

// The longest text a name field (sender, recipient, computer) takes, typed, pasted or stored.
inline constexpr int MaxNameLength = platform::HistoryList::MaxEntryLength;

// The stored settings, in the order they are read and written.
enum class Setting { From, To, Machine, SendHotkeyOption, TempFilePrefix };

// One stored setting: its key, the settings store's kind code and the default given when reading
// (none for the texts).
struct SettingKey {
    Setting setting;
    QLatin1String key;
    int kind;
    QVariant defaultValue;
};

// The table both LoadSettings and SaveSettings go by.
const std::array<SettingKey, 5>& SettingKeys();

// Reads the five settings with one store and hands each value to `apply` right after its read,
// before the next key is read: text as a QString, the send hotkey option as an int, the prefix
// flag as a bool. A value that does not convert throws pellora::Error (type mismatch). A stored
// text longer than MaxNameLength reads as empty text.
void LoadSettings(const std::function<void(Setting, const QVariant&)>& apply);

// Writes the five settings with one store, each from `value` (a QString, an int, a bool); a
// text longer than MaxNameLength is written as empty text.
void SaveSettings(const std::function<QVariant(Setting)>& value);

} // namespace pellora::state
