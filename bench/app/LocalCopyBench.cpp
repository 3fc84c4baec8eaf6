// How long the local copy of a delivered message takes to write, as the program writes it after
// a send (archive::SaveLocalCopy into a data folder).
//
// pellora_bench_localcopy [--runs N] [--cold-runs M] [--dir FOLDER]
//   cold: M fresh processes, each timing its one and only write (what a send pays);
//   warm: N writes in a row in this process.
// Prints one "RESULT name value" line per figure (milliseconds, medians) for scripts/bench.
#include "archive/LocalCopy.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

using Clock = std::chrono::steady_clock;

namespace {

// A message of the size people send: a few lines.
const QString kMessage = QStringLiteral("Hello Bob,\r\nthe meeting moves to room 4 at three.\r\nBring the printouts, "
                                        "please; the projector there works again.\r\nAnn");

double WriteOnce(const QString& dir, const QDateTime& sent) {
    const auto start = Clock::now();
    pellora::archive::SaveLocalCopy(dir, false, QStringLiteral("Ann"), QStringLiteral("Bob"),
                                    QStringLiteral("10.213.7.7"), sent, kMessage,
                                    [](const QString&, const pellora::Error&) { return false; });
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Median(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// Runs this program with --once in a child and reads the figure it prints.
double ColdWrite(const QString& self, const QString& dir, int index) {
    QProcess child;
    child.start(self, {QStringLiteral("--once"), dir, QString::number(index)});
    if (!child.waitForFinished(30000) || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
        return -1;
    bool ok = false;
    const double ms = child.readAllStandardOutput().trimmed().toDouble(&ok);
    return ok ? ms : -1;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QDateTime base(QDate(2026, 1, 1), QTime(0, 0, 1));
    if (args.size() == 4 && args[1] == u"--once") {
        // One write, the first of this process, at base + index seconds (a new file each time).
        // In the C locale's notation whatever the user's locale, as the parent reads it.
        const double ms = WriteOnce(args[2], base.addSecs(args[3].toInt()));
        std::printf("%s\n", QByteArray::number(ms, 'f', 4).constData());
        return 0;
    }
    int runs = 200, coldRuns = 20;
    QString folder;
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == u"--runs")
            runs = std::clamp(args[i + 1].toInt(), 1, 10000);
        else if (args[i] == u"--cold-runs")
            coldRuns = std::clamp(args[i + 1].toInt(), 1, 1000);
        else if (args[i] == u"--dir")
            folder = args[i + 1];
        else {
            std::fprintf(stderr, "unknown option %s\n", qPrintable(args[i]));
            return 64;
        }
    }
    QTemporaryDir temp(folder.isEmpty() ? QDir::tempPath() + QStringLiteral("/pellora-localcopy-XXXXXX")
                                        : folder + QStringLiteral("/pellora-localcopy-XXXXXX"));
    if (!temp.isValid()) {
        std::fprintf(stderr, "cannot make a temporary folder\n");
        return 1;
    }
    const QString self = QCoreApplication::applicationFilePath();
    std::vector<double> cold;
    int failures = 0;
    for (int i = 0; i < coldRuns; ++i) {
        const double ms = ColdWrite(self, temp.path(), i);
        if (ms < 0)
            ++failures;
        else
            cold.push_back(ms);
    }
    std::vector<double> warm;
    for (int i = 0; i < runs; ++i)
        warm.push_back(WriteOnce(temp.path(), base.addSecs(100000 + i)));
    const int files = static_cast<int>(QDir(temp.path()).entryList(QDir::Files).size());
    std::printf("RESULT localcopy_cold_ms %.4f\n", Median(cold));
    std::printf("RESULT localcopy_warm_ms %.4f\n", Median(warm));
    std::printf("RESULT localcopy_files %d\n", files);
    std::printf("RESULT localcopy_failures %d\n", failures + (files != coldRuns + runs ? 1 : 0));
    return 0;
}
