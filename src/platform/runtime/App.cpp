#include "platform/runtime/App.h"

#include "PelloraVersion.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace pellora {

QString AppObject::VersionText() const {
    return QStringLiteral("%1.%2.%3")
        .arg(Major)
        .arg(Minor, 2, 10, QLatin1Char('0'))
        .arg(Revision, 4, 10, QLatin1Char('0'));
}

const AppObject& App() {
    static AppObject app;
    if (app.Title.isEmpty()) {
        app.Title = QStringLiteral(PELLORA_TITLE);
        app.Major = PELLORA_VERSION_MAJOR;
        app.Minor = PELLORA_VERSION_MINOR;
        app.Revision = PELLORA_VERSION_REVISION;
        app.FileDescription = QStringLiteral(PELLORA_DESCRIPTION);
        app.Comments = QStringLiteral(PELLORA_DESCRIPTION);
        app.ProductName = QStringLiteral(PELLORA_PRODUCT);
        app.CompanyName = QStringLiteral(PELLORA_COMPANY);
        app.InternalName = QStringLiteral(PELLORA_INTERNAL_NAME);
        app.EXEName = QStringLiteral(PELLORA_EXE_NAME);
    }
    if (app.Path.isEmpty() && QCoreApplication::instance() != nullptr) {
        const QFileInfo exe(QCoreApplication::applicationFilePath());
        app.Path = exe.absolutePath();
    }
    return app;
}

} // namespace pellora
