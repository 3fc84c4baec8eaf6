#pragma once

// The per-user base folders of the XDG base directory rules: $XDG_DATA_HOME and
// $XDG_CONFIG_HOME when they hold an absolute path, else ~/.local/share and ~/.config. A
// relative value is ignored, as the rules say, so that nothing lands in the current folder; so is
// a relative or missing $HOME, for which the home folder comes from the password database.

#include <QString>

namespace pellora::platform {

QString XdgDataHome();
QString XdgConfigHome();

} // namespace pellora::platform
