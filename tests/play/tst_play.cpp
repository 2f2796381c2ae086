#include "tempworkdir.h"
#include "engine/aisho.h"
#include "play/display.h"
#include "play/layout.h"
#include "ui/fonts.h"
#include "ui/mainwindow.h"
#include "ui/msgbox.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QtTest>

using namespace kanaroll;

namespace {

struct Box {
    QString body;
    QString title;
};

// Which face each slot shows, as "wara niko kana" letters.
QString faceSlots(MainWindow &w)
{
    QString s;
    for (int i = 1; i <= 3; ++i) {
        const int shown = int(w.imgwara(i)->isVisibleTo(&w)) + int(w.imgniko(i)->isVisibleTo(&w))
                          + int(w.imgkana(i)->isVisibleTo(&w));
        if (shown != 1)
            return QStringLiteral("slot %1 shows %2 faces").arg(i).arg(shown);
        s += w.imgwara(i)->isVisibleTo(&w) ? 'W' : w.imgniko(i)->isVisibleTo(&w) ? 'N' : 'K';
    }
    return s;
}

// A fortune in the quick mode, through the button.
void tellQuickly(MainWindow &w, const QString &self, const QString &partner)
{
    w.sngWait = 0;
    w.txtNamae1->setText(self);
    w.txtNamae2->setText(partner);
    w.cmdPlay->click();
}

} // namespace

class TestPlay : public QObject
{
    Q_OBJECT

    QList<Box> boxes;
    std::function<void()> onBox; // runs while a box is open

private slots:
    void initTestCase()
    {
        installFontSubstitutions();
        setMsgBoxHook([this](const QString &body, const QString &title, MsgKind kind) {
            boxes.append({body, title});
            if (onBox)
                onBox();
            return kind == MsgKind::DeleteQuestion ? MsgAnswer::Cancel : MsgAnswer::Ok;
        });
    }
    void init()
    {
        boxes.clear();
        onBox = nullptr;
    }

    // The play on the display state alone: a quick run of several pairs,
    // a refused one among them, leaves exactly the state of the last pair.
    void displayStateOfQuickPairs()
    {
        int pauses = 0;
        QList<PlayMessage> messages;
        bool animated = false;
        PlayHooks hooks;
        hooks.textWidth = [](int points, const QString &s) { return double(s.size()) * points * 10; };
        hooks.animated = [&] { return animated; };
        hooks.pause = [&] { return ++pauses > 0; };
        hooks.message = [&](PlayMessage m) { messages.append(m); };
        auto play = [&](DisplayState &s, const QString &a, const QString &b) {
            s.name1 = a;
            s.name2 = b;
            return playFortune(s, 5000, 5115, hooks);
        };

        DisplayState run;
        const QStringList pairs[] = {{"たろう", "はなこ"}, {"あえ", "いいえ"}, {"ケン", "はなこ"}, {"はなこ", "たろう"}};
        for (const QStringList &p : pairs)
            play(run, p[0], p[1]);
        QCOMPARE(messages, QList<PlayMessage>{PlayMessage::Refused});
        DisplayState alone;
        pauses = 0;
        QCOMPARE(play(alone, "はなこ", "たろう").percentage, 40);
        QVERIFY(run == alone);
        QCOMPARE(alone.pair, QStringLiteral("はなこ _ たろう"));
        QCOMPARE(alone.kekka, QStringLiteral("40%"));
        QCOMPARE(alone.faces, (std::array<std::uint8_t, 3>{kNikoBit, kNikoBit, kKanaBit}));
        QVERIFY(!alone.covered && !alone.ichiranShown);
        QCOMPARE(alone.fontSize, 48);
        QCOMPARE(alone.texts.size(), std::size_t(5));
        QCOMPARE(alone.texts.back(), (PlacedText{1060 + 4 * 238, 4 * 690, "40"}));
        QCOMPARE(pauses, 4); // quick: once per row after row 0

        // Animated: a pause after every digit, the row growing in place.
        animated = true;
        pauses = 0;
        play(alone, "はなこ", "たろう");
        QVERIFY(run == alone);
        QCOMPARE(pauses, 14);

        // A refused pair: covered, no faces, nothing drawn, the old percentage kept.
        play(alone, "たろう", "x");
        QCOMPARE(alone.pair, QString());
        QVERIFY(alone.covered && alone.texts.empty());
        QCOMPARE(alone.faces, (std::array<std::uint8_t, 3>{kNoFace, kNoFace, kNoFace}));
        QCOMPARE(alone.kekka, QStringLiteral("40%"));

        // Rows below the picture are not kept; the last kept one is the lowest that starts inside it.
        play(alone, QString(20, u'あ'), QString(20, u'い'));
        QCOMPARE(alone.texts.size(), std::size_t(5115 / 180 + 1));
        QVERIFY(alone.texts.back().y < 5115 && alone.texts.back().y + 180 >= 5115);
        QVERIFY(!alone.covered && !alone.kekka.isEmpty());
    }

