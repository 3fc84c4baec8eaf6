#include "support/TestSupport.h"

#include "platform/mailslot/MailslotPath.h"
#include "platform/netbios/NetBios.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QMenu>
#include <QRegularExpression>
#include <QSettings>
#include <QTest>
#include <QTimer>

#ifdef Q_OS_WIN
#include "platform/support/Support.h"

#include <QRandomGenerator>

#include <windows.h>
#else
#include <sys/stat.h>
#endif
#include <cstdio>

namespace pellora::test {

namespace {
#ifdef Q_OS_WIN
// The keys of the test homes alive, innermost last: each stands for HKEY_CURRENT_USER while it
// is the innermost.
QStringList g_registryKeys;

// HKEY_CURRENT_USER of this process becomes the key `name` under the real one.
void OverrideCurrentUser(const QString& name) {
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    HKEY own = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, name.toStdWString().c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &own,
                        nullptr) != ERROR_SUCCESS ||
        RegOverridePredefKey(HKEY_CURRENT_USER, own) != ERROR_SUCCESS)
        qFatal("TestHome: cannot give the test a registry of its own");
    RegCloseKey(own);
}

// A registry of the test's own under `name`, whose application-data folder is `appData`.
void RedirectCurrentUser(const QString& name, const QString& appData) {
    OverrideCurrentUser(name);
    HKEY shellFolders = nullptr;
    const std::wstring folder = QDir::toNativeSeparators(appData).toStdWString();
    if (RegCreateKeyExW(HKEY_CURRENT_USER,
                        L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders", 0, nullptr, 0,
                        KEY_ALL_ACCESS, nullptr, &shellFolders, nullptr) != ERROR_SUCCESS ||
        RegSetValueExW(shellFolders, L"AppData", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                       DWORD((folder.size() + 1) * sizeof(wchar_t))) != ERROR_SUCCESS)
        qFatal("TestHome: cannot set the test's application-data folder");
    RegCloseKey(shellFolders);
    const QString seen = QDir::fromNativeSeparators(ksGetSpecialFolder(SpecialFolder::AppData));
    if (QDir::cleanPath(seen).compare(QDir::cleanPath(appData), Qt::CaseInsensitive) != 0)
        qFatal("TestHome: the application-data folder stays %s; the test stops before it touches it", qPrintable(seen));
}
#endif

// The test homes alive, innermost last.
QList<const TestHome*> g_homes;

const char* const kHomeVariables[] = {"HOME",           "XDG_DATA_HOME",  "XDG_CONFIG_HOME",
                                      "XDG_CACHE_HOME", "XDG_STATE_HOME", "XDG_RUNTIME_DIR"};
} // namespace

TestHome::TestHome() {
    for (const char* name : kHomeVariables)
        saved_.append({name, qgetenv(name)});
    const QString root = dir_.path();
    QDir(root).mkpath(QStringLiteral("home/.local/share"));
    QDir(root).mkpath(QStringLiteral("home/.config"));
    QDir(root).mkpath(QStringLiteral("home/.cache"));
    QDir(root).mkpath(QStringLiteral("runtime"));
    QFile::setPermissions(root + QStringLiteral("/runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("HOME", (root + QStringLiteral("/home")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", (root + QStringLiteral("/home/.local/share")).toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (root + QStringLiteral("/home/.config")).toLocal8Bit());
    qputenv("XDG_CACHE_HOME", (root + QStringLiteral("/home/.cache")).toLocal8Bit());
    qputenv("XDG_STATE_HOME", (root + QStringLiteral("/home/.local/state")).toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", (root + QStringLiteral("/runtime")).toLocal8Bit());
    // Qt remembers the settings folder from its first use; point it here too.
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, configHome());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, configHome());
#ifdef Q_OS_WIN
    QDir(root).mkpath(QStringLiteral("AppData"));
    registryKey_ = QStringLiteral("Software\\PelloraTests\\%1")
                       .arg(QRandomGenerator::global()->generate64(), 16, 16, QLatin1Char('0'));
    RedirectCurrentUser(registryKey_, root + QStringLiteral("/AppData"));
    g_registryKeys.append(registryKey_);
#endif
    g_homes.append(this);
}

TestHome::~TestHome() {
    g_homes.removeAll(this);
#ifdef Q_OS_WIN
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegDeleteTreeW(HKEY_CURRENT_USER, registryKey_.toStdWString().c_str());
    g_registryKeys.removeAll(registryKey_);
    if (!g_registryKeys.isEmpty())
        OverrideCurrentUser(g_registryKeys.last());
#endif
    for (const auto& [name, value] : saved_) {
        if (value.isNull())
            qunsetenv(name.constData());
        else
            qputenv(name.constData(), value);
    }
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, configHome());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, configHome());
}

