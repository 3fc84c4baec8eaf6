#include "platform/support/PrivateFiles.h"

#include <QRandomGenerator>

namespace pellora::platform {

QString NewTempFileName() {
    return QStringLiteral(".pellora-%1.tmp")
        .arg(QRandomGenerator::global()->generate64() & 0xFFFFFFFFFFFFull, 12, 16, QLatin1Char('0'));
}

// Checked by hand: writers may run on several threads at once, and under Wine Qt's regular
// expressions (QDirIterator's name filters among them) crashed when threads that Qt did not
// start used them at the same time.
bool IsTempFileName(const QString& name) {
    const QLatin1String prefix(".pellora-"), suffix(".tmp");
    if (name.size() != prefix.size() + 12 + suffix.size() || !name.startsWith(prefix) || !name.endsWith(suffix))
        return false;
    for (qsizetype i = prefix.size(); i < prefix.size() + 12; ++i) {
        const char16_t c = name.at(i).unicode();
        if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f')))
            return false;
    }
    return true;
}

} // namespace pellora::platform
