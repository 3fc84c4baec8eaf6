// ksAnsiToOem on Linux: the locale's OEM code page and the conversion into it.
#include "platform/posix/CodePages.h"
#include "platform/support/Support.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QtTest>

using namespace pellora::platform::oem;

class OemTest : public QObject {
    Q_OBJECT

private slots:
    void localeTable_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<int>("page");
        const std::pair<const char*, int> rows[] = {
            {"C", 437},
            {"POSIX", 437},
            {"C.UTF-8", 437},
            {"", 437},
            {"en_US.UTF-8", 437},
            {"en_IN", 437},
            {"en_ZA.UTF-8", 437},
            {"en_GB.UTF-8", 850},
            {"en_AU", 850},
            {"en", 437},
            {"de_DE.UTF-8", 850},
            {"de_AT@euro", 850},
            {"fr_FR", 850},
            {"pt_BR.UTF-8", 850},
            {"nb_NO", 850},
            {"cs_CZ.UTF-8", 852},
            {"pl_PL", 852},
            {"sr_RS@latin", 852},
            {"sr_RS.UTF-8", 855},
            {"sr", 855},
            {"tr_TR.UTF-8", 857},
            {"az_AZ", 857},
            {"ru_RU.UTF-8", 866},
            {"uk_UA", 866},
            {"lt_LT", 775},
            {"el_GR.UTF-8", 737},
            {"he_IL", 862},
            {"ar_EG.UTF-8", 720},
            {"fa_IR", 720},
            {"th_TH", 874},
            {"ja_JP.UTF-8", 932},
            {"zh_CN.UTF-8", 936},
            {"ko_KR.EUC-KR", 949},
            {"zh_TW.UTF-8", 950},
            {"zh_HK", 950},
            {"xx_YY", 437},
            {"tlh", 437},
        };
        for (const auto& [locale, page] : rows)
            QTest::newRow(*locale ? locale : "(empty)") << QString::fromLatin1(locale) << page;
    }
    void localeTable() {
        QFETCH(QString, locale);
        QFETCH(int, page);
        QCOMPARE(CodePageForLocale(locale), page);
    }

    void localeVariablesInOrder() {
        const QByteArray all = qgetenv("LC_ALL"), ctype = qgetenv("LC_CTYPE"), lang = qgetenv("LANG");
        qputenv("LC_ALL", "");
        qputenv("LC_CTYPE", "ru_RU.UTF-8");
        qputenv("LANG", "de_DE.UTF-8");
        QCOMPARE(CurrentCodePage(), 866);
        qputenv("LC_ALL", "el_GR.UTF-8");
        QCOMPARE(CurrentCodePage(), 737);
        qunsetenv("LC_ALL");
        qunsetenv("LC_CTYPE");
        QCOMPARE(CurrentCodePage(), 850);
        qunsetenv("LANG");
        QCOMPARE(CurrentCodePage(), 437);
        qputenv("LC_ALL", all);
        qputenv("LC_CTYPE", ctype);
        qputenv("LANG", lang);
    }

    void singleBytePages_data() {
        QTest::addColumn<int>("page");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("437") << 437 << QStringLiteral("é ü ß ░") << QByteArray("\x82 \x81 \xE1 \xB0");
        QTest::newRow("437 euro") << 437 << QStringLiteral("5€") << QByteArray("5?");
        QTest::newRow("850") << 850 << QStringLiteral("Øre, à bientôt") << QByteArray("\x9Dre, \x85 bient\x93t");
        QTest::newRow("850 cyrillic") << 850 << QStringLiteral("Жx") << QByteArray("?x");
        QTest::newRow("866") << 866 << QStringLiteral("Привет") << QByteArray("\x8F\xE0\xA8\xA2\xA5\xE2");
        QTest::newRow("866 latin") << 866 << QStringLiteral("café") << QByteArray("caf?");
        QTest::newRow("852") << 852 << QStringLiteral("Łódź") << QByteArray("\x9D\xA2\x64\xAB");
        QTest::newRow("737") << 737 << QStringLiteral("Ωω") << QByteArray("\x97\xE0");
        QTest::newRow("720") << 720 << QStringLiteral("اé€") << QByteArray("\x9F\x82?");
        QTest::newRow("astral") << 437 << QStringLiteral("a\U0001F600b") << QByteArray("a?b");
        QTest::newRow("controls") << 866 << QStringLiteral("a\r\nb\tc") << QByteArray("a\r\nb\tc");
        QTest::newRow("932") << 932 << QStringLiteral("あA\r\n")
                             << QByteArray("\x82\xA0"
                                           "A\r\n");
        QTest::newRow("932 unmappable") << 932 << QStringLiteral("ŵ") << QByteArray("?");
    }
    void singleBytePages() {
        QFETCH(int, page);
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QCOMPARE(ToCodePage(text, page).toHex(' '), bytes.toHex(' '));
    }

    // The way back, for what the receiver gets: the same pages, U+FFFD for what a page lacks.
    void fromCodePage_data() {
        QTest::addColumn<int>("page");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("437") << 437 << QByteArray("\x82 \x81 \xE1 \xB0") << QStringLiteral("é ü ß ░");
        QTest::newRow("866") << 866 << QByteArray("\x8F\xE0\xA8\xA2\xA5\xE2") << QStringLiteral("Привет");
        QTest::newRow("850") << 850 << QByteArray("\x9Dre") << QStringLiteral("Øre");
        QTest::newRow("720") << 720 << QByteArray("\x9F\x82") << QStringLiteral("اé");
        QTest::newRow("720 undefined") << 720 << QByteArray("a\x80") << QStringLiteral("a\uFFFD");
        QTest::newRow("controls") << 866 << QByteArray("a\r\nb\tc\x1B\x7F") << QStringLiteral("a\r\nb\tc\x1B\x7F");
        QTest::newRow("932") << 932
                             << QByteArray("\x82\xA0"
                                           "A\r\n")
                             << QStringLiteral("あA\r\n");
        QTest::newRow("932 cut sequence") << 932 << QByteArray("A\x82") << QStringLiteral("A\uFFFD");
        QTest::newRow("932 cut before a control") << 932 << QByteArray("\x82\nB") << QStringLiteral("\uFFFD\nB");
        QTest::newRow("empty") << 437 << QByteArray() << QString();
    }
    void fromCodePage() {
        QFETCH(int, page);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QCOMPARE(FromCodePage(bytes, page), text);
    }

    void everyPageOfTheTableConverts() {
        // One byte per character in the single-byte pages; unmappable never 0x7F.
        const QString sample = QStringLiteral("Hello\r\n\t€ЖΩ漢");
        for (int page : {437, 850, 852, 855, 857, 866, 775, 737, 862, 720, 874}) {
            const QByteArray bytes = ToCodePage(sample, page);
            QCOMPARE(bytes.size(), sample.size());
            QVERIFY(!bytes.contains('\x7F'));
            QVERIFY(bytes.startsWith("Hello\r\n\t"));
        }
        for (int page : {932, 936, 949, 950})
            QVERIFY(ToCodePage(sample, page).startsWith("Hello\r\n\t"));
    }

    void ksAnsiToOemFollowsLocale() {
        const QByteArray all = qgetenv("LC_ALL");
        qputenv("LC_ALL", "ru_RU.UTF-8");
        QCOMPARE(pellora::ksAnsiToOem(QStringLiteral("Да")), QByteArray("\x84\xA0"));
        qputenv("LC_ALL", "C");
        QCOMPARE(pellora::ksAnsiToOem(QStringLiteral("Да é")), QByteArray("?? \x82"));
        qputenv("LC_ALL", all);
    }
};

PELLORA_TEST_MAIN(OemTest)
#include "OemTest.moc"