QString TestHome::dataHome() const {
#ifdef Q_OS_WIN
    return dir_.path() + QStringLiteral("/AppData");
#else
    return QString::fromLocal8Bit(qgetenv("XDG_DATA_HOME"));
#endif
}
QString TestHome::configHome() const { return QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME")); }

platform::MsgBoxResult FakeMessageBoxes::Show(const QString& text, platform::MsgBoxStyle style, const QString& title,
                                              const QString& detail) {
    shown.append({text, int(style), title, detail});
    if (onShow)
        onShow();
    if (!answers.empty()) {
        const int answer = answers.front();
        answers.pop_front();
        return platform::MsgBoxResult(answer);
    }
    return platform::ButtonsOf(style) == platform::MsgBoxStyle::OKOnly ? platform::MsgBoxResult::OK
                                                                       : platform::MsgBoxResult::Cancel;
}

namespace {
class FakeMailslotFile : public platform::MailslotFile {
public:
    FakeMailslotFile(FakeMailslots& net, int limit) : net_(net), limit_(limit) { ++net_.openFiles; }
    ~FakeMailslotFile() override { --net_.openFiles; }
    bool Write(const QByteArray& message, QString* reason) override {
        if (net_.failWrite) {
            if (reason)
                *reason = net_.writeFailureReason;
            return false;
        }
        if (message.size() > limit_) {
            // As the real transport words it (platform/linux/Mailslot.cpp).
            if (reason)
                *reason = QStringLiteral("The message has %1 bytes; at most %2 fit.").arg(message.size()).arg(limit_);
            return false;
        }
        net_.delivered.append(message);
        return true;
    }

private:
    FakeMailslots& net_;
    int limit_;
};
} // namespace

std::unique_ptr<platform::MailslotFile> FakeMailslots::Open(const QString& path, QString* reason) {
    opened.append(path);
    if (onOpen)
        onOpen(path);
    if (failOpen) {
        if (reason)
            *reason = openFailureReason;
        return nullptr;
    }
    return std::make_unique<FakeMailslotFile>(*this, MaxMessageBytes(path));
}

int FakeMailslots::MaxMessageBytes(const QString& path) {
    // The data of one mailslot write in one datagram, as the real transport computes it.
    const std::optional<platform::MailslotPath> parsed = platform::ParseMailslotPath(path);
    return platform::netbios::MaxMailslotData(
        platform::netbios::SmbMailslotName(parsed ? parsed->mailslot : QStringLiteral("messngr")));
}

Fakes InstallFakes() {
    platform::ResetServices();
    Fakes f{std::make_shared<FakeMessageBoxes>(), std::make_shared<FakeMailslots>(), std::make_shared<FakeClock>(),
            std::make_shared<TerminateRecorder>(), std::make_shared<FakeFormHelper>()};
    auto& s = platform::services();
    s.messageBoxes = f.boxes;
    s.mailslots = f.mailslots;
    s.clock = f.clock;
    s.formHelper = f.formHelper;
    auto recorder = f.terminated;
    s.terminate = [recorder](int status) { recorder->statuses.append(status); };
    return f;
}

void FakeFormHelper::ShowAbout(QWidget* owner, const AppObject&, const QString&, const QPixmap*,
                               const QString& dedicationText) {
    ++aboutShown;
    if (onAbout)
        onAbout();
    aboutOwner = owner;
    dedication = dedicationText;
}

void FakeFormHelper::PressButton(QAbstractButton* button) {
    ++pressed;
    if (button != nullptr && button->isEnabled())
        button->click();
}

QByteArray ReadHexDump(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray bytes;
    static const QRegularExpression kDump(QStringLiteral("^[0-9a-f]{4}: ((?:[0-9a-f]{2} ?)+)$"));
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QRegularExpressionMatch dump = kDump.match(QString::fromLatin1(line.trimmed()));
        if (dump.hasMatch())
            bytes += QByteArray::fromHex(dump.captured(1).toLatin1());
    }
    return bytes;
}

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

