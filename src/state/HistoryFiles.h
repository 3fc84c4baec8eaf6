#pragma once

#include <QString>

namespace pellora::state {

// The history files of the three name fields of the main window.
inline constexpr QLatin1String FromHistoryFileName("From History.DAT");
inline constexpr QLatin1String ToHistoryFileName("To History.DAT");
inline constexpr QLatin1String ComputerHistoryFileName("Computer History.DAT");

} // namespace pellora::state
