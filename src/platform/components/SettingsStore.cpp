#include "platform/components/SettingsStore.h"

#include "platform/runtime/App.h"
#include "platform/runtime/Error.h"
#include "platform/support/StoredSettings.h"

#include <QStringList>

#include <limits>

namespace pellora::platform {

namespace {

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

// The stored values, read once from the system's store and written back whole at each change.
struct SettingsStore::Impl {
    QString company;
    QString application;
    bool read = false;
    QVariantMap values;

    QVariantMap& For(const AppObject& app) {
        if (!read || company != app.CompanyName || application != app.InternalName) {
            values = ReadStoredSettings(app.CompanyName, app.InternalName);
            company = app.CompanyName;
            application = app.InternalName;
            read = true;
        }
        return values;
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

    // A value the store already holds as that text is not written again: each write replaces
    // the whole file (and waits for the disk), and a close stores every setting, most of them
    // unchanged. One that a hand-edited file holds as another kind is written as text.
    QVariantMap values = impl_->For(app);
    const QVariant current = values.value(FullKey(section, key));
    if (current.typeId() == QMetaType::QString && current.toString() == stored.toString())
        return;
    values.insert(FullKey(section, key), stored);
    WriteStoredSettings(app.CompanyName, app.InternalName, values);
    impl_->values = values;
}

QString SettingsStore::Location(const AppObject& app) {
    return StoredSettingsLocation(app.CompanyName, app.InternalName);
}

QString SettingsStore::Folder(const AppObject& app) { return StoredSettingsFolder(app.CompanyName, app.InternalName); }

} // namespace pellora::platform