void WhenMenuOpens(std::function<void(QMenu*)> act) {
    auto* poll = new QTimer;
    poll->setInterval(5);
    auto started = std::make_shared<QElapsedTimer>();
    started->start();
    QObject::connect(poll, &QTimer::timeout, poll, [poll, act, started] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (menu != nullptr && menu->isVisible()) {
            poll->stop();
            poll->deleteLater();
            act(menu);
        } else if (started->elapsed() > 5000) {
            poll->stop();
            poll->deleteLater();
        }
    });
    poll->start();
    QTimer::singleShot(5000, [] {
        if (QWidget* popup = QApplication::activePopupWidget())
            popup->close();
    });
}

int FileMode(const QString& path) {
#ifdef Q_OS_WIN
    Q_UNUSED(path);
    return -1;
#else
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return -1;
    return static_cast<int>(info.st_mode & 07777);
#endif
}

QString DataHome() { return g_homes.isEmpty() ? QString() : g_homes.last()->dataHome(); }

#ifdef Q_OS_WIN
namespace {
std::wstring SettingsKey(const QString& app) { return (QStringLiteral("Software\\Orvane\\") + app).toStdWString(); }
} // namespace

quint64 FileId(const QString& path) {
    const HANDLE file = CreateFileW(QDir::toNativeSeparators(path).toStdWString().c_str(), 0,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool ok = GetFileInformationByHandle(file, &info);
    CloseHandle(file);
    return ok ? (quint64(info.nFileIndexHigh) << 32 | info.nFileIndexLow) : 0;
}

QString SettingsLocation(const QString& app) {
    return QStringLiteral("\\HKEY_CURRENT_USER\\") + QString::fromStdWString(SettingsKey(app));
}

void EditSettings(const QByteArray& ini, const QString& app) {
    // QSettings reads the INI text as the program's Linux side would; each value then goes into
    // the registry as a person would type it.
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("edit.ini"));
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(ini) < 0)
        qFatal("EditSettings: cannot write %s", qPrintable(file));
    out.close();
    const QSettings parsed(file, QSettings::IniFormat);
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, SettingsKey(app).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        qFatal("EditSettings: cannot open the settings' key");
    for (const QString& name : parsed.allKeys()) {
        const QVariant value = parsed.value(name);
        std::wstring data;
        DWORD type = REG_SZ;
        if (value.typeId() == QMetaType::QStringList) {
            type = REG_MULTI_SZ;
            for (const QString& part : value.toStringList())
                data += part.toStdWString() + L'\0';
        } else {
            data = value.toString().toStdWString();
        }
        data += L'\0';
        if (RegSetValueExW(key, name.toStdWString().c_str(), 0, type, reinterpret_cast<const BYTE*>(data.c_str()),
                           DWORD(data.size() * sizeof(wchar_t))) != ERROR_SUCCESS)
            qFatal("EditSettings: cannot store %s", qPrintable(name));
    }
    RegCloseKey(key);
}

// Each value of the settings' key as text: "REG_SZ Ann", "REG_DWORD 2", "REG_MULTI_SZ Ann|Bob".
QMap<QString, QString> RegistryValues(const QString& app) {
    QMap<QString, QString> values;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, SettingsKey(app).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return values;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        wchar_t data[4096] = {};
        DWORD nameSize = 256, type = 0, size = sizeof(data) - sizeof(wchar_t);
        if (RegEnumValueW(key, i, name, &nameSize, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) !=
            ERROR_SUCCESS)
            break;
        QString text = QString::fromWCharArray(data, int(size / sizeof(wchar_t)));
        while (text.endsWith(QChar(u'\0')))
            text.chop(1);
        if (type == REG_DWORD)
            text = QStringLiteral("REG_DWORD %1").arg(qint32(quint32(data[0]) | quint32(data[1]) << 16));
        else if (type == REG_MULTI_SZ)
            text = QStringLiteral("REG_MULTI_SZ ") + text.replace(QChar(u'\0'), u'|');
        else
            text = (type == REG_SZ ? QStringLiteral("REG_SZ ") : QStringLiteral("type %1 ").arg(type)) + text;
        values.insert(QString::fromWCharArray(name, int(nameSize)), text);
    }
    RegCloseKey(key);
    return values;
}

QByteArray StoredSettings(const QString& app) {
    const QMap<QString, QString> values = RegistryValues(app);
    QByteArray out;
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        out += (it.key() + QStringLiteral(": ") + it.value()).toUtf8() + '\n';
    return out;
}

QVariant StoredValue(const QString& key, const QString& app) {
    const QString value = RegistryValues(app).value(key);
    if (value.startsWith(QStringLiteral("REG_DWORD ")))
        return value.mid(10).toInt();
    return value.isNull() ? QVariant() : QVariant(value.mid(value.indexOf(u' ') + 1));
}

