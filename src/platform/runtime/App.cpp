#include "platform/runtime/App.h"

#include "PelloraVersion.h"

namespace pellora {

QString AppObject::VersionText() const {
    return QStringLiteral("%1.%2.%3")
        .arg(Major)
        .arg(Minor, 2, 10, QLatin1Char('0'))
        .arg(Revision, 4, 10, QLatin1Char('0'));
}

QString AppObject::DataFolderName() const { return CompanyName + u'/' + InternalName; }

const AppObject& App() {
    static AppObject app;
    if (app.Title.isEmpty()) {
        app.Title = QStringLiteral(PELLORA_TITLE);
        app.Major = PELLORA_VERSION_MAJOR;
        app.Minor = PELLORA_VERSION_MINOR;
        app.Revision = PELLORA_VERSION_REVISION;
        app.FileDescription = QStringLiteral(PELLORA_DESCRIPTION);
        app.CompanyName = QStringLiteral(PELLORA_COMPANY);
        app.InternalName = QStringLiteral(PELLORA_INTERNAL_NAME);
    }
    return app;
}

} // namespace pellora
