// The program's console on a Unix system: arguments are UTF-8 bytes, the streams file 0, 1 and 2.

#include "platform/support/Console.h"

#include "platform/runtime/Error.h"

#include <QStringDecoder>

#include <cerrno>
#include <unistd.h>

namespace pellora::platform {

namespace {

void WriteAll(int fd, const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, std::size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return; // a closed stream: nothing more can be told there
        done += n;
    }
}

} // namespace

std::optional<QStringList> ProgramArguments(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
        QString argument = utf8(QByteArrayView(argv[i]));
        if (utf8.hasError())
            return std::nullopt;
        arguments << argument;
    }
    return arguments;
}

void UseParentConsole() {}

void WriteStandardOutput(const QString& text) { WriteAll(STDOUT_FILENO, text.toUtf8()); }
void WriteStandardError(const QString& text) { WriteAll(STDERR_FILENO, text.toUtf8()); }

QByteArray ReadStandardInput() {
    QByteArray bytes;
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            if (errno == EBADF)
                return bytes; // no standard input at all
            throw ErrorFromErrno(errno, QStringLiteral("read"), QStringLiteral("standard input"));
        }
        if (n == 0)
            return bytes;
        bytes.append(buffer, n);
    }
}

} // namespace pellora::platform
