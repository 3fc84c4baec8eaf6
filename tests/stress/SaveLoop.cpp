// Saves settings, histories and local copies through the program's own code, over and over,
// so that a test can kill it at any moment; and checks what such a run left behind.
//
//   pellora_save_loop save TAG ROUNDS [--no-copy] [--start-file PATH]
//       ROUNDS times: opens the main window (which loads histories and settings), types
//       "TAG-n from", "TAG-n to", "TAG-n pc", saves a local copy whose text ends in "end TAG-n",
//       and closes the window (which stores settings, then histories). Prints "round n" before
//       each round. With --start-file, waits (at most 10 s) until PATH exists before starting.
//   pellora_save_loop kill-loop KILLS SECONDS
//       Up to KILLS times within SECONDS: forks a child that saves round after round (as
//       "save" does, with a new tag each time), kills it with SIGKILL after a random 0-250 ms and
//       checks the files (as "check" does). Prints the counts; exit status 1 at the first check
//       that fails. The start-up happens once, so that many kills fit into a short time.
//   pellora_save_loop check [--tags A,B]
//       Reads every file as the next run would and prints one line per problem; removes the
//       local copies it has checked. Exit status 0 when everything held, 1 otherwise. Without
//       --tags, one writer is assumed and the generations must follow each other.
// HOME and the XDG folders come from the environment.

#include "app/modMain.h"
#include "archive/LocalCopy.h"
#include "platform/components/HistoryList.h"
#include "platform/components/SettingsStore.h"
#include "platform/runtime/App.h"
#include "platform/runtime/Error.h"
#include "platform/runtime/Services.h"
#include "ui/Appearance.h"
#include "ui/frmMain.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSettings>
#include <QThread>

#include <QRandomGenerator>

#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>

#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace pellora;

