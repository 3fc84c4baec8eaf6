#include "platform/support/PrivateFiles.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

namespace pellora::platform {

bool MakePrivatePath(const QString& folder) {
    if (folder.isEmpty())
        return false;
    const QString path = QDir::cleanPath(QDir(folder).absolutePath());
    // The missing folders, innermost first.
    QStringList missing;
    for (QString at = path; !QFileInfo::exists(at); at = QFileInfo(at).path()) {
        missing.prepend(at);
        if (QFileInfo(at).path() == at)
            break;
    }
    for (const QString& each : std::as_const(missing)) {
        // Qt applies the umask to the mode it creates a folder with. Another process may make
        // the same folder at the same time; what counts is that it is one afterwards.
#ifdef Q_OS_WIN
        const bool made = QDir().mkdir(each);
#else
        const bool made = QDir().mkdir(each, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                                 QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser);
#endif
        if (!made && !QFileInfo(each).isDir())
            return false;
    }
    return QFileInfo(path).isDir();
}

QString NewTempFilePath(const QString& folder) {
    return folder + QStringLiteral("/.pellora-%1.tmp")
                        .arg(QRandomGenerator::global()->generate64() & 0xFFFFFFFFFFFFull, 12, 16, QLatin1Char('0'));
}

void RemoveStaleTempFiles(const QString& folder) {
    // An hour is far longer than any write takes.
    constexpr qint64 kStaleSeconds = 60 * 60;
    static const QRegularExpression ours(QStringLiteral("^\\.pellora-[0-9a-f]{12}\\.tmp$"));
    const QDateTime limit = QDateTime::currentDateTimeUtc().addSecs(-kStaleSeconds);
    QDirIterator it(folder, {QStringLiteral(".pellora-*.tmp")}, QDir::Files | QDir::Hidden | QDir::NoSymLinks);
    while (it.hasNext()) {
        const QFileInfo info = it.nextFileInfo();
        if (ours.match(info.fileName()).hasMatch() && info.lastModified() < limit)
            QFile::remove(info.filePath());
    }
}

} // namespace pellora::platform
