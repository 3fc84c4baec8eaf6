#pragma once

// The stored settings: read once when the main window loads, written once when it unloads. The
// table in Settings.cpp is the one place a setting is named: its key, kind, default, and where
// its value lives (a field of the main window, or a program-wide value of AppValues).

#include "platform/components/HistoryList.h"
#include "state/AppValues.h"

#include <QLatin1String>
#include <QString>
#include <QVariant>

#include <functional>
#include <span>

namespace pellora::state {

// The longest text a name field (sender, recipient, computer) takes, typed, pasted or stored.
inline constexpr int MaxNameLength = platform::HistoryList::MaxEntryLength;

// The stored settings, in the order they are read and written.
enum class Setting { From, To, Machine, SendHotkeyOption, TempFilePrefix };

// One stored setting: its key, the settings store's kind code, the default given when reading
// (none for the texts), and, for a program-wide option, the value of AppValues it is read into and
// written from (nullptr: the main window's, handed to it through LoadSettings' `apply` and taken
// from SaveSettings' `value`).
struct SettingKey {
    Setting setting;
    QLatin1String key;
    int kind;
    QVariant defaultValue;
    bool AppValues::*option = nullptr;
};

// The table both LoadSettings and SaveSettings go by, in order.
std::span<const SettingKey> SettingKeys();

// Reads the settings with one store, in the table's order: each value right after its read,
// before the next key is read, goes into `values` (an option) or to `apply` (the window's: text as
// a QString, the send hotkey option as an int). A value that does not convert throws
// pellora::Error (type mismatch). A stored text longer than MaxNameLength reads as empty text.
void LoadSettings(AppValues& values, const std::function<void(Setting, const QVariant&)>& apply);

// Writes the settings with one store, each from `values` (an option) or from `value` (the
// window's: a QString, an int); a text longer than MaxNameLength is written as empty text.
void SaveSettings(const AppValues& values, const std::function<QVariant(Setting)>& value);

} // namespace pellora::state
