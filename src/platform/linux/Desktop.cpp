// Where the desktop keeps its wallpaper: GNOME (and Cinnamon, MATE, Budgie), KDE Plasma, Xfce.

#include "platform/support/Desktop.h"
#include "platform/linux/XdgFolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QUrl>

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

// GNOME and its relatives keep the wallpaper in dconf; gsettings reads it for us. One run lists
// every key of the schema, "SCHEMA KEY VALUE" a line: the first of `keys` that names a file wins.
QString FromGSettings(const QString& schema, const QStringList& keys) {
    const QString gsettings = QStandardPaths::findExecutable(QStringLiteral("gsettings"));
    if (gsettings.isEmpty())
        return {};
    QProcess process;
    process.start(gsettings, {QStringLiteral("list-recursively"), schema});
    if (!process.waitForFinished(1000)) {
        process.kill();
        process.waitForFinished(200);
        return {};
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return {};
    const QStringList lines = QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\n'));
    for (const QString& key : keys) {
        const QString start = schema + QLatin1Char(' ') + key + QLatin1Char(' ');
        for (const QString& line : lines) {
            if (!line.startsWith(start))
                continue;
            const QString file = LocalFile(line.mid(start.size()));
            if (!file.isEmpty())
                return file;
        }
    }
    return {};
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

} // namespace

QString DesktopWallpaperFile() {
    const QString desktop = qEnvironmentVariable("XDG_CURRENT_DESKTOP").toUpper();
    if (desktop.contains(QLatin1String("KDE")))
        return FromKde();
    if (desktop.contains(QLatin1String("XFCE")))
        return FromXfce();
    if (desktop.contains(QLatin1String("CINNAMON")))
        return FromGSettings(QStringLiteral("org.cinnamon.desktop.background"), {QStringLiteral("picture-uri")});
    if (desktop.contains(QLatin1String("MATE")))
        return FromGSettings(QStringLiteral("org.mate.background"), {QStringLiteral("picture-filename")});
    if (desktop.contains(QLatin1String("GNOME")) || desktop.contains(QLatin1String("UNITY")) ||
        desktop.contains(QLatin1String("BUDGIE")))
        return FromGSettings(QStringLiteral("org.gnome.desktop.background"),
                             {QStringLiteral("picture-uri"), QStringLiteral("picture-uri-dark")});
    return {};
}

} // namespace pellora::platform
