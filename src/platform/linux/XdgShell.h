#pragma once

#include "platform/Services.h"

namespace pellora::platform {

// Opens files and folders with the desktop's own handler through xdg-open (no shell between,
// so any character in a path is safe). A folder that does not exist, a missing launcher, or a
// launcher that reports failure within a few seconds counts as failure.
class XdgShell : public Shell {
public:
    explicit XdgShell(QString launcher = QStringLiteral("xdg-open"), int waitMilliseconds = 3000);
    int Execute(QWidget* owner, const QString& operation, const QString& file, const QString& parameters,
                const QString& directory, int showCommand) override;

private:
    QString launcher_;
    int waitMilliseconds_;
};

} // namespace pellora::platform
