#include "state/Settings.h"

#include "platform/components/SettingsStore.h"
#include "platform/runtime/App.h"
#include "platform/runtime/Error.h"

#include <array>

namespace pellora::state {

namespace {
// The program's own keys are in no section; the store's flags are always -1.
const QString kNoSection;
constexpr int kDefaultFlags = -1;

[[noreturn]] void TypeMismatch() { throw Error(ErrorNumber::TypeMismatch, QStringLiteral("Type mismatch")); }

QVariant Converted(int kind, const QVariant& stored) {
    switch (kind) {
    case platform::ValueKind::Integer: {
        bool ok = false;
        const int value = stored.toInt(&ok);
        if (!ok)
            TypeMismatch();
        return value;
    }
    case platform::ValueKind::Boolean:
        if (!stored.canConvert<bool>())
            TypeMismatch();
        return stored.toBool();
    default: return stored.toString();
    }
}

// A name longer than a name field takes is no name the window can show: it reads, and is
// stored, as empty text, so that one such value never makes the whole file too large to read.
QVariant WithinNameLength(int kind, const QVariant& value) {
    if (kind == platform::ValueKind::Text && value.toString().size() > MaxNameLength)
        return QString();
    return value;
}
} // namespace

std::span<const SettingKey> SettingKeys() {
    using platform::ValueKind::Boolean;
    using platform::ValueKind::Integer;
    using platform::ValueKind::Text;
    static const std::array keys{
        SettingKey{Setting::From, QLatin1String("From"), Text, QVariant()},
        SettingKey{Setting::To, QLatin1String("To"), Text, QVariant()},
        SettingKey{Setting::Machine, QLatin1String("Machine"), Text, QVariant()},
        SettingKey{Setting::SendHotkeyOption, QLatin1String("Send Hotkey Option"), Integer,
                   QVariant::fromValue<qint16>(0)},
        SettingKey{Setting::TempFilePrefix, QLatin1String("Temp File Prefix"), Boolean, QVariant(false),
                   &AppValues::UseTempFilePrefix},
    };
    return keys;
}

void LoadSettings(AppValues& values, const std::function<void(Setting, const QVariant&)>& apply) {
    platform::SettingsStore store;
    const AppObject& app = App();
    for (const SettingKey& entry : SettingKeys()) {
        int status = 0;
        const QVariant stored = store.ReadValue(kNoSection, QString(entry.key), entry.kind, app, entry.defaultValue,
                                                kDefaultFlags, &status);
        const QVariant value = WithinNameLength(entry.kind, Converted(entry.kind, stored));
        if (entry.option != nullptr)
            values.*entry.option = value.toBool();
        else
            apply(entry.setting, value);
    }
}

void SaveSettings(const AppValues& values, const std::function<QVariant(Setting)>& value) {
    platform::SettingsStore store;
    const AppObject& app = App();
    for (const SettingKey& entry : SettingKeys()) {
        int status = 0;
        const QVariant current = entry.option != nullptr ? QVariant(values.*entry.option) : value(entry.setting);
        store.WriteValue(kNoSection, QString(entry.key), entry.kind, WithinNameLength(entry.kind, current), app,
                         kDefaultFlags, &status);
    }
}

} // namespace pellora::state
