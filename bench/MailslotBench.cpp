// Benchmark of the Linux mailslot transport, run inside the sender namespace of the
// network test bed (bench/mailslot-bench.sh does that):
//  (a) resolving a name that nmbd answers, and failing on an unknown name, each in a process
//      of its own beside Samba's nmblookup on the same network: the two are started one
//      after the other in pairs (A B, B A, ...), and the median of the pairs' ratios is the
//      figure; the open inside this process is timed as well, as a diagnostic;
//  (b) building the packet and the datagram and sending it, for a 424-byte message.
//
// pellora_bench_mailslot --computer PC7 --unknown NOSUCHPC [--runs 40] [--unknown-runs 7]
//                        [--send-runs 2000] [--smb-conf PATH] [--nmblookup PATH]
// pellora_bench_mailslot --resolve-once NAME [--smb-conf PATH]   (one open, in a process of its own)
//
// Prints the figures, then "RESULT name value" lines for scripts/bench.
#include "platform/netbios/NetBios.h"
#include "platform/posix/Mailslot.h"
#include "sending/Packet.h"

#include <QCoreApplication>
#include <QStringList>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

using namespace pellora;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

struct Stats {
    double median = 0, min = 0, max = 0, p90 = 0;
    int failures = 0;
};

Stats Summarize(std::vector<double> v, int failures) {
    Stats s;
    s.failures = failures;
    if (v.empty())
        return s;
    std::sort(v.begin(), v.end());
    s.min = v.front();
    s.max = v.back();
    s.median = v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
    s.p90 = v[std::min(v.size() - 1, v.size() * 9 / 10)];
    return s;
}

// Runs `argv` with its output thrown away; returns the wall time and whether it exited 0.
std::pair<double, bool> TimeProcess(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const auto start = Clock::now();
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return {0, false};
    int status = 0;
    waitpid(pid, &status, 0);
    return {Ms(Clock::now() - start), WIFEXITED(status) && WEXITSTATUS(status) == 0};
}

