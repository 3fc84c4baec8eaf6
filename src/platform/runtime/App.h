#pragma once

#include <QString>

namespace pellora {

// The application object: who the program is. It is handed to the components that keep
// data on the program's behalf (histories, settings, the about box) as the owner of that data.
struct AppObject {
    QString Title; // "Kestrine - Pellora"
    int Major = 0;
    int Minor = 0;
    int Revision = 0;
    QString FileDescription; // "Kestrine - Pellora 1.02"
    QString CompanyName;     // "Orvane"
    QString InternalName;    // "Pellora"

    // "1.02.0014": major, two-digit minor, four-digit revision.
    QString VersionText() const;
    // "Orvane/Pellora": the folder, within the user's application-data folder, of the program's
    // data (histories, local copies).
    QString DataFolderName() const;
};

// The program's one application object.
const AppObject& App();

} // namespace pellora