    // The window shows a play's state before the play's box opens.
    void boxOpensOverTheStateReached()
    {
        TempWorkDir dir;
        MainWindow w;
        tellQuickly(w, "たろう", "はなこ");
        struct Seen {
            QString pair;
            bool covered;
            bool facesShown;
            bool drawn;
        } seen{};
        onBox = [&] {
            seen = {w.lblCp->text(), w.fraHide1->isVisibleTo(&w), w.imgniko(1)->isVisibleTo(&w),
                    !w.Picture1->texts().empty()};
        };
        tellQuickly(w, "たろう", "ケン");
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(seen.pair, QStringLiteral("たろう _ ケン"));
        QVERIFY(seen.covered && !seen.facesShown && !seen.drawn);
        QVERIFY(w.lblCp->text().isEmpty());
    }

    void workedPairs_data()
    {
        QTest::addColumn<QString>("self");
        QTest::addColumn<QString>("partner");
        QTest::addColumn<QString>("kekka");
        QTest::addColumn<QString>("faces");
        QTest::newRow("たろう+はなこ") << "たろう" << "はなこ" << "42%" << "NNK";
        QTest::newRow("はなこ+たろう") << "はなこ" << "たろう" << "40%" << "NNK";
        QTest::newRow("あえ+あい") << "あえ" << "あい" << "8%" << "KKK";
        QTest::newRow("あえ+いいえ") << "あえ" << "いいえ" << "100%" << "WWW";
        QTest::newRow("two one-character names") << "あ" << "い" << "12%" << "NKK";
    }

    void workedPairs()
    {
        QFETCH(QString, self);
        QFETCH(QString, partner);
        QFETCH(QString, kekka);
        QFETCH(QString, faces);
        TempWorkDir dir;
        MainWindow w;
        tellQuickly(w, self, partner);
        QVERIFY(boxes.isEmpty());
        QCOMPARE(w.lblKekka->text(), kekka);
        QCOMPARE(faceSlots(w), faces);
        QCOMPARE(w.lblCp->text(), self + " _ " + partner);
        QVERIFY(!w.fraHide1->isVisibleTo(&w));
        QVERIFY(!w.fraIchiran->isVisibleTo(&w));
    }

    void faceBands()
    {
        const struct {
            int pct;
            const char *faces;
        } cases[] = {{0, "KKK"},  {9, "KKK"},  {10, "NKK"}, {29, "NKK"}, {30, "NNK"}, {49, "NNK"}, {50, "NNN"},
                     {69, "NNN"}, {70, "WNN"}, {89, "WNN"}, {90, "WWN"}, {99, "WWN"}, {100, "WWW"}};
        for (const auto &c : cases) {
            QString s;
            for (Face f : facesFor(c.pct))
                s += f == Face::Wara ? 'W' : f == Face::Niko ? 'N' : 'K';
            QCOMPARE(s, QString::fromLatin1(c.faces));
        }
    }

