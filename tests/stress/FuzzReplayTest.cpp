// Replays the fuzzers' seed inputs and every input that once made a fuzzer fail
// (fuzz/corpus/<target>/, fuzz/regressions/<target>/) through the same entries.

#include "FuzzEntries.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTest>

using namespace pellora;

class FuzzReplayTest : public QObject {
    Q_OBJECT

private slots:
    void replay_data() {
        QTest::addColumn<int>("entry");
        QTest::addColumn<QString>("path");
        const QDir fuzz(QStringLiteral(PELLORA_FUZZ_DIR));
        int rows = 0;
        for (int e = 0; e < int(std::size(fuzzing::kEntries)); ++e) {
            const QString name = QString::fromLatin1(fuzzing::kEntries[e].name);
            for (const char* kind : {"corpus", "regressions"}) {
                const QDir dir(fuzz.filePath(QLatin1String(kind) + u'/' + name));
                for (const QString& file : dir.entryList(QDir::Files | QDir::Hidden, QDir::Name)) {
                    QTest::addRow("%s/%s/%s", kind, qPrintable(name), qPrintable(file)) << e << dir.filePath(file);
                    ++rows;
                }
            }
        }
        QVERIFY2(rows >= int(std::size(fuzzing::kEntries)), "the seed corpora are missing");
    }

    void replay() {
        QFETCH(int, entry);
        QFETCH(QString, path);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        const QString failure =
            fuzzing::kEntries[entry].run(reinterpret_cast<const std::uint8_t*>(bytes.constData()), bytes.size());
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
    }
};

PELLORA_TEST_MAIN(FuzzReplayTest)
#include "FuzzReplayTest.moc"
