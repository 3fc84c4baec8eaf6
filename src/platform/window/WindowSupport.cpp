// The support library's window services.

#include "platform/window/WindowSupport.h"

#include "platform/runtime/Error.h"

#include <QApplication>
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
#include <QThread>

#include <atomic>
#include <memory>

namespace pellora {

namespace {

// The wallpaper as read, cut to the virtual desktop; any thread may read it.
struct DesktopRead {
    QImage image; // top-left at `origin`
    QPoint origin;
};

DesktopRead ReadDesktop(const QRect& desktop) {
    const QString file = platform::DesktopWallpaperFile();
    if (file.isEmpty() || desktop.isEmpty())
        return {};
    QImageReader reader(file);
    reader.setAutoTransform(true);
    const QSize full = reader.size();
    if (full.isValid()) {
        // Decode at the size it is shown at: a large photograph then costs little.
        const QSize filled = full.scaled(desktop.size(), Qt::KeepAspectRatioByExpanding);
        reader.setScaledSize(filled);
    }
    const QImage image = reader.read();
    if (image.isNull())
        return {};
    // Centre the filled image on the desktop and cut off what lies outside it.
    const QRect source((image.width() - desktop.width()) / 2, (image.height() - desktop.height()) / 2, desktop.width(),
                       desktop.height());
    return {image.copy(source), desktop.topLeft()};
}

QRect VirtualDesktop() {
    QScreen* screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->virtualGeometry() : QRect();
}

// A read on a thread of its own: `done` is set once `read` holds its result.
struct DesktopReadAhead {
    std::atomic<bool> done = false;
    DesktopRead read;
};

struct DesktopImage {
    bool loaded = false;
    QPixmap pixmap; // scaled to the virtual desktop, top-left at `origin`
    QPoint origin;
    std::shared_ptr<DesktopReadAhead> ahead; // a read still going on
    QPointer<QWidget> waiting;               // a window painted before it ended
};

DesktopImage& Desktop() {
    static DesktopImage cache;
    return cache;
}

void Keep(DesktopImage& cache, const DesktopRead& read) {
    cache.loaded = true;
    cache.ahead.reset();
    if (!read.image.isNull()) {
        cache.pixmap = QPixmap::fromImage(read.image);
        cache.origin = read.origin;
    }
}

// The desktop as far as it is known: read now when no read was started ahead, nothing yet while
// that read goes on.
const DesktopImage& CachedDesktop() {
    DesktopImage& cache = Desktop();
    if (cache.ahead && cache.ahead->done.load(std::memory_order_acquire))
        Keep(cache, cache.ahead->read);
    if (!cache.loaded && !cache.ahead)
        Keep(cache, ReadDesktop(VirtualDesktop()));
    return cache;
}

} // namespace

void platform::ReadDesktopAhead() {
    DesktopImage& cache = Desktop();
    if (cache.loaded || cache.ahead)
        return;
    if (!platform::DesktopHasWallpaperSetting()) {
        cache.loaded = true; // the button face: no thread for nothing to read
        return;
    }
    auto ahead = std::make_shared<DesktopReadAhead>();
    cache.ahead = ahead;
    QThread* thread = QThread::create([ahead, desktop = VirtualDesktop()] {
        ahead->read = ReadDesktop(desktop);
        ahead->done.store(true, std::memory_order_release);
    });
    // Back on the window thread: a window that was painted while the read went on is painted again.
    QObject::connect(thread, &QThread::finished, qApp, [thread, ahead] {
        thread->deleteLater();
        DesktopImage& cache = Desktop();
        if (cache.ahead != ahead)
            return;
        Keep(cache, ahead->read);
        if (cache.waiting && !cache.pixmap.isNull())
            cache.waiting->update();
        cache.waiting = nullptr;
    });
    // At idle priority: the read (on GNOME, loading GIO) runs when a processor would otherwise
    // wait, and takes none from the window's start, the display server or the window manager.
    thread->start(QThread::IdlePriority);
}

void ksPaintDesktop(WindowHandle window, QPainter& painter) {
    if (window == nullptr)
        throw Error(ErrorNumber::InvalidProcedureCall, QStringLiteral("No window to paint"));
    const QRect area = window->rect();
    const DesktopImage& desktop = CachedDesktop();
    if (desktop.ahead)
        Desktop().waiting = window;
    if (desktop.pixmap.isNull()) {
        painter.fillRect(area, window->palette().color(QPalette::Button));
        return;
    }
    const QPoint offset = window->mapToGlobal(QPoint(0, 0)) - desktop.origin;
    painter.drawPixmap(area, desktop.pixmap, area.translated(offset));
}

} // namespace pellora