void Print(const char* label, const Stats& s) {
    std::printf("  %-44s median %8.3f ms  min %8.3f  p90 %8.3f  max %8.3f%s\n", label, s.median, s.min, s.p90, s.max,
                s.failures ? qPrintable(QStringLiteral("  (%1 unexpected outcomes)").arg(s.failures)) : "");
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QString computer = QStringLiteral("PC7"), unknown = QStringLiteral("NOSUCHPC"), resolveOnce;
    QString nmblookup = QStringLiteral("nmblookup");
    int runs = 40, unknownRuns = 7, sendRuns = 2000;
    platform::NetBiosMailslotOptions options;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        const QString& key = args[i];
        const QString& value = args[i + 1];
        if (key == u"--computer")
            computer = value;
        else if (key == u"--unknown")
            unknown = value;
        else if (key == u"--runs")
            runs = value.toInt();
        else if (key == u"--unknown-runs")
            unknownRuns = value.toInt();
        else if (key == u"--send-runs")
            sendRuns = value.toInt();
        else if (key == u"--smb-conf")
            options.smbConfPath = value;
        else if (key == u"--nmblookup")
            nmblookup = value;
        else if (key == u"--resolve-once")
            resolveOnce = value;
        else {
            std::fprintf(stderr, "unknown option %s\n", qPrintable(key));
            return 64;
        }
    }
    if (!resolveOnce.isEmpty()) {
        platform::NetBiosMailslots mailslots(options);
        return mailslots.Open(sending::MailslotPath(resolveOnce)) ? 0 : 1;
    }

    platform::NetBiosMailslots mailslots(options);
    const std::string self = QCoreApplication::applicationFilePath().toStdString();
    const std::string conf = options.smbConfPath.toStdString();
    auto openOnce = [&](const QString& name) {
        const auto start = Clock::now();
        const bool ok = mailslots.Open(sending::MailslotPath(name)) != nullptr;
        return std::pair<double, bool>{Ms(Clock::now() - start), ok};
    };
    auto nmblookupOnce = [&](const QString& name) {
        return TimeProcess({nmblookup.toStdString(), "-s", conf, name.toStdString()});
    };
    auto selfOnce = [&](const QString& name) {
        return TimeProcess({self, "--resolve-once", name.toStdString(), "--smb-conf", conf});
    };
    auto processBaseline = [&] { return TimeProcess({nmblookup.toStdString(), "--version"}); };
    QStringList results; // "name value", printed as RESULT lines at the end
    auto printResults = [&results] {
        for (const QString& r : std::as_const(results))
            std::printf("RESULT %s\n", qPrintable(r));
    };

    std::printf("(a) resolution on the test bed, %d pairs (unknown name: %d pairs), each pair in turn\n", runs,
                unknownRuns);
    auto record = [](std::pair<double, bool> r, bool want, std::vector<double>& times, int& failures) {
        times.push_back(r.first);
        if (r.second != want)
            ++failures;
    };
    // Pellora's resolver in a process of its own beside nmblookup: A B, B A, ... The ratio of
    // each pair is taken only when both ended as expected.
    auto pairs = [&](const QString& name, bool found, int count, std::vector<double>& oursT, int& oursF,
                     std::vector<double>& theirsT, int& theirsF, std::vector<double>& ratios) {
        for (int i = 0; i < count; ++i) {
            std::pair<double, bool> ours, theirs;
            if (i % 2 == 0) {
                ours = selfOnce(name);
                theirs = nmblookupOnce(name);
            } else {
                theirs = nmblookupOnce(name);
                ours = selfOnce(name);
            }
            record(ours, found, oursT, oursF);
            record(theirs, found, theirsT, theirsF);
            if (ours.second == found && theirs.second == found && theirs.first > 0)
                ratios.push_back(ours.first / theirs.first);
        }
    };
    std::vector<double> oursProcessT, theirsT, ratios, unknownProcessT, theirsUnknownT, unknownRatios;
    int oursProcessF = 0, theirsF = 0, unknownProcessF = 0, theirsUnknownF = 0;
    pairs(computer, true, runs, oursProcessT, oursProcessF, theirsT, theirsF, ratios);
    pairs(unknown, false, unknownRuns, unknownProcessT, unknownProcessF, theirsUnknownT, theirsUnknownF, unknownRatios);
    // Diagnostics: the open inside this process (no process start, the library already
    // loaded), and how long nmblookup takes just to start and end.
    std::vector<double> oursT, baselineT, oursUnknownT;
    int oursF = 0, baselineF = 0, oursUnknownF = 0;
    for (int i = 0; i < runs; ++i) {
        record(openOnce(computer), true, oursT, oursF);
        record(processBaseline(), true, baselineT, baselineF);
    }
    for (int i = 0; i < std::min(unknownRuns, 5); ++i)
        record(openOnce(unknown), false, oursUnknownT, oursUnknownF);

    const Stats ours = Summarize(oursT, oursF), oursProcess = Summarize(oursProcessT, oursProcessF),
                theirs = Summarize(theirsT, theirsF), baseline = Summarize(baselineT, baselineF),
                oursUnknown = Summarize(oursUnknownT, oursUnknownF),
                unknownProcess = Summarize(unknownProcessT, unknownProcessF),
                theirsUnknown = Summarize(theirsUnknownT, theirsUnknownF);
    Print(qPrintable(QStringLiteral("Pellora open %1 (a process of its own)").arg(computer)), oursProcess);
    Print(qPrintable(QStringLiteral("nmblookup %1").arg(computer)), theirs);
    Print(qPrintable(QStringLiteral("Pellora open %1 (fails, a process of its own)").arg(unknown)), unknownProcess);
    Print(qPrintable(QStringLiteral("nmblookup %1 (fails)").arg(unknown)), theirsUnknown);
    Print(qPrintable(QStringLiteral("diagnostic: Pellora open %1 (in process)").arg(computer)), ours);
    Print(qPrintable(QStringLiteral("diagnostic: Pellora open %1 (fails, in process)").arg(unknown)), oursUnknown);
    Print("diagnostic: nmblookup --version (its process start alone)", baseline);
    const double ratio = Summarize(ratios, 0).median, unknownRatio = Summarize(unknownRatios, 0).median;
    std::printf("  median of the %zu pair ratios, name answered by nmbd, Pellora/nmblookup: %.3f\n", ratios.size(),
                ratio);
    std::printf("  median of the %zu pair ratios, unknown name, Pellora/nmblookup: %.3f\n", unknownRatios.size(),
                unknownRatio);
    results.push_back(QStringLiteral("resolve_pair_ratio %1").arg(ratio, 0, 'f', 3));
    results.push_back(QStringLiteral("resolve_pairs %1").arg(ratios.size()));
    results.push_back(QStringLiteral("resolve_process_ms %1").arg(oursProcess.median, 0, 'f', 2));
    results.push_back(QStringLiteral("resolve_nmblookup_ms %1").arg(theirs.median, 0, 'f', 2));
    results.push_back(QStringLiteral("resolve_failures %1").arg(oursProcessF + theirsF));
    results.push_back(QStringLiteral("resolve_in_process_ms %1").arg(ours.median, 0, 'f', 2));
    results.push_back(QStringLiteral("resolve_in_process_runs %1").arg(oursT.size()));
    results.push_back(QStringLiteral("unknown_process_ms %1").arg(unknownProcess.median, 0, 'f', 1));
    results.push_back(QStringLiteral("unknown_nmblookup_ms %1").arg(theirsUnknown.median, 0, 'f', 1));
    results.push_back(QStringLiteral("unknown_pair_ratio %1").arg(unknownRatio, 0, 'f', 3));
    results.push_back(QStringLiteral("unknown_pairs %1").arg(unknownRatios.size()));
    results.push_back(QStringLiteral("unknown_failures %1").arg(unknownProcessF + theirsUnknownF));
    results.push_back(QStringLiteral("unknown_in_process_ms %1").arg(oursUnknown.median, 0, 'f', 1));
    results.push_back(QStringLiteral("unknown_in_process_runs %1").arg(oursUnknownT.size()));

    std::printf("(b) 424-byte message to %s, %d runs\n", qPrintable(computer), sendRuns);
    auto file = mailslots.Open(sending::MailslotPath(computer));
    if (!file) {
        std::printf("  cannot open %s: %s\n", qPrintable(computer), qPrintable(mailslots.lastError()));
        printResults();
        return 1;
    }
    const QString from = QStringLiteral("Ann"), to = QStringLiteral("Bob");
    const QString message(424 - 4 - 4 - 1, u'x');
    std::vector<double> build, buildAndSend;
    int sendFailures = 0;
    platform::netbios::DatagramHeader header;
    header.sourceName = platform::netbios::MakeName(QStringLiteral("LINUXBOX"));
    header.destinationName = platform::netbios::MakeName(computer);
    for (int i = 0; i < sendRuns; ++i) {
        auto start = Clock::now();
        const QByteArray packet = sending::BuildMessengerPacket(from, to, message);
        header.id = static_cast<std::uint16_t>(i);
        const auto datagram = platform::netbios::BuildMailslotDatagram(header, "\\MAILSLOT\\MESSNGR", packet);
        build.push_back(Ms(Clock::now() - start));
        if (!datagram || packet.size() != 424)
            ++sendFailures;
        start = Clock::now();
        const QByteArray packet2 = sending::BuildMessengerPacket(from, to, message);
        QString reason;
        if (!file->Write(packet2, &reason))
            ++sendFailures;
        buildAndSend.push_back(Ms(Clock::now() - start));
        if (i % 50 == 49)
            usleep(2000); // let the receiver drain its socket now and then
    }
    Print("packet + datagram build (no send)", Summarize(build, 0));
    Print("packet + datagram build + send (Write)", Summarize(buildAndSend, sendFailures));
    printResults();
    return 0;
}
