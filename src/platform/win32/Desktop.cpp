// The wallpaper of the Windows desktop.

#include "platform/support/Desktop.h"
#include "platform/win32/Win32Api.h"

#include <QFileInfo>

namespace pellora::platform {

QString DesktopWallpaperFile() {
    // Empty when the desktop shows only a colour; a file that has gone counts as none.
    const QString file = QString::fromStdWString(win32::DesktopWallpaper());
    return !file.isEmpty() && QFileInfo(file).isFile() ? file : QString();
}

bool DesktopHasWallpaperSetting() { return true; }

} // namespace pellora::platform