    void layoutBands()
    {
        const struct {
            int from, to, size, dx, dy;
        } bands[] = {{1, 8, 48, 238, 690},  {9, 13, 28, 140, 410},  {14, 17, 22, 110, 310}, {18, 19, 18, 90, 275},
                     {20, 22, 16, 83, 239}, {23, 26, 14, 75, 200}, {27, 400, 12, 60, 180}};
        for (const auto &b : bands) {
            for (int n : {b.from, b.to}) {
                const LayoutBand band = layoutBand(n);
                QCOMPARE(band.fontSize, b.size);
                QCOMPARE(band.dx, b.dx);
                QCOMPARE(band.dy, b.dy);
            }
        }
        // Ties go to the even integer.
        QCOMPARE(rowZeroX(5000, 2879.0), 1060); // 1060.5
        QCOMPARE(rowZeroX(5000, 2877.0), 1062); // 1061.5
        QCOMPARE(rowZeroX(5000, 2878.2), 1061);
    }

    void drawnRowPositions()
    {
        TempWorkDir dir;
        MainWindow w;
        tellQuickly(w, "たろう", "はなこ");
        const auto &texts = w.Picture1->texts();
        QCOMPARE(texts.size(), std::size_t(5));
        const char *rows[] = {"153115", "68426", "4268", "684", "42"};
        // Six digits of half an em at 48 pt: 2880 twips, centred on 5000.
        QCOMPARE(w.Picture1->TextWidth("153115"), 2880.0);
        for (std::size_t r = 0; r < 5; ++r) {
            QCOMPARE(texts[r].text, QString::fromLatin1(rows[r]));
            QCOMPARE(texts[r].y, qint64(690 * r));
            QCOMPARE(texts[r].x, qint64(1060 + 238 * r));
        }
        QCOMPARE(w.Picture1->drawFont().pointSize(), 48);
    }

    void messagesAndStates()
    {
        TempWorkDir dir;
        MainWindow w;
        tellQuickly(w, "たろう", "はなこ");
        const auto drawn = w.Picture1->texts().size();

        // Empty names: one message, nothing else changes.
        for (auto names : {std::pair<QString, QString>{"", "はなこ"}, {"たろう", ""}, {"", ""}}) {
            boxes.clear();
            w.txtNamae1->setText(names.first);
            w.txtNamae2->setText(names.second);
            w.cmdPlay->click();
            QCOMPARE(boxes.size(), 1);
            QCOMPARE(boxes[0].body, QStringLiteral("名前を入力してください"));
            QCOMPARE(boxes[0].title, QStringLiteral("未入力確認"));
            QCOMPARE(w.lblKekka->text(), QStringLiteral("42%"));
            QCOMPARE(w.lblCp->text(), QStringLiteral("たろう _ はなこ"));
            QCOMPARE(faceSlots(w), QStringLiteral("NNK"));
            QCOMPARE(w.Picture1->texts().size(), drawn);
            QVERIFY(!w.fraHide1->isVisibleTo(&w));
        }

        // A refused pair: one message however many bad characters, then covered.
        for (const QString &bad : {QStringLiteral("  "), QStringLiteral("きっと"), QStringLiteral("タロウ"),
                                   QStringLiteral("らーめん"), QStringLiteral("𠮷だ")}) {
            boxes.clear();
            w.txtNamae1->setText(bad);
            w.txtNamae2->setText("はなこ");
            w.cmdPlay->click();
            QCOMPARE(boxes.size(), 1);
            QCOMPARE(boxes[0].body, QStringLiteral("ひらがな以外の文字が含まれています"));
            QCOMPARE(boxes[0].title, QStringLiteral("文字確認"));
            QVERIFY(w.lblCp->text().isEmpty());
            QVERIFY(w.fraHide1->isVisibleTo(&w));
            QVERIFY(w.Picture1->texts().empty());
            QCOMPARE(w.lblKekka->text(), QStringLiteral("42%"));
            for (int i = 1; i <= 3; ++i)
                QVERIFY(!w.imgwara(i)->isVisibleTo(&w) && !w.imgniko(i)->isVisibleTo(&w)
                        && !w.imgkana(i)->isVisibleTo(&w));
        }

        // A valid pair restores the result area.
        boxes.clear();
        w.txtNamae1->setText("さくら");
        w.txtNamae2->setText("ゆうき");
        w.cmdPlay->click();
        QVERIFY(boxes.isEmpty());
        QCOMPARE(w.lblKekka->text(), QStringLiteral("49%"));
        QCOMPARE(faceSlots(w), QStringLiteral("NNK"));
        QVERIFY(!w.fraHide1->isVisibleTo(&w));
    }

