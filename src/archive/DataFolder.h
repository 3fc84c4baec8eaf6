#pragma once

#include "platform/support/Support.h"

#include <QString>

#include <functional>

namespace pellora::archive {

// Asks the desktop to show the data folder `path` on behalf of the window `owner`, without waiting
// for it. When the desktop cannot, `tellFailure` receives the path, a blank line and "Can't open
// data folder.", possibly after the caller and `owner` are gone (so it must need neither).
void OpenDataFolder(WindowHandle owner, const QString& path, std::function<void(const QString& text)> tellFailure);

} // namespace pellora::archive
