#pragma once

#include <QString>

class QWidget;

namespace pellora::archive {

// Asks the desktop to show the data folder `path`, without waiting for it. When the desktop
// cannot, the path and "Can't open data folder." are shown, possibly after the caller has
// returned (the message needs nothing but the path).
void OpenDataFolder(QWidget* owner, const QString& path);

} // namespace pellora::archive