    void animatedFortuneAndModeSwitch()
    {
        TempWorkDir dir;
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.sngWait, 0.005f);
        // 30 characters: 434 digits at 5 ms would take over 2 s.
        w.txtNamae1->setText(QString(15, QChar(u'か')));
        w.txtNamae2->setText(QString(15, QChar(u'き')));
        int digitsSeenAtSwitch = -1;
        QTimer::singleShot(50, &w, [&] {
            digitsSeenAtSwitch = int(w.Picture1->texts().size());
            w.Option1(0)->click(); // さくさくモード
        });
        QElapsedTimer t;
        t.start();
        const PlayOutcome out = w.Play();
        QCOMPARE(out.kind, PlayOutcome::Shown);
        QVERIFY2(digitsSeenAtSwitch > 0, "the fortune was drawn before the switch could happen");
        QCOMPARE(w.sngWait, 0.0f);
        QVERIFY(t.elapsed() < 2000);
        AishoResult expected = AishoCalc(u"かかかかかかかかかかかかかかか", u"ききききききききききききききき");
        QCOMPARE(out.percentage, expected.percentage);
        QCOMPARE(w.lblKekka->text(), QString::number(expected.percentage) + "%");
        QCOMPARE(w.Picture1->texts().size(), expected.rowCount());
    }

    void secondClickDuringFortuneIsIgnored()
    {
        TempWorkDir dir;
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.txtNamae1->setText("たろう");
        w.txtNamae2->setText("はなこ");
        bool clicked = false;
        QTimer::singleShot(20, &w, [&] {
            w.txtNamae2->setText("さくら");
            w.cmdPlay->click();
            w.cmdHozon->click();
            clicked = true;
        });
        w.cmdPlay->click();
        QVERIFY(clicked);
        QVERIFY(boxes.isEmpty());
        QCOMPARE(w.lblCp->text(), QStringLiteral("たろう _ はなこ"));
        QCOMPARE(w.lblKekka->text(), QStringLiteral("42%"));
        QCOMPARE(w.Picture1->texts().size(), std::size_t(5));
        QCOMPARE(w.Picture1->texts().back().text, QStringLiteral("42"));
    }

    void veryLongNamesKeepTheirResult()
    {
        TempWorkDir dir;
        MainWindow w;
        w.sngWait = 0;
        const QString self(120, QChar(u'さ'));
        const QString partner(90, QChar(u'ぬ'));
        w.txtNamae1->setText(self);
        w.txtNamae2->setText(partner);
        const PlayOutcome out = w.Play();
        QCOMPARE(out.kind, PlayOutcome::Shown);
        const AishoResult expected = AishoCalc(self.toStdU16String(), partner.toStdU16String());
        QCOMPARE(out.percentage, expected.percentage);
        QCOMPARE(w.lblKekka->text(), QString::number(expected.percentage) + u'%');
        // Rows far below the picture (beyond 16-bit twips) are paced but not kept.
        QVERIFY(qint64(180) * qint64(expected.rowCount() - 1) > 32767);
        QCOMPARE(w.Picture1->texts().back().y, qint64(180) * (5115 / 180));
    }
};

QTEST_MAIN(TestPlay)
#include "tst_play.moc"
