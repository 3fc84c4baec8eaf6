#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>

namespace pellora::archive {

// Asks the desktop to show the data folder `path` on behalf of the window whose system handle is
// `owner` (its winId()), without waiting for it. When the desktop cannot, `tellFailure` receives
// the path, a blank line and "Can't open data folder.", possibly after the caller and its window
// are gone (so it must need neither).
void OpenDataFolder(quintptr owner, const QString& path, std::function<void(const QString& text)> tellFailure);

} // namespace pellora::archive
