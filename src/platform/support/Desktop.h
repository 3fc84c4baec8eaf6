#pragma once

#include <QString>

namespace pellora::platform {

// The image file the desktop shows as its wallpaper, read from the desktop's own settings;
// empty when there is none or it cannot be found. Called once per run.
QString DesktopWallpaperFile();

// Whether this desktop keeps a wallpaper where DesktopWallpaperFile() looks; when it does not,
// there is nothing to read.
bool DesktopHasWallpaperSetting();

} // namespace pellora::platform
