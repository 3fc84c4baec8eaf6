#include "archive/DataFolder.h"

#include "platform/runtime/Services.h"
#include "platform/support/Shell.h"

namespace pellora::archive {

namespace {
// ShellExecute's SW_SHOWDEFAULT; an answer of 32 or less is a failure.
constexpr int kShowDefault = 10;
constexpr int kLastShellError = 32;
} // namespace

void OpenDataFolder(QWidget* owner, const QString& path) {
    platform::shell().Execute(owner, QStringLiteral("open"), path, QString(), QString(), kShowDefault,
                              [path](int result) {
                                  if (result <= kLastShellError)
                                      platform::MsgBox(path + QStringLiteral("\r\n\r\nCan't open data folder."),
                                                       platform::MsgBoxStyle::Critical);
                              });
}

} // namespace pellora::archive
