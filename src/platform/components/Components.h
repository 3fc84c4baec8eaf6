#pragma once

// The component library: text-file writing, the error prompt and the form services. The two
// stateful components, HistoryList and SettingsStore, have headers of their own.

#include "platform/runtime/Error.h"

#include <QString>

#include <memory>

class QAbstractButton;
class QPixmap;
class QWidget;

namespace pellora {

struct AppObject;

namespace platform {

// WriteText's fixed arguments by name.
namespace WriteTextOption {
constexpr int KeepExisting = -1;
constexpr int Replace = 0;
constexpr int LocaleEncoding = 0;
constexpr int Latin1 = 1;
constexpr int Utf8 = 2;
constexpr int LineEndsCrLf = 1;
constexpr int LineEndsAsIs = 2;
constexpr int NotFlushed = 0;
constexpr int Durable = 1;
} // namespace WriteTextOption

// Writes whole text files.
//
// WriteText(path, text, keepExisting, encoding, lineEnds, durability):
//   keepExisting  -1: never replace a file that exists; the text goes to "name (2).ext",
//                 "name (3).ext", ... instead.  0: replace it.
//   encoding       2: UTF-8 without byte-order mark.  1: Latin-1.  0: the locale's encoding.
//   lineEnds       2: line ends stay as the text holds them.  1: each LF not already preceded
//                 by CR becomes CR LF.
//   durability     1: written to a temporary file in the same folder, flushed to disk and then
//                 renamed into place, so a crash or a full disk never leaves half a file.
//                 0: the same without the flush.
// Returns the path actually written. Throws pellora::Error when the file cannot be written;
// nothing is left behind then.
class TextFileWriter {
public:
    virtual ~TextFileWriter() = default;
    virtual QString WriteText(const QString& path, const QString& text, int keepExisting, int encoding, int lineEnds,
                              int durability) = 0;
};

// Puts an error before the user and asks what to do.
class ErrorPrompt {
public:
    virtual ~ErrorPrompt() = default;
    // Shows `message` with the buttons and icon that `style` selects (21: Retry, Cancel and the
    // error icon) and the error's description beneath it; returns the button chosen
    // (4 Retry, 2 Cancel). `reserved` is unused; `logged` is set to false.
    virtual int ShowError(const Error& error, int style, int reserved, const QString& message, bool& logged) = 0;
    static constexpr int kReserved = 0;
};

// Services on forms.
class FormHelper {
public:
    virtual ~FormHelper() = default;
    // Shows the program's about box modal over `owner`.
    virtual void ShowAbout(QWidget* owner, const AppObject& app, const QString& extra, const QPixmap* picture,
                           const QString& dedication) = 0;
    // Runs the button's click exactly as a click by the user; nothing for a disabled button.
    virtual void PressButton(QAbstractButton* button) = 0;
};

// The program's components: services().textFileWriter, .errorPrompt and .formHelper, each made
// with the real one at first use.
TextFileWriter& textFileWriter();
ErrorPrompt& errorPrompt();
FormHelper& formHelper();
std::shared_ptr<TextFileWriter> CreateSystemTextFileWriter();
std::shared_ptr<ErrorPrompt> CreateSystemErrorPrompt();
std::shared_ptr<FormHelper> CreateSystemFormHelper();

} // namespace platform
} // namespace pellora
