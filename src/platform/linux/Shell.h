#pragma once

#include "platform/support/Shell.h"

namespace pellora::platform {

// Opens files and folders with the desktop's own handler through xdg-open (no shell between,
// so any character in a path is safe), without waiting for it. A folder that does not exist,
// a launcher that cannot be started, or one that ends with a failure status (or by a signal)
// within `waitMilliseconds` counts as failure; a launcher still running by then counts as
// success, and how it ends later is not looked at.
class XdgShell : public Shell {
public:
    explicit XdgShell(QString launcher = QStringLiteral("xdg-open"), int waitMilliseconds = 3000);
    void Execute(quintptr owner, const QString& operation, const QString& file, const QString& parameters,
                 const QString& directory, int showCommand, std::function<void(int result)> done) override;

private:
    QString launcher_;
    int waitMilliseconds_;
};

} // namespace pellora::platform
