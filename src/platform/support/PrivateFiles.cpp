#include "platform/support/PrivateFiles.h"

#include <QDateTime>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

namespace pellora::platform {

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
