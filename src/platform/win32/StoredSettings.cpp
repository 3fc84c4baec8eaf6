// The settings in the registry, one value each in the key Software\<company>\<application> of
// HKEY_CURRENT_USER, read and written with the registry's own calls: texts as REG_SZ (REG_BINARY,
// UTF-16, for a text that holds U+0000, which REG_SZ cannot), lists of texts as REG_MULTI_SZ,
// whole numbers as REG_DWORD. Through these calls a text reads back exactly as it was written
// (QSettings drops a leading U+FEFF), and reading the settings creates no key.

#include "platform/support/StoredSettings.h"

#include "platform/runtime/Error.h"

#include <QMap>
#include <QStringList>

#include <windows.h>

#include <algorithm>
#include <string>

namespace pellora::platform {

namespace {

std::wstring KeyPath(const QString& company, const QString& application) {
    return (QStringLiteral("Software\\") + company + u'\\' + application).toStdWString();
}

std::wstring Wide(const QString& text) { return text.toStdWString(); }

QString Text(const wchar_t* data, std::size_t chars) {
    return QString(reinterpret_cast<const QChar*>(data), static_cast<qsizetype>(chars)); // as stored, BOM and all
}

// A value as the registry holds it: its type and its bytes.
struct RegistryValue {
    DWORD type = REG_NONE;
    std::wstring data; // the bytes, as UTF-16 units (a DWORD takes two)
    bool operator==(const RegistryValue&) const = default;
};

// `value` as the registry value it is stored as; false for a kind left out.
bool ToRegistry(const QVariant& value, RegistryValue& stored) {
    switch (value.typeId()) {
    case QMetaType::Int: {
        const DWORD n = static_cast<DWORD>(value.toInt());
        stored = {REG_DWORD, std::wstring(reinterpret_cast<const wchar_t*>(&n), 2)};
        return true;
    }
    case QMetaType::QString:
    case QMetaType::LongLong:
    case QMetaType::Bool: {
        const QString text = value.toString();
        stored = {text.contains(QChar(u'\0')) ? DWORD(REG_BINARY) : DWORD(REG_SZ), Wide(text)};
        if (stored.type == REG_SZ)
            stored.data += L'\0';
        return true;
    }
    case QMetaType::QStringList: {
        stored = {REG_MULTI_SZ, {}};
        for (const QString& part : value.toStringList())
            stored.data += Wide(part) + L'\0';
        stored.data += L'\0';
        return true;
    }
    default: return false;
    }
}

// What a registry value reads as: a text, a list of texts, a whole number; invalid for any other
// type (one that only a hand-edited registry holds).
QVariant FromRegistry(DWORD type, const std::wstring& data) {
    switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
        std::size_t chars = data.size();
        while (chars > 0 && data[chars - 1] == L'\0')
            --chars;
        return Text(data.data(), chars);
    }
    case REG_BINARY: return Text(data.data(), data.size());
    case REG_MULTI_SZ: {
        QStringList parts;
        std::size_t start = 0;
        while (start < data.size() && data[start] != L'\0') {
            const std::size_t end = std::min(data.find(L'\0', start), data.size());
            parts << Text(data.data() + start, end - start);
            start = end + 1;
        }
        return parts;
    }
    case REG_DWORD:
        if (data.size() >= 2)
            return static_cast<int>(*reinterpret_cast<const DWORD*>(data.data()));
        return {};
    default: return {};
    }
}

// Every value of the open key `key`, by name.
QMap<QString, RegistryValue> ReadKey(HKEY key) {
    QMap<QString, RegistryValue> values;
    DWORD longestName = 0, longestData = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &longestName, &longestData,
                         nullptr, nullptr) != ERROR_SUCCESS)
        return values;
    std::wstring name(longestName + 1, L'\0');
    std::wstring data(longestData / sizeof(wchar_t) + 1, L'\0');
    for (DWORD i = 0;; ++i) {
        DWORD nameChars = static_cast<DWORD>(name.size());
        DWORD bytes = static_cast<DWORD>(data.size() * sizeof(wchar_t));
        DWORD type = REG_NONE;
        const LONG result = RegEnumValueW(key, i, name.data(), &nameChars, nullptr, &type,
                                          reinterpret_cast<BYTE*>(data.data()), &bytes);
        if (result != ERROR_SUCCESS)
            break; // ERROR_NO_MORE_ITEMS, or a value that changed meanwhile: what was read stands
        values.insert(Text(name.data(), nameChars), {type, data.substr(0, bytes / sizeof(wchar_t))});
    }
    return values;
}

} // namespace

QString StoredSettingsLocation(const QString& company, const QString& application) {
    return QStringLiteral("\\HKEY_CURRENT_USER\\") + QString::fromStdWString(KeyPath(company, application));
}

QString StoredSettingsFolder(const QString&, const QString&) { return QString(); }

QVariantMap ReadStoredSettings(const QString& company, const QString& application) {
    QVariantMap values;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, KeyPath(company, application).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return values; // nothing stored yet, or nothing that can be read
    const QMap<QString, RegistryValue> stored = ReadKey(key);
    RegCloseKey(key);
    for (auto it = stored.cbegin(); it != stored.cend(); ++it) {
        if (const QVariant value = FromRegistry(it->type, it->data); value.isValid())
            values.insert(it.key(), value);
    }
    return values;
}

void WriteStoredSettings(const QString& company, const QString& application, const QVariantMap& values) {
    const auto failed = [&] {
        return Error(
            ErrorNumber::PathFileAccess,
            QStringLiteral("Can't store the settings in %1.").arg(StoredSettingsLocation(company, application)));
    };
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, KeyPath(company, application).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_READ | KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        throw failed();
    // Only what changed is written: each value on its own, which the registry keeps whole.
    const QMap<QString, RegistryValue> stored = ReadKey(key);
    bool ok = true;
    for (auto it = stored.cbegin(); ok && it != stored.cend(); ++it) {
        if (!values.contains(it.key()))
            ok = RegDeleteValueW(key, Wide(it.key()).c_str()) == ERROR_SUCCESS;
    }
    for (auto it = values.cbegin(); ok && it != values.cend(); ++it) {
        RegistryValue value;
        if (!ToRegistry(it.value(), value) || stored.value(it.key()) == value)
            continue;
        ok =
            RegSetValueExW(key, Wide(it.key()).c_str(), 0, value.type, reinterpret_cast<const BYTE*>(value.data.data()),
                           static_cast<DWORD>(value.data.size() * sizeof(wchar_t))) == ERROR_SUCCESS;
    }
    RegCloseKey(key);
    if (!ok)
        throw failed();
}

} // namespace pellora::platform
