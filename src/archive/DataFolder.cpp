#include "archive/DataFolder.h"

#include "platform/support/Shell.h"

#include <utility>

namespace pellora::archive {

namespace {
// ShellExecute's SW_SHOWDEFAULT; an answer of 32 or less is a failure.
constexpr int kShowDefault = 10;
constexpr int kLastShellError = 32;
} // namespace

void OpenDataFolder(quintptr owner, const QString& path, std::function<void(const QString& text)> tellFailure) {
    platform::shell().Execute(owner, QStringLiteral("open"), path, QString(), QString(), kShowDefault,
                              [path, tell = std::move(tellFailure)](int result) {
                                  if (result <= kLastShellError)
                                      tell(path + QStringLiteral("\r\n\r\nCan't open data folder."));
                              });
}

} // namespace pellora::archive
