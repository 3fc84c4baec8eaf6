#pragma once

#include <QString>

namespace pellora {

// The program-wide values. Start-up owns the one instance and hands it to the windows that
// read or change them.
struct AppValues {
    // Full path of the data folder; empty until start-up sets it, never changed afterwards.
    QString DataPath;
    // Whether local copies get the "~$" prefix; false at program start, set from the stored
    // setting when the main window loads, changed by the settings dialog.
    bool UseTempFilePrefix = false;
};

} // namespace pellora
