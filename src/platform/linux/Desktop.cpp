// Where the desktop keeps its wallpaper: GNOME (and Cinnamon, MATE, Budgie), KDE Plasma, Xfce.

#include "platform/support/Desktop.h"
#include "platform/linux/XdgFolders.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>

#include <dlfcn.h>
// GLib names struct fields `signals`, which Qt defines as a keyword; no code here needs it.
#undef signals
#include <gio/gio.h>

#include <initializer_list>

namespace pellora::platform {

namespace {

QString LocalFile(QString value) {
    value = value.trimmed();
    if (value.size() >= 2 && (value.startsWith(QLatin1Char('\'')) || value.startsWith(QLatin1Char('"'))))
        value = value.mid(1, value.size() - 2);
    if (value.startsWith(QLatin1String("file:")))
        value = QUrl(value).toLocalFile();
    return QFileInfo(value).isFile() ? value : QString();
}

// GNOME and its relatives keep the wallpaper in dconf, read as GIO's settings would read it: a
// library call instead of starting the gsettings program. GIO is loaded only on these desktops
// (Qt does not load it), and never unloaded, as GLib's types cannot be. The first of `keys` that
// names a file wins; a schema or key that is not installed counts as no wallpaper (GIO would abort).
struct Gio {
    decltype(&g_settings_schema_source_get_default) sourceDefault = nullptr;
    decltype(&g_settings_schema_source_lookup) lookup = nullptr;
    decltype(&g_settings_schema_has_key) hasKey = nullptr;
    decltype(&g_settings_schema_unref) unrefSchema = nullptr;
    decltype(&g_settings_new_full) newSettings = nullptr;
    decltype(&g_settings_get_string) getString = nullptr;
    decltype(&g_object_unref) unrefObject = nullptr;
    decltype(&g_free) free = nullptr;
    decltype(&g_settings_schema_get_path) schemaPath = nullptr;
    decltype(&g_settings_schema_get_key) getKey = nullptr;
    decltype(&g_settings_schema_key_get_value_type) keyType = nullptr;
    decltype(&g_settings_schema_key_range_check) inRange = nullptr;
    decltype(&g_settings_schema_key_get_default_value) keyDefault = nullptr;
    decltype(&g_settings_schema_key_unref) unrefKey = nullptr;
    decltype(&g_variant_is_of_type) isOfType = nullptr;
    decltype(&g_variant_get_string) variantString = nullptr;
    decltype(&g_variant_unref) unrefVariant = nullptr;
};

// dconf's client library, on which GIO's dconf backend is built: it reads the same databases
// (the user's, and the system's with their locks, as the dconf profile says) but, unlike a
// GSettings object, does not watch them for changes, so a single read starts no session bus
// connection, no D-Bus threads and no dbus-launch (which GIO starts when no bus is known).
struct DConfClient;
struct DConf {
    DConfClient* (*newClient)() = nullptr;
    GVariant* (*read)(DConfClient*, const gchar*) = nullptr;
};

template <typename Function> bool Find(void* library, Function& function, const char* name) {
    function = reinterpret_cast<Function>(dlsym(library, name));
    return function != nullptr;
}

const Gio* LoadGio() {
    static const Gio* const gio = []() -> const Gio* {
        void* library = dlopen("libgio-2.0.so.0", RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr)
            return nullptr;
        static Gio loaded;
        const auto find = [library](auto& function, const char* name) { return Find(library, function, name); };
        const bool complete =
            find(loaded.sourceDefault, "g_settings_schema_source_get_default") &&
            find(loaded.lookup, "g_settings_schema_source_lookup") &&
            find(loaded.hasKey, "g_settings_schema_has_key") && find(loaded.unrefSchema, "g_settings_schema_unref") &&
            find(loaded.newSettings, "g_settings_new_full") && find(loaded.getString, "g_settings_get_string") &&
            find(loaded.unrefObject, "g_object_unref") && find(loaded.free, "g_free") &&
            find(loaded.schemaPath, "g_settings_schema_get_path") && find(loaded.getKey, "g_settings_schema_get_key") &&
            find(loaded.keyType, "g_settings_schema_key_get_value_type") &&
            find(loaded.inRange, "g_settings_schema_key_range_check") &&
            find(loaded.keyDefault, "g_settings_schema_key_get_default_value") &&
            find(loaded.unrefKey, "g_settings_schema_key_unref") && find(loaded.isOfType, "g_variant_is_of_type") &&
            find(loaded.variantString, "g_variant_get_string") && find(loaded.unrefVariant, "g_variant_unref");
        return complete ? &loaded : nullptr;
    }();
    return gio;
}

// dconf's library, unless GSETTINGS_BACKEND names another backend for GSettings (the key file in
// the tests, the memory backend) or libdconf is not installed (nor, then, GIO's dconf backend).
const DConf* LoadDConf() {
    const QByteArray backend = qgetenv("GSETTINGS_BACKEND");
    if (!backend.isEmpty() && backend != "dconf")
        return nullptr;
    static const DConf* const dconf = []() -> const DConf* {
        void* library = dlopen("libdconf.so.1", RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr)
            return nullptr;
        static DConf loaded;
        const bool complete =
            Find(library, loaded.newClient, "dconf_client_new") && Find(library, loaded.read, "dconf_client_read");
        return complete ? &loaded : nullptr;
    }();
    return dconf;
}

// What g_settings_get_value gives on dconf: the value read, when it has the key's type and is in
// its range, else the schema's default (with the vendor's and the desktop's overrides).
QString FromDConf(const Gio& gio, const DConf& dconf, DConfClient* client, GSettingsSchema* schema, const char* key) {
    GSettingsSchemaKey* schemaKey = gio.getKey(schema, key);
    GVariant* value = dconf.read(client, (QByteArray(gio.schemaPath(schema)) + key).constData());
    if (value != nullptr && !(gio.isOfType(value, gio.keyType(schemaKey)) && gio.inRange(schemaKey, value))) {
        gio.unrefVariant(value);
        value = nullptr;
    }
    if (value == nullptr)
        value = gio.keyDefault(schemaKey);
    const QString text =
        gio.isOfType(value, G_VARIANT_TYPE_STRING) ? QString::fromUtf8(gio.variantString(value, nullptr)) : QString();
    gio.unrefVariant(value);
    gio.unrefKey(schemaKey);
    return text;
}

QString FromGSettings(const char* schemaId, std::initializer_list<const char*> keys) {
    const Gio* gio = LoadGio();
    GSettingsSchemaSource* source = gio != nullptr ? gio->sourceDefault() : nullptr;
    GSettingsSchema* schema = source != nullptr ? gio->lookup(source, schemaId, TRUE) : nullptr;
    if (schema == nullptr)
        return {};
    const DConf* dconf = gio->schemaPath(schema) != nullptr ? LoadDConf() : nullptr;
    DConfClient* client = dconf != nullptr ? dconf->newClient() : nullptr;
    GSettings* settings = client == nullptr ? gio->newSettings(schema, nullptr, nullptr) : nullptr;
    QString file;
    for (const char* key : keys) {
        if (!gio->hasKey(schema, key))
            continue;
        if (client != nullptr) {
            file = LocalFile(FromDConf(*gio, *dconf, client, schema, key));
        } else {
            gchar* value = gio->getString(settings, key);
            file = LocalFile(QString::fromUtf8(value));
            gio->free(value);
        }
        if (!file.isEmpty())
            break;
    }
    gio->unrefObject(client != nullptr ? static_cast<gpointer>(client) : static_cast<gpointer>(settings));
    gio->unrefSchema(schema);
    return file;
}

QString FromKde() {
    const QString config = XdgConfigHome() + QStringLiteral("/plasma-org.kde.plasma.desktop-appletsrc");
    QFile file(config);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    bool inWallpaper = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('[')))
            inWallpaper = line.contains(QLatin1String("[Wallpaper]"));
        else if (inWallpaper && line.startsWith(QLatin1String("Image=")))
            return LocalFile(line.mid(6));
    }
    return {};
}