namespace {

const QString kFiller = QString(16 * 1024, u'x');

QString Body(const QString& gen) { return gen + QStringLiteral("\r\n") + kFiller + QStringLiteral("\r\nend ") + gen; }

// Rounds started by the saving child, seen by the parent that kills it.
int* roundsStarted = nullptr;

int Save(const QString& tag, int rounds, bool copies, const QString& startFile) {
    if (!startFile.isEmpty()) {
        QElapsedTimer waited;
        waited.start();
        while (!QFileInfo::exists(startFile)) {
            if (waited.elapsed() > 10000) {
                std::fprintf(stderr, "the start file never appeared\n");
                return 2;
            }
            QThread::usleep(200);
        }
    }
    modMain::Values.DataPath = modMain::PrepareDataFolder();
    if (modMain::Values.DataPath.isEmpty())
        return 2;
    for (int n = 1; n <= rounds; ++n) {
        std::printf("round %d\n", n);
        std::fflush(stdout);
        if (roundsStarted)
            __atomic_add_fetch(roundsStarted, 1, __ATOMIC_SEQ_CST);
        const QString gen = QStringLiteral("%1-%2").arg(tag).arg(n);
        auto form = std::make_unique<frmMain>(modMain::Values);
        form->Load();
        form->txtFrom->setText(gen + QStringLiteral(" from"));
        form->txtTo->setText(gen + QStringLiteral(" to"));
        form->txtComputer->setText(gen + QStringLiteral(" pc"));
        form->FromHistory->Add(form->txtFrom->text());
        form->ToHistory->Add(form->txtTo->text());
        form->ComputerHistory->Add(form->txtComputer->text());
        if (copies)
            archive::SaveLocalCopy(modMain::Values.DataPath, false, form->txtFrom->text(), form->txtTo->text(),
                                   form->txtComputer->text(), QDateTime::currentDateTime(), Body(gen),
                                   [](const QString&, const Error&) { return false; }); // the check sees a failure
        form->close();
    }
    return 0;
}

struct Gen {
    QString tag;
    int n = 0;
};

std::optional<Gen> ParseGen(const QString& text, const QString& suffix) {
    static const QRegularExpression pattern(QStringLiteral("^([A-Za-z]+)-([0-9]+) (from|to|pc)$"));
    const auto match = pattern.match(text);
    if (!match.hasMatch() || match.captured(3) != suffix)
        return std::nullopt;
    return Gen{match.captured(1), match.captured(2).toInt()};
}

int problems = 0;

void Problem(const QString& text) {
    ++problems;
    std::printf("PROBLEM: %s\n", qPrintable(text));
}

int Check(const QStringList& tags) {
    problems = 0;
    const bool oneWriter = tags.isEmpty();
    const QString dataPath = modMain::PrepareDataFolder();
    const AppObject& app = App();

    // Histories: each file is whole (the reader finds nothing damaged) and holds what one
    // writer saved.
    const QString kinds[][2] = {{QStringLiteral("From History.DAT"), QStringLiteral("from")},
                                {QStringLiteral("To History.DAT"), QStringLiteral("to")},
                                {QStringLiteral("Computer History.DAT"), QStringLiteral("pc")}};
    for (const auto& kind : kinds) {
        platform::HistoryList list;
        list.Open(kind[0], QString(), app, QString(), -1);
        QFile file(list.FilePath());
        if (!file.exists())
            continue;
        if (!file.open(QIODevice::ReadOnly)) {
            Problem(QStringLiteral("%1 cannot be read").arg(kind[0]));
            continue;
        }
        bool damaged = false;
        const QStringList entries = platform::HistoryList::Parse(file.readAll(), &damaged);
        if (damaged)
            Problem(QStringLiteral("%1 is damaged").arg(kind[0]));
        std::optional<Gen> previous;
        for (const QString& entry : entries) {
            const auto gen = ParseGen(entry, kind[1]);
            if (!gen || (!oneWriter && !tags.contains(gen->tag))) {
                Problem(QStringLiteral("%1 holds \"%2\"").arg(kind[0], entry.left(80)));
                continue;
            }
            // One run adds its rounds in order, each on top of the list it loaded.
            if (oneWriter && previous && previous->tag == gen->tag && gen->n != previous->n - 1)
                Problem(QStringLiteral("%1: %2 after %3").arg(kind[0], entry, previous->tag).arg(previous->n));
            previous = gen;
        }
    }

    // Settings: the file reads without error and every value is one that was written, in the
    // order the program writes them (From, To, Machine).
    {
        QSettings raw(QSettings::IniFormat, QSettings::UserScope, app.CompanyName, app.InternalName);
        if (raw.status() != QSettings::NoError)
            Problem(QStringLiteral("the settings file does not read: status %1").arg(raw.status()));
        platform::SettingsStore store;
        const QString keys[][2] = {{QStringLiteral("From"), QStringLiteral("from")},
                                   {QStringLiteral("To"), QStringLiteral("to")},
                                   {QStringLiteral("Machine"), QStringLiteral("pc")}};
        QList<int> gens;
        QStringList genTags;
        for (const auto& key : keys) {
            const QString value = store.ReadValue(QString(), key[0], platform::ValueKind::Text, app).toString();
            if (value.isEmpty()) {
                gens.append(0);
                genTags.append(QString());
                continue;
            }
            const auto gen = ParseGen(value, key[1]);
            if (!gen || (!oneWriter && !tags.contains(gen->tag))) {
                Problem(QStringLiteral("setting %1 holds \"%2\"").arg(key[0], value.left(80)));
                genTags.append(QString());
                gens.append(-1);
                continue;
            }
            gens.append(gen->n);
            genTags.append(gen->tag);
        }
        // Within one run's write, From comes first, then To, then Machine.
        if (oneWriter && !gens.contains(-1) && !gens.contains(0) && genTags.count(genTags.value(0)) == 3) {
            for (int i = 1; i < gens.size(); ++i) {
                if (gens[i] > gens[i - 1] || gens[i] < gens[i - 1] - 1)
                    Problem(QStringLiteral("settings out of order: %1 then %2").arg(gens[i - 1]).arg(gens[i]));
            }
        }
    }

    // Local copies: each is whole; checked ones are removed to keep the folder small.
    const QDir data(dataPath);
    for (const QString& name : data.entryList({QStringLiteral("*.TXT")}, QDir::Files)) {
        QFile file(data.filePath(name));
        if (!file.open(QIODevice::ReadOnly)) {
            Problem(QStringLiteral("%1 cannot be read").arg(name));
            continue;
        }
        const QString text = QString::fromUtf8(file.readAll());
        file.close();
        static const QRegularExpression from(QStringLiteral("^From:     ([A-Za-z]+-[0-9]+) from\r\n"));
        const auto match = from.match(text);
        if (!match.hasMatch() || !text.endsWith(QStringLiteral("\r\n\r\n") + Body(match.captured(1))))
            Problem(QStringLiteral("%1 is not a whole local copy (%2 characters)").arg(name).arg(text.size()));
        else
            QFile::remove(file.fileName());
    }
    for (const QString& name : data.entryList({QStringLiteral("*.damaged*")}, QDir::Files))
        Problem(QStringLiteral("%1 was set aside").arg(name));
    return problems == 0 ? 0 : 1;
}

// The tag of the n-th run: letters only ("ka", "kb", ... "kba").
QString Tag(int n) {
    QString digits = QString::number(n);
    for (QChar& c : digits)
        c = QChar(u'a' + (c.unicode() - u'0'));
    return QStringLiteral("k") + digits;
}

int KillLoop(int kills, int seconds) {
    roundsStarted =
        static_cast<int*>(::mmap(nullptr, sizeof(int), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    if (roundsStarted == MAP_FAILED)
        return 2;
    QElapsedTimer timer;
    timer.start();
    int done = 0;
    int whileSaving = 0;
    while (done < kills && timer.elapsed() < seconds * 1000LL) {
        *roundsStarted = 0;
        std::fflush(stdout);
        const pid_t child = ::fork();
        if (child < 0)
            return 2;
        if (child == 0) {
            std::fclose(stdout); // the rounds are counted in shared memory
            ::_exit(Save(Tag(done), 1000000, true, QString()));
        }
        ::usleep(static_cast<useconds_t>(QRandomGenerator::global()->bounded(250000)));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        ++done;
        if (__atomic_load_n(roundsStarted, __ATOMIC_SEQ_CST) > 0)
            ++whileSaving;
        if (Check({}) != 0) {
            std::printf("after kill %d (tag %s) the files do not hold\n", done, qPrintable(Tag(done - 1)));
            return 1;
        }
    }
    std::printf("killed %d times in %lld ms, %d of them while saving\n", done, timer.elapsed(), whileSaving);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qapp(argc, argv);
    ui::PrepareApplication(qapp);
    const QStringList args = qapp.arguments();
    try {
        if (args.size() >= 4 && args[1] == u"save") {
            bool copies = true;
            QString startFile;
            for (int i = 4; i < args.size(); ++i) {
                if (args[i] == u"--no-copy")
                    copies = false;
                else if (args[i] == u"--start-file" && i + 1 < args.size())
                    startFile = args[++i];
            }
            return Save(args[2], args[3].toInt(), copies, startFile);
        }
        if (args.size() >= 4 && args[1] == u"kill-loop")
            return KillLoop(args[2].toInt(), args[3].toInt());
        if (args.size() >= 2 && args[1] == u"check") {
            QStringList tags;
            if (args.size() >= 4 && args[2] == u"--tags")
                tags = args[3].split(u',');
            return Check(tags);
        }
    } catch (const Error& error) {
        std::printf("PROBLEM: error %d: %s\n", error.number(), qPrintable(error.description()));
        return 1;
    }
    std::fprintf(
        stderr,
        "usage: pellora_save_loop save TAG ROUNDS [--no-copy] [--start-file PATH] | kill-loop KILLS SECONDS | \n"
        "check [--tags A,B]\n");
    return 64;
}
