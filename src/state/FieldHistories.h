#pragma once

// The histories of the main window's three name fields: their files and their life from the
// window's load to its unload.

#include "platform/components/HistoryList.h"

#include <QString>

#include <memory>

namespace pellora::state {

inline constexpr QLatin1String FromHistoryFileName("From History.DAT");
inline constexpr QLatin1String ToHistoryFileName("To History.DAT");
inline constexpr QLatin1String ComputerHistoryFileName("Computer History.DAT");

using HistoryPtr = std::unique_ptr<platform::HistoryList>;

// The three lists where their owner keeps them (the main window's FromHistory, ToHistory and
// ComputerHistory), in that order.
struct FieldHistories {
    HistoryPtr& From;
    HistoryPtr& To;
    HistoryPtr& Computer;
};

// Creates, opens and loads each list, sender first. A missing file gives an empty list. The
// computer list ignores letter case.
void LoadHistories(const FieldHistories& lists);

// Records the names of a send that passed the input check: sender, recipient, computer.
void RecordNames(const FieldHistories& lists, const QString& from, const QString& to, const QString& computer);

// Saves and releases each list that exists, sender first; the members are empty afterwards.
void SaveHistories(const FieldHistories& lists);

} // namespace pellora::state
