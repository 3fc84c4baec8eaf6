#pragma once

// The component library: text-file writing and the error prompt. The two stateful components,
// HistoryList and SettingsStore, have headers of their own; the form services are the window
// side's (window/FormHelper.h).

#include "platform/runtime/Error.h"
#include "platform/runtime/MsgBox.h"

#include <QString>

#include <memory>

namespace pellora::platform {

// WriteText's arguments, by the numbers the component library gives them.
enum class Existing : int { Keep = -1, Replace = 0 };
enum class Encoding : int { Locale = 0, Latin1 = 1, Utf8 = 2 };
enum class LineEnds : int { CrLf = 1, AsIs = 2 };
enum class Durability : int { NotFlushed = 0, Durable = 1 };

// Writes whole text files.
//
// WriteText(path, text, existing, encoding, lineEnds, durability):
//   existing    Keep (-1): never replace a file that exists; the text goes to "name (2).ext",
//               "name (3).ext", ... instead.  Replace (0): replace it.
//   encoding    Utf8 (2): UTF-8 without byte-order mark.  Latin1 (1).  Locale (0): the locale's
//               encoding.
//   lineEnds    AsIs (2): line ends stay as the text holds them.  CrLf (1): each LF not already
//               preceded by CR becomes CR LF.
//   durability  Durable (1): written to a temporary file in the same folder, flushed to disk and
//               then renamed into place, so a crash or a full disk never leaves half a file.
//               NotFlushed (0): the same without the flush.
// Returns the path actually written. Throws pellora::Error when the file cannot be written;
// nothing is left behind then.
class TextFileWriter {
public:
    virtual ~TextFileWriter() = default;
    virtual QString WriteText(const QString& path, const QString& text, Existing existing, Encoding encoding,
                              LineEnds lineEnds, Durability durability) = 0;
};

// Puts an error before the user and asks what to do.
class ErrorPrompt {
public:
    virtual ~ErrorPrompt() = default;
    // Shows `message` with the buttons and icon that `style` selects (RetryCancel | Critical: Retry,
    // Cancel and the error icon) and the error's description beneath it; returns the button
    // chosen. `reserved` is unused; `logged` is set to false.
    virtual MsgBoxResult ShowError(const Error& error, MsgBoxStyle style, int reserved, const QString& message,
                                   bool& logged) = 0;
    static constexpr int kReserved = 0;
};

// The program's components: services().textFileWriter and the error prompt, each made with the
// real one at first use.
TextFileWriter& textFileWriter();
ErrorPrompt& errorPrompt();
std::shared_ptr<TextFileWriter> CreateSystemTextFileWriter();
std::shared_ptr<ErrorPrompt> CreateSystemErrorPrompt();

} // namespace pellora::platform
