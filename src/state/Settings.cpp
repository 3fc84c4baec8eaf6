#include "state/Settings.h"

#include "platform/components/SettingsStore.h"
#include "platform/runtime/App.h"
#include "platform/runtime/Error.h"

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

const std::array<SettingKey, 5>& SettingKeys() {
    using platform::ValueKind::Boolean;
    using platform::ValueKind::Integer;
    using platform::ValueKind::Text;
    static const std::array<SettingKey, 5> keys{{
        {Setting::From, QLatin1String("From"), Text, QVariant()},
        {Setting::To, QLatin1String("To"), Text, QVariant()},
        {Setting::Machine, QLatin1String("Machine"), Text, QVariant()},
        {Setting::SendHotkeyOption, QLatin1String("Send Hotkey Option"), Integer, QVariant::fromValue<qint16>(0)},
        {Setting::TempFilePrefix, QLatin1String("Temp File Prefix"), Boolean, QVariant(false)},
    }};
    return keys;
}

void LoadSettings(const std::function<void(Setting, const QVariant&)>& apply) {
    platform::SettingsStore store;
    const AppObject& app = App();
    for (const SettingKey& entry : SettingKeys()) {
        int status = 0;
        const QVariant stored = store.ReadValue(kNoSection, QString(entry.key), entry.kind, app, entry.defaultValue,
                                                kDefaultFlags, &status);
        apply(entry.setting, WithinNameLength(entry.kind, Converted(entry.kind, stored)));
    }
}

void SaveSettings(const std::function<QVariant(Setting)>& value) {
    platform::SettingsStore store;
    const AppObject& app = App();
    for (const SettingKey& entry : SettingKeys()) {
        int status = 0;
        store.WriteValue(kNoSection, QString(entry.key), entry.kind, WithinNameLength(entry.kind, value(entry.setting)),
                         app, kDefaultFlags, &status);
    }
}

} // namespace pellora::state
