#include "lists/cp932.h"

#include <QTest>

using kanaroll::Cp932Decoder;
using kanaroll::Cp932Encoder;

// The converter of this platform: both builds must give these bytes.
class TestCp932 : public QObject
{
    Q_OBJECT
private slots:
    void roundTrip_data();
    void roundTrip();
    void refusesUnmappable_data();
    void refusesUnmappable();
    void refusesInvalidBytes_data();
    void refusesInvalidBytes();
    void errorStaysRaised();
};

void TestCp932::roundTrip_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty") << QString() << QByteArray();
    QTest::newRow("ascii") << QStringLiteral("abc 123\r\n") << QByteArray("abc 123\r\n");
    QTest::newRow("hiragana") << QStringLiteral("たろう") << QByteArray("\x82\xbd\x82\xeb\x82\xa4");
    QTest::newRow("half-width katakana") << QStringLiteral("ｱｲ") << QByteArray("\xb1\xb2");
    QTest::newRow("kanji") << QStringLiteral("自分") << QByteArray("\x8e\xa9\x95\xaa");
    QTest::newRow("backslash stays 5C") << QStringLiteral("\\") << QByteArray("\x5c");
    QTest::newRow("wave dash as Windows writes it") << QStringLiteral("\uff5e") << QByteArray("\x81\x60");
    QTest::newRow("NEC row 13") << QStringLiteral("①") << QByteArray("\x87\x40");
    QTest::newRow("IBM extension") << QStringLiteral("\u2170") << QByteArray("\xfa\x40");
    QTest::newRow("user area") << QStringLiteral("\ue000") << QByteArray("\xf0\x40");
    QTest::newRow("control characters") << QStringLiteral("\t\x1f") << QByteArray("\t\x1f");
}

void TestCp932::roundTrip()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    Cp932Encoder enc;
    QCOMPARE(enc.encode(text), bytes);
    QVERIFY(!enc.hasError());
    Cp932Decoder dec;
    QCOMPARE(dec.decode(bytes), text);
    QVERIFY(!dec.hasError());
}

void TestCp932::refusesUnmappable_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("emoji") << QStringLiteral("たろう\U0001F600");
    QTest::newRow("hangul") << QStringLiteral("한");
    QTest::newRow("yen sign is not best-fitted") << QStringLiteral("\u00a5");
    QTest::newRow("accented latin") << QStringLiteral("é");
    QTest::newRow("lone surrogate") << QString(QChar(0xd800));
}

void TestCp932::refusesUnmappable()
{
    QFETCH(QString, text);
    Cp932Encoder enc;
    enc.encode(text);
    QVERIFY(enc.hasError());
}

void TestCp932::refusesInvalidBytes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("lead byte at the end") << QByteArray("\x82");
    QTest::newRow("bad trail byte") << QByteArray("\x82\x20");
    QTest::newRow("unassigned pair") << QByteArray("\x85\x40");
}

void TestCp932::refusesInvalidBytes()
{
    QFETCH(QByteArray, bytes);
    Cp932Decoder dec;
    dec.decode(bytes);
    QVERIFY(dec.hasError());
}

void TestCp932::errorStaysRaised()
{
    Cp932Encoder enc;
    QCOMPARE(enc.encode(u"a"), QByteArray("a"));
    enc.encode(u"\U0001F600");
    enc.encode(u"b");
    QVERIFY(enc.hasError());
    Cp932Decoder dec;
    dec.decode("\x82");
    dec.decode("a");
    QVERIFY(dec.hasError());
}

QTEST_GUILESS_MAIN(TestCp932)
#include "test_cp932.moc"
