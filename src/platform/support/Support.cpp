// The support library's services that are the same on every platform.

#include "platform/support/Support.h"

#include "platform/runtime/Error.h"
#include "platform/runtime/Services.h"
#include "platform/support/PrivateFiles.h"

#include <QDir>
#include <QFileInfo>

namespace pellora {

QString ksBuildFileName(const QString& folder, const QString& name) {
    QString relative = name;
    relative.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (folder.isEmpty())
        return QDir::toNativeSeparators(relative);
    QString base = QDir::fromNativeSeparators(folder);
    while (base.size() > 1 && base.endsWith(QLatin1Char('/')))
        base.chop(1);
    while (relative.startsWith(QLatin1Char('/')))
        relative.remove(0, 1);
    if (base == QLatin1String("/"))
        return QDir::toNativeSeparators(base + relative);
    return QDir::toNativeSeparators(base + QLatin1Char('/') + relative);
}

bool ksCreateComplexDirectory(const QString& path) {
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    if (info.exists())
        return info.isDir();
    // The data folder holds the user's messages: what is created here is private.
    return platform::MakePrivatePath(path);
}

QByteArray ksAnsiToOem(const QString& text) {
    const auto& convert = platform::services().ansiToOem;
    return convert ? convert(text) : platform::SystemAnsiToOem(text);
}

} // namespace pellora
