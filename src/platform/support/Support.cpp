// The support library's services that are the same on every platform.

#include "platform/support/Support.h"

#include "platform/runtime/Error.h"
#include "platform/runtime/Services.h"
#include "platform/support/PrivateFiles.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QImageReader>
#include <QLineEdit>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScreen>
#include <QWidget>

namespace pellora {

namespace {

// The program's icons, compiled in as XPM images: Qt reads them from memory with its built-in
// reader, so showing the icon needs no image file, decompression or decoder library at start.
// The same pictures are installed as PNG files for the desktop.
#include "A_MAIN/16.xpm"
#include "A_MAIN/32.xpm"

struct IconResource {
    const char* name;
    const char* const* small;
    const char* const* large;
};

constexpr IconResource kIconResources[] = {{"A_MAIN", a_main_16, a_main_32}};

QIcon ResourceIcon(const QString& resourceName) {
    for (const IconResource& resource : kIconResources) {
        if (resourceName == QLatin1String(resource.name)) {
            QIcon icon;
            icon.addPixmap(QPixmap(resource.small));
            icon.addPixmap(QPixmap(resource.large));
            return icon;
        }
    }
    throw Error(ErrorNumber::FileNotFound, QStringLiteral("Icon resource %1 not found").arg(resourceName));
}

} // namespace

WindowHandle ksGetThunderMainHandle() { return nullptr; }

void ksSetWindowResIconAll(WindowHandle window, const QString& resourceName) {
    const QIcon icon = ResourceIcon(resourceName);
    if (window == nullptr)
        QApplication::setWindowIcon(icon);
    else
        window->setWindowIcon(icon);
}

QString ksBuildFileName(const QString& folder, const QString& name) {
    QString relative = name;
    relative.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (folder.isEmpty())
        return QDir::toNativeSeparators(relative);
    QString base = QDir::fromNativeSeparators(folder);
    while (base.size() > 1 && base.endsWith(QLatin1Char('/')))
        base.chop(1);
    while (relative.startsWith(QLatin1Char('/')))
        relative.remove(0, 1);
    if (base == QLatin1String("/"))
        return QDir::toNativeSeparators(base + relative);
    return QDir::toNativeSeparators(base + QLatin1Char('/') + relative);
}

bool ksCreateComplexDirectory(const QString& path) {
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    if (info.exists())
        return info.isDir();
    // The data folder holds the user's messages: what is created here is private.
    return platform::MakePrivatePath(path);
}

void ksCenterFormEx(WindowHandle window) {
    if (window == nullptr)
        throw Error(ErrorNumber::InvalidProcedureCall, QStringLiteral("No window to centre"));
    QScreen* screen = window->screen() != nullptr ? window->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return;
    const QRect area = screen->availableGeometry();
    const QSize size = window->frameGeometry().size().expandedTo(window->size());
    window->move(area.x() + (area.width() - size.width()) / 2, area.y() + (area.height() - size.height()) / 2);
}

void ksHighlightText(WindowHandle textBox) {
    if (auto* line = qobject_cast<QLineEdit*>(textBox)) {
        line->selectAll();
        return;
    }
    if (auto* plain = qobject_cast<QPlainTextEdit*>(textBox)) {
        plain->selectAll();
        return;
    }
    throw Error(ErrorNumber::InvalidProcedureCall, QStringLiteral("Not a text box"));
}

QByteArray ksAnsiToOem(const QString& text) {
    const auto& convert = platform::services().ansiToOem;
    return convert ? convert(text) : platform::SystemAnsiToOem(text);
}

void ksUnloadForm(WindowHandle form) {
    if (form == nullptr)
        throw Error(ErrorNumber::InvalidProcedureCall, QStringLiteral("No form to unload"));
    QPointer<QWidget> target(form);
    QMetaObject::invokeMethod(
        form,
        [target] {
            if (target)
                target->close();
        },
        Qt::QueuedConnection);
}

} // namespace pellora

// ---------------------------------------------------------------------------------------------
// The desktop seen through the window.

#include "platform/support/Desktop.h"

#include <QPainter>
#include <QPalette>
#include <QPixmap>

namespace pellora {

namespace {

struct DesktopImage {
    bool loaded = false;
    QPixmap pixmap; // scaled to the virtual desktop, top-left at `origin`
    QPoint origin;
};

DesktopImage& CachedDesktop() {
    static DesktopImage cache;
    if (cache.loaded)
        return cache;
    cache.loaded = true;
    const QString file = platform::DesktopWallpaperFile();
    QScreen* screen = QGuiApplication::primaryScreen();
    if (file.isEmpty() || screen == nullptr)
        return cache;
    const QRect desktop = screen->virtualGeometry();
    QImageReader reader(file);
    reader.setAutoTransform(true);
    const QSize full = reader.size();
    if (full.isValid() && !desktop.isEmpty()) {
        // Decode at the size it is shown at: a large photograph then costs little.
        const QSize filled = full.scaled(desktop.size(), Qt::KeepAspectRatioByExpanding);
        reader.setScaledSize(filled);
    }
    const QImage image = reader.read();
    if (image.isNull())
        return cache;
    // Centre the filled image on the desktop and cut off what lies outside it.
    const QRect source((image.width() - desktop.width()) / 2, (image.height() - desktop.height()) / 2, desktop.width(),
                       desktop.height());
    cache.pixmap = QPixmap::fromImage(image.copy(source));
    cache.origin = desktop.topLeft();
    return cache;
}

} // namespace

void ksPaintDesktop(WindowHandle window, QPainter& painter) {
    if (window == nullptr)
        throw Error(ErrorNumber::InvalidProcedureCall, QStringLiteral("No window to paint"));
    const QRect area = window->rect();
    const DesktopImage& desktop = CachedDesktop();
    if (desktop.pixmap.isNull()) {
        painter.fillRect(area, window->palette().color(QPalette::Button));
        return;
    }
    const QPoint offset = window->mapToGlobal(QPoint(0, 0)) - desktop.origin;
    painter.drawPixmap(area, desktop.pixmap, area.translated(offset));
}

} // namespace pellora