QString FromXfce() {
    const QString config = XdgConfigHome() + QStringLiteral("/xfce4/xfconf/xfce-perchannel-xml/xfce4-desktop.xml");
    QFile file(config);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    static const QRegularExpression image(QStringLiteral("name=\"(?:last-image|image-path)\"[^>]*value=\"([^\"]+)\""));
    const QRegularExpressionMatch match = image.match(QString::fromUtf8(file.readAll()));
    return match.hasMatch() ? LocalFile(match.captured(1)) : QString();
}

enum class Keeper { None, Kde, Xfce, Cinnamon, Mate, Gnome };

Keeper WallpaperKeeper() {
    const QString desktop = qEnvironmentVariable("XDG_CURRENT_DESKTOP").toUpper();
    if (desktop.contains(QLatin1String("KDE")))
        return Keeper::Kde;
    if (desktop.contains(QLatin1String("XFCE")))
        return Keeper::Xfce;
    if (desktop.contains(QLatin1String("CINNAMON")))
        return Keeper::Cinnamon;
    if (desktop.contains(QLatin1String("MATE")))
        return Keeper::Mate;
    if (desktop.contains(QLatin1String("GNOME")) || desktop.contains(QLatin1String("UNITY")) ||
        desktop.contains(QLatin1String("BUDGIE")))
        return Keeper::Gnome;
    return Keeper::None;
}

} // namespace

QString DesktopWallpaperFile() {
    switch (WallpaperKeeper()) {
    case Keeper::Kde: return FromKde();
    case Keeper::Xfce: return FromXfce();
    case Keeper::Cinnamon: return FromGSettings("org.cinnamon.desktop.background", {"picture-uri"});
    case Keeper::Mate: return FromGSettings("org.mate.background", {"picture-filename"});
    case Keeper::Gnome: return FromGSettings("org.gnome.desktop.background", {"picture-uri", "picture-uri-dark"});
    case Keeper::None: break;
    }
    return {};
}

bool DesktopHasWallpaperSetting() { return WallpaperKeeper() != Keeper::None; }

} // namespace pellora::platform
