// The settings in the registry, through QSettings: each value is written on its own, and the
// registry keeps it whole.

#include "platform/support/StoredSettings.h"

#include "platform/runtime/Error.h"

#include <QSettings>

namespace pellora::platform {

namespace {

// The user's own key only: what an administrator put in the machine's hive is not read into the
// user's settings and written there.
class RegistrySettings : public QSettings {
public:
    RegistrySettings(const QString& company, const QString& application)
        : QSettings(QSettings::NativeFormat, QSettings::UserScope, company, application) {
        setFallbacksEnabled(false);
    }
};

} // namespace

QString StoredSettingsLocation(const QString& company, const QString& application) {
    return RegistrySettings(company, application).fileName();
}

QString StoredSettingsFolder(const QString&, const QString&) { return QString(); }

QVariantMap ReadStoredSettings(const QString& company, const QString& application) {
    const RegistrySettings settings(company, application);
    QVariantMap values;
    for (const QString& key : settings.allKeys())
        values.insert(key, settings.value(key));
    return values;
}

void WriteStoredSettings(const QString& company, const QString& application, const QVariantMap& values) {
    RegistrySettings settings(company, application);
    for (const QString& key : settings.allKeys()) {
        if (!values.contains(key))
            settings.remove(key);
    }
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        if (settings.value(it.key()) != it.value())
            settings.setValue(it.key(), it.value());
    }
    settings.sync();
    if (settings.status() != QSettings::NoError)
        throw Error(ErrorNumber::PathFileAccess,
                    QStringLiteral("Can't store the settings in %1.").arg(settings.fileName()));
}

} // namespace pellora::platform
