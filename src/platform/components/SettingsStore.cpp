#include "platform/components/SettingsStore.h"

#include "platform/runtime/App.h"
#include "platform/runtime/Error.h"
#include "platform/support/PrivateFiles.h"
#ifndef Q_OS_WIN
#include "platform/linux/XdgFolders.h"
#endif

#include <QFileInfo>
#include <QSettings>
#include <QStringList>

#include <limits>
#include <memory>

namespace pellora::platform {

namespace {

// QSettings writes INI files through a temporary file and a rename (atomic sync is its
// default), so the file on disk is always either the old or the new one.
std::unique_ptr<QSettings> OpenSettings(const AppObject& app) {
#ifdef Q_OS_WIN
    constexpr QSettings::Format format = QSettings::NativeFormat;
#else
    constexpr QSettings::Format format = QSettings::IniFormat;
    // Under $XDG_CONFIG_HOME only when it is absolute, as the XDG rules say; else ~/.config.
    QSettings::setPath(format, QSettings::UserScope, XdgConfigHome());
#endif
    return std::make_unique<QSettings>(format, QSettings::UserScope, app.CompanyName, app.InternalName);
}

QString FullKey(const QString& section, const QString& key) { return section.isEmpty() ? key : section + u'/' + key; }

// The stored value as the text it holds. An INI value with unquoted commas reads back as a
// list; it is shown as it was typed, with ", " between the parts.
bool StoredText(const QVariant& value, QString& text) {
    if (value.typeId() == QMetaType::QStringList) {
        text = value.toStringList().join(QStringLiteral(", "));
        return true;
    }
    if (!value.canConvert<QString>())
        return false;
    text = value.toString();
    return true;
}

bool ToInt32(const QVariant& value, int& result) {
    QString text;
    if (!StoredText(value, text))
        return false;
    bool ok = false;
    const qlonglong n = text.trimmed().toLongLong(&ok, 10);
    if (!ok || n < std::numeric_limits<qint32>::min() || n > std::numeric_limits<qint32>::max())
        return false;
    result = static_cast<int>(n);
    return true;
}

bool ToBoolean(const QVariant& value, bool& result) {
    if (value.typeId() == QMetaType::Bool) {
        result = value.toBool();
        return true;
    }
    QString text;
    if (!StoredText(value, text))
        return false;
    text = text.trimmed().toLower();
    if (text == u"true" || text == u"1" || text == u"-1") {
        result = true;
        return true;
    }
    if (text == u"false" || text == u"0") {
        result = false;
        return true;
    }
    return false;
}

Error UnknownKind(int kind) {
    return Error(ErrorNumber::InvalidProcedureCall, QStringLiteral("Unknown value kind %1.").arg(kind));
}

} // namespace

struct SettingsStore::Impl {
    QString company;
    QString application;
    std::unique_ptr<QSettings> settings;

    QSettings& For(const AppObject& app) {
        if (!settings || company != app.CompanyName || application != app.InternalName) {
            settings = OpenSettings(app);
            company = app.CompanyName;
            application = app.InternalName;
        }
        return *settings;
    }
};

SettingsStore::SettingsStore() : impl_(new Impl) {}

SettingsStore::~SettingsStore() { delete impl_; }

QVariant SettingsStore::ReadValue(const QString& section, const QString& key, int kind, const AppObject& app,
                                  const QVariant& defaultValue, int /*flags*/, int* status) {
    if (status)
        *status = 0;
    if (kind != ValueKind::Text && kind != ValueKind::Integer && kind != ValueKind::Boolean)
        throw UnknownKind(kind);

    const QVariant fallback = defaultValue.isValid() ? defaultValue : QVariant(QString());
    const QVariant stored = impl_->For(app).value(FullKey(section, key));
    if (!stored.isValid())
        return fallback;

    switch (kind) {
    case ValueKind::Text:
        if (QString text; StoredText(stored, text))
            return text;
        break;
    case ValueKind::Integer:
        if (int n = 0; ToInt32(stored, n))
            return n;
        break;
    case ValueKind::Boolean:
        if (bool b = false; ToBoolean(stored, b))
            return b;
        break;
    }
    // Edited by hand or damaged: the key reads as if it had never been written, and the next
    // write puts a sound value in its place.
    return fallback;
}

void SettingsStore::WriteValue(const QString& section, const QString& key, int kind, const QVariant& value,
                               const AppObject& app, int /*flags*/, int* status) {
    if (status)
        *status = 0;

    QVariant stored;
    switch (kind) {
    case ValueKind::Text: stored = value.toString(); break;
    case ValueKind::Integer: {
        int n = 0;
        if (!ToInt32(value, n))
            throw Error(ErrorNumber::Overflow,
                        QStringLiteral("The value of \"%1\" is not a 32-bit whole number.").arg(key));
        stored = n;
        break;
    }
    case ValueKind::Boolean: {
        bool b = false;
        bool ok = ToBoolean(value, b);
        if (!ok && value.typeId() != QMetaType::QString) {
            const qlonglong n = value.toLongLong(&ok); // any other number: non-zero is true
            b = n != 0;
        }
        if (!ok)
            throw Error(ErrorNumber::TypeMismatch, QStringLiteral("The value of \"%1\" is not a boolean.").arg(key));
        stored = b ? QStringLiteral("true") : QStringLiteral("false");
        break;
    }
    default: throw UnknownKind(kind);
    }

    QSettings& settings = impl_->For(app);
    const QString fileName = settings.fileName();
    // A value the file already holds is not written again: each write replaces the whole file
    // (and waits for the disk), and a close stores every setting, most of them unchanged.
    if (settings.status() == QSettings::NoError) {
        const QVariant current = settings.value(FullKey(section, key));
        if (current.isValid() && current.typeId() != QMetaType::QStringList && current.toString() == stored.toString())
            return;
    }
#ifndef Q_OS_WIN
    // QSettings keeps the mode of the file it replaces and creates folders open to all: the
    // folders and the file are made private before it writes.
    if (!MakePrivatePath(QFileInfo(fileName).path()) || !MakeFilePrivate(fileName))
        throw Error(ErrorNumber::PathFileAccess,
                    QStringLiteral("Can't store the setting \"%1\" in %2.").arg(key, fileName));
#endif
    settings.setValue(FullKey(section, key), stored);
    settings.sync();
    QSettings::Status result = settings.status();
    if (result == QSettings::FormatError) {
        // The file was damaged when it was read. QSettings still writes what it could read plus
        // the new value, but keeps reporting the first error; reading the file again tells
        // whether that write went through.
        impl_->settings = OpenSettings(app);
        result = impl_->settings->status();
    }
    if (result != QSettings::NoError)
        throw Error(ErrorNumber::PathFileAccess,
                    QStringLiteral("Can't store the setting \"%1\" in %2.").arg(key, fileName));
}

QString SettingsStore::Location(const AppObject& app) { return OpenSettings(app)->fileName(); }

} // namespace pellora::platform
