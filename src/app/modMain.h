#pragma once

#include "state/AppValues.h"

#include <QString>

namespace pellora {

class frmMain;
struct StartTexts;

// Start-up and the program-wide values.
namespace modMain {

// The program-wide values (the data folder, the "~$" prefix of local copies), handed to the
// windows that use them.
extern AppValues Values;
// The main window while it exists.
extern frmMain* MainForm;

// The program's entry: prepares the process and the data folder and shows the main window, its
// fields filled with `texts` where given. Returns false when there is no data folder and so no
// window.
bool Main(const StartTexts& texts);
bool Main(); // with no texts given

// Works out the data folder and the settings folder, checks them along their whole way and
// creates what is missing (platform::CheckProgramFolder). Returns the data folder's full path,
// or empty text after telling the user, with the folder's path, that the data folder ("Can't
// create or open data folder.") or the settings folder ("Can't create or open settings
// folder.") cannot be created or opened: also when a folder on the way belongs to another user
// or is open to others (that folder's path is shown then). The program's own folders that are
// open to group or others are made private, and the program's files in them too.
QString PrepareDataFolder();

} // namespace modMain
} // namespace pellora
