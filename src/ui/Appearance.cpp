#include "ui/Appearance.h"

#include "PelloraVersion.h"
#include "platform/window/WindowServices.h"

#include <QApplication>

namespace pellora::ui {

void PrepareApplication(QApplication& app) {
    QCoreApplication::setOrganizationName(QStringLiteral(PELLORA_COMPANY));
    QCoreApplication::setApplicationName(QStringLiteral(PELLORA_INTERNAL_NAME));
    QCoreApplication::setApplicationVersion(QStringLiteral("%1.%2.%3.%4")
                                                .arg(PELLORA_VERSION_MAJOR)
                                                .arg(PELLORA_VERSION_MINOR)
                                                .arg(PELLORA_VERSION_PATCH)
                                                .arg(PELLORA_VERSION_REVISION));
    QGuiApplication::setDesktopFileName(QStringLiteral(PELLORA_APP_ID));
    // The program's messages, the top-level error report's included, go to the real boxes.
    platform::UseWindowServices();
    // Tahoma's nearest relatives on systems without it: DejaVu Sans Condensed shares its
    // narrow, open shapes (both descend from Verdana's design).
    QFont::insertSubstitutions(QStringLiteral("Tahoma"),
                               {QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("Liberation Sans Narrow"),
                                QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans"),
                                QStringLiteral("Verdana")});
    Q_UNUSED(app);
}

QFont FormFont() {
    QFont font(QStringLiteral("Tahoma"), 9, QFont::Normal, false);
    font.setStyleHint(QFont::SansSerif);
    // Text as Windows draws it in a form: no kerning and no ligatures. Scripts that cannot be
    // written without OpenType shaping (Arabic, the Indic scripts, ...) are still shaped. Latin
    // text then needs no shaping engine at all, which spares start-up time and memory.
    font.setKerning(false);
    font.setStyleStrategy(QFont::PreferNoShaping);
    return font;
}

FormFontScope::FormFontScope(const QFont& formFont) : previous_(QApplication::font()) {
    QApplication::setFont(formFont);
}

FormFontScope::~FormFontScope() { QApplication::setFont(previous_); }

} // namespace pellora::ui