void RemoveSettings() { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Orvane"); }

void BlockSettings() {
    RemoveSettings();
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Orvane", 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                        nullptr, &key, nullptr) != ERROR_SUCCESS)
        qFatal("BlockSettings: cannot make the company's key");
    RegCloseKey(key);
}

quint64 SettingsStamp(const QString& app) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, SettingsKey(app).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0;
    FILETIME written{};
    const bool ok = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                     nullptr, nullptr, &written) == ERROR_SUCCESS;
    RegCloseKey(key);
    Sleep(20);
    return ok ? (quint64(written.dwHighDateTime) << 32 | written.dwLowDateTime) : 0;
}

ScopedUmask::ScopedUmask(int) {}
ScopedUmask::~ScopedUmask() = default;
#else
quint64 FileId(const QString& path) {
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_ino : 0;
}

namespace {
QString CompanyFolder() { return QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME")) + QStringLiteral("/Orvane"); }
} // namespace

QString SettingsLocation(const QString& app) {
    return CompanyFolder() + QLatin1Char('/') + app + QStringLiteral(".ini");
}

void EditSettings(const QByteArray& ini, const QString& app) { WriteFile(SettingsLocation(app), ini); }

QByteArray StoredSettings(const QString& app) { return ReadFile(SettingsLocation(app)); }

QVariant StoredValue(const QString& key, const QString& app) {
    return QSettings(SettingsLocation(app), QSettings::IniFormat).value(key);
}

quint64 SettingsStamp(const QString& app) { return FileId(SettingsLocation(app)); }

void RemoveSettings() {
    if (!QFile::remove(CompanyFolder()))
        QDir(CompanyFolder()).removeRecursively();
}

void BlockSettings() {
    RemoveSettings();
    WriteFile(CompanyFolder(), "in the way");
}

ScopedUmask::ScopedUmask(int mask) : saved_(static_cast<int>(::umask(static_cast<mode_t>(mask)))) {}
ScopedUmask::~ScopedUmask() { ::umask(static_cast<mode_t>(saved_)); }
#endif

int RunTests(QObject& testObject, int argc, char** argv) {
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));
    // Asked for other loggers, or for a list instead of a run: exactly what was asked.
    static const QStringList kOwnOutput = {
        QStringLiteral("-o"),         QStringLiteral("-txt"),      QStringLiteral("-csv"),
        QStringLiteral("-xml"),       QStringLiteral("-lightxml"), QStringLiteral("-junitxml"),
        QStringLiteral("-xunitxml"),  QStringLiteral("-teamcity"), QStringLiteral("-tap"),
        QStringLiteral("-functions"), QStringLiteral("-datatags"), QStringLiteral("-help"),
        QStringLiteral("--help")};
    for (const QString& arg : std::as_const(args)) {
        if (kOwnOutput.contains(arg))
            return QTest::qExec(&testObject, args);
    }

    // The usual plain text on standard output, and the same in a file to count the skips.
    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "RunTests: no temporary folder for the test log\n");
        return 1;
    }
    const QString log = dir.filePath(QStringLiteral("log.txt"));
#ifdef Q_OS_WIN
    // Qt Test on Windows sends the plain text meant for standard output to the debugger
    // (OutputDebugString) when standard error is no console, as under CTest: print the file.
    args << QStringLiteral("-o") << log + QStringLiteral(",txt");
    const int status = QTest::qExec(&testObject, args);
    const QByteArray text = ReadFile(log);
    std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stdout);
    std::fflush(stdout);
#else
    args << QStringLiteral("-o") << QStringLiteral("-,txt") << QStringLiteral("-o") << log + QStringLiteral(",txt");
    const int status = QTest::qExec(&testObject, args);
#endif
    if (status != 0)
        return status;
    static const QRegularExpression kTotals(QStringLiteral("^Totals: \\d+ passed, \\d+ failed, (\\d+) skipped"),
                                            QRegularExpression::MultilineOption);
    const QRegularExpressionMatch totals = kTotals.match(QString::fromUtf8(ReadFile(log)));
    if (!totals.hasMatch()) {
        std::fprintf(stderr, "RunTests: the test log has no totals line\n");
        return 1;
    }
    const int skipped = totals.captured(1).toInt();
    if (skipped > 0) {
        std::fprintf(stderr, "%d test function(s) or data row(s) skipped: reported as not run (exit status 77)\n",
                     skipped);
        return 77;
    }
    return 0;
}

} // namespace pellora::test
