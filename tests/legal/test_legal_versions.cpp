#include "legal/legal_versions.h"
#include "support/test_main.h"

class LegalVersionsTest : public QObject
{
    Q_OBJECT

private slots:
    void parseVersionFile_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("terms");
        QTest::addColumn<QString>("privacy");
        QTest::newRow("both") << QByteArray(R"({"terms":"2024-03","privacy":"7"})") << "2024-03"
                              << "7";
        QTest::newRow("extra keys ignored") << QByteArray(R"({"privacy":"p1","x":1,"terms":"t1"})") << "t1"
                                            << "p1";
        QTest::newRow("privacy missing") << QByteArray(R"({"terms":"t1"})") << "t1"
                                         << "";
        QTest::newRow("privacy not a string") << QByteArray(R"({"terms":"t1","privacy":3})") << "t1"
                                              << "";
        QTest::newRow("array") << QByteArray(R"(["t1","p1"])") << ""
                               << "";
        QTest::newRow("not json") << QByteArray("terms=t1") << ""
                                  << "";
        QTest::newRow("truncated") << QByteArray(R"({"terms":"t1","privacy":"p1")") << ""
                                   << "";
        QTest::newRow("empty") << QByteArray() << ""
                               << "";
    }

    void parseVersionFile()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, terms);
        QFETCH(QString, privacy);
        const LegalVersions versions = parseLegalVersions(json);
        QCOMPARE(versions.terms, terms);
        QCOMPARE(versions.privacy, privacy);
    }

    void parseVersionTag_data()
    {
        QTest::addColumn<QString>("tag");
        QTest::addColumn<QString>("terms");
        QTest::addColumn<QString>("privacy");
        QTest::newRow("usual order") << "terms@3+privacy@5"
                                     << "3"
                                     << "5";
        QTest::newRow("swapped order") << "privacy@5+terms@3"
                                       << "3"
                                       << "5";
        QTest::newRow("terms only") << "terms@3"
                                    << "3"
                                    << "";
        QTest::newRow("unknown part kept out") << "terms@3+cookies@9+privacy@5"
                                               << "3"
                                               << "5";
        QTest::newRow("value keeps further at") << "terms@3@beta+privacy@5"
                                                << "3@beta"
                                                << "5";
        QTest::newRow("later part wins") << "terms@1+privacy@5+terms@2"
                                         << "2"
                                         << "5";
        QTest::newRow("empty parts dropped") << "+terms@3++privacy@5+"
                                             << "3"
                                             << "5";
        QTest::newRow("part without at") << "terms3+privacy@5"
                                         << ""
                                         << "5";
        QTest::newRow("part starting with at") << "@terms+privacy@5"
                                               << ""
                                               << "5";
        QTest::newRow("empty value") << "terms@+privacy@5"
                                     << ""
                                     << "5";
        QTest::newRow("name is case sensitive") << "Terms@3+privacy@5"
                                                << ""
                                                << "5";
        QTest::newRow("empty tag") << ""
                                   << ""
                                   << "";
        QTest::newRow("escaped plus") << "terms@1+privacy@2.1.0%2Bbuild7"
                                      << "1"
                                      << "2.1.0+build7";
        QTest::newRow("escaped percent") << "terms@50%25+privacy@1"
                                         << "50%"
                                         << "1";
        QTest::newRow("lower-case escape") << "terms@a%2bb+privacy@1"
                                           << "a+b"
                                           << "1";
        QTest::newRow("escaped percent before 2B") << "terms@%252B+privacy@1"
                                                   << "%2B"
                                                   << "1";
        QTest::newRow("other escapes kept") << "terms@a%41%20b+privacy@1"
                                            << "a%41%20b"
                                            << "1";
        QTest::newRow("unfinished escapes kept") << "terms@5%+privacy@7%2"
                                                 << "5%"
                                                 << "7%2";
        QTest::newRow("escaped separator cannot forge a part") << "terms@2%2Bprivacy@0+privacy@9"
                                                               << "2+privacy@0"
                                                               << "9";
    }

    void parseVersionTag()
    {
        QFETCH(QString, tag);
        QFETCH(QString, terms);
        QFETCH(QString, privacy);
        const LegalVersions versions = parseLegalVersionTag(tag);
        QCOMPARE(versions.terms, terms);
        QCOMPARE(versions.privacy, privacy);
    }
};

KESTOVA_TEST_MAIN(LegalVersionsTest)
#include "test_legal_versions.moc"
