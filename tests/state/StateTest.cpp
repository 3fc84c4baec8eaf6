// The stored settings and the field histories without a window.

#include "state/FieldHistories.h"
#include "state/Settings.h"

#include "platform/components/SettingsStore.h"
#include "platform/runtime/App.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QtTest>

using namespace pellora;
using namespace pellora::state;

namespace {

// What LoadSettings hands the window, in order; the program-wide options go into `values`.
QList<QPair<Setting, QVariant>> LoadAll(AppValues& values) {
    QList<QPair<Setting, QVariant>> applied;
    LoadSettings(values, [&](Setting setting, const QVariant& value) { applied.append({setting, value}); });
    return applied;
}

} // namespace

class StateTest : public QObject {
    Q_OBJECT

private slots:
    void init() { home_ = std::make_unique<test::TestHome>(); }
    void cleanup() { home_.reset(); }

    void theTable() {
        QStringList keys;
        for (const SettingKey& entry : SettingKeys())
            keys << QString(entry.key);
        QCOMPARE(keys, (QStringList{QStringLiteral("From"), QStringLiteral("To"), QStringLiteral("Machine"),
                                    QStringLiteral("Send Hotkey Option"), QStringLiteral("Temp File Prefix")}));
        const auto& table = SettingKeys();
        QCOMPARE(table[0].kind, platform::ValueKind::Text);
        QVERIFY(!table[0].defaultValue.isValid());
        QCOMPARE(table[3].kind, platform::ValueKind::Integer);
        QCOMPARE(table[3].defaultValue.metaType(), QMetaType::fromType<qint16>());
        QCOMPARE(table[3].defaultValue.toInt(), 0);
        QCOMPARE(table[4].kind, platform::ValueKind::Boolean);
        QCOMPARE(table[4].defaultValue, QVariant(false));
    }

    void firstRunGivesTheDefaults() {
        AppValues values;
        values.UseTempFilePrefix = true;
        const auto applied = LoadAll(values);
        QCOMPARE(applied.size(), 4);
        QCOMPARE(applied[0], qMakePair(Setting::From, QVariant(QString())));
        QCOMPARE(applied[1], qMakePair(Setting::To, QVariant(QString())));
        QCOMPARE(applied[2], qMakePair(Setting::Machine, QVariant(QString())));
        QCOMPARE(applied[3], qMakePair(Setting::SendHotkeyOption, QVariant(0)));
        QCOMPARE(values.UseTempFilePrefix, false);
    }

    void whatIsSavedIsLoaded() {
        AppValues saved;
        saved.UseTempFilePrefix = true;
        SaveSettings(saved, [](Setting setting) -> QVariant {
            switch (setting) {
            case Setting::From: return QStringLiteral("Ann");
            case Setting::To: return QString();
            case Setting::Machine: return QStringLiteral("PC7");
            case Setting::SendHotkeyOption: return 3;
            case Setting::TempFilePrefix: break;
            }
            return QVariant();
        });
        AppValues values;
        const auto applied = LoadAll(values);
        QCOMPARE(applied[0].second, QVariant(QStringLiteral("Ann")));
        QCOMPARE(applied[1].second, QVariant(QString()));
        QCOMPARE(applied[2].second, QVariant(QStringLiteral("PC7")));
        QCOMPARE(applied[3].second, QVariant(3));
        QCOMPARE(values.UseTempFilePrefix, true);
        // The computer's key is "Machine".
        platform::SettingsStore store;
        QCOMPARE(store.ReadValue(QString(), QStringLiteral("Machine"), platform::ValueKind::Text, App()).toString(),
                 QStringLiteral("PC7"));
    }

    void aValueThatDoesNotConvertReadsAsItsDefault_data() {
        QTest::addColumn<QByteArray>("stored"); // as a person edits the settings (test::EditSettings)
        QTest::addColumn<int>("index");         // in the order of the table
        QTest::addColumn<QVariant>("expected");
        QTest::newRow("option not a number")
            << QByteArray("[General]\nSend%20Hotkey%20Option=not a number\n") << 3 << QVariant(0);
        QTest::newRow("a name longer than 255 characters") << "[General]\nFrom=" + QByteArray(256, 'x') + "\n"
                                                           << 0 << QVariant(QString());
    }
    void aValueThatDoesNotConvertReadsAsItsDefault() {
        QFETCH(QByteArray, stored);
        QFETCH(int, index);
        QFETCH(QVariant, expected);
        test::EditSettings(stored);
        AppValues values;
        const auto applied = LoadAll(values);
        QCOMPARE(applied.size(), 4);
        QCOMPARE(applied[index].second, expected);
    }

    void historiesLiveFromLoadToSave() {
        HistoryPtr from, to, computer;
        const FieldHistories lists{from, to, computer};
        LoadHistories(lists);
        QVERIFY(from && to && computer);
        QVERIFY(from->Entries().isEmpty()); // first run: no files, no failure
        RecordNames(lists, QStringLiteral("Ann"), QStringLiteral("Bob"), QStringLiteral("PC7"));
        QVERIFY(from->FilePath().endsWith(QLatin1String("/From History.DAT")));
        QVERIFY(to->FilePath().endsWith(QLatin1String("/To History.DAT")));
        QVERIFY(computer->FilePath().endsWith(QLatin1String("/Computer History.DAT")));
        SaveHistories(lists);
        QVERIFY(!from && !to && !computer);
        LoadHistories(lists);
        QCOMPARE(from->Entries(), QStringList{QStringLiteral("Ann")});
        QCOMPARE(to->Entries(), QStringList{QStringLiteral("Bob")});
        QCOMPARE(computer->Entries(), QStringList{QStringLiteral("PC7")});
        SaveHistories(lists);
    }

    // Computer names are one whatever their letter case, in the file and when added; sender and
    // recipient names keep theirs.
    void computerHistoryIgnoresLetterCase() {
        const QString folder = home_->dataHome() + QStringLiteral("/Orvane/Pellora/");
        QVERIFY(QDir().mkpath(folder));
        for (const char* file : {"From History.DAT", "Computer History.DAT"}) {
            QFile history(folder + QLatin1String(file));
            QVERIFY(history.open(QIODevice::WriteOnly));
            history.write("PelloraHistory 1\npc7\nPC7\nAnn\n");
        }
        HistoryPtr from, to, computer;
        const FieldHistories lists{from, to, computer};
        LoadHistories(lists);
        QCOMPARE(from->Entries(), (QStringList{"pc7", "PC7", "Ann"}));
        QCOMPARE(computer->Entries(), (QStringList{"pc7", "Ann"}));
        RecordNames(lists, QStringLiteral("ann"), QStringLiteral("Bob"), QStringLiteral("ANN"));
        QCOMPARE(from->Entries(), (QStringList{"ann", "pc7", "PC7", "Ann"}));
        QCOMPARE(computer->Entries(), (QStringList{"ANN", "pc7"}));
    }

private:
    std::unique_ptr<test::TestHome> home_;
};

PELLORA_TEST_MAIN(StateTest)
#include "StateTest.moc"
