#include "ui/msgbox.h"
#include "ui/wait.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

using namespace kanaroll;

class TestMsgBoxWait : public QObject
{
    Q_OBJECT

    struct Seen {
        QStringList buttons;
        QString defaultButton;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QString title;
        QString text;
    };

private slots:
    void boxKinds_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QStringList>("buttons");
        QTest::addColumn<QString>("defaultButton");
        QTest::addColumn<int>("icon");
        QTest::addColumn<int>("enterAnswer");
        QTest::addColumn<int>("escapeAnswer");
        QTest::newRow("warning") << int(MsgKind::WarningNotice) << QStringList{"OK"} << "OK" << int(QMessageBox::Warning)
                                 << int(MsgAnswer::Ok) << int(MsgAnswer::Ok);
        QTest::newRow("question notice") << int(MsgKind::QuestionNotice) << QStringList{"OK"} << "OK"
                                         << int(QMessageBox::Question) << int(MsgAnswer::Ok) << int(MsgAnswer::Ok);
        QTest::newRow("information") << int(MsgKind::InformationNotice) << QStringList{"OK"} << "OK"
                                     << int(QMessageBox::Information) << int(MsgAnswer::Ok) << int(MsgAnswer::Ok);
        QTest::newRow("delete") << int(MsgKind::DeleteQuestion) << QStringList{"OK", "キャンセル"} << "キャンセル"
                                << int(QMessageBox::Warning) << int(MsgAnswer::Cancel) << int(MsgAnswer::Cancel);
        QTest::newRow("yes-no") << int(MsgKind::YesNoQuestion) << QStringList{"いいえ", "はい"} << "はい"
                                << int(QMessageBox::Question) << int(MsgAnswer::Yes) << int(MsgAnswer::No);
    }

    void boxKinds()
    {
        QFETCH(int, kind);
        QFETCH(QStringList, buttons);
        QFETCH(QString, defaultButton);
        QFETCH(int, icon);
        QFETCH(int, enterAnswer);
        QFETCH(int, escapeAnswer);

        for (int key : {int(Qt::Key_Return), int(Qt::Key_Escape)}) {
            Seen seen;
            QTimer::singleShot(0, [&seen, key] {
                auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
                QVERIFY(box);
                for (QAbstractButton *b : box->buttons())
                    seen.buttons << b->text();
                if (box->defaultButton())
                    seen.defaultButton = box->defaultButton()->text();
                seen.icon = box->icon();
                seen.title = box->windowTitle();
                seen.text = box->text();
                QTest::keyClick(box, static_cast<Qt::Key>(key));
            });
            const MsgAnswer answer = MsgBoxShow(QStringLiteral("一行目\r\n\r\n二行目"), QStringLiteral("削除確認"),
                                                static_cast<MsgKind>(kind));
            seen.buttons.sort();
            buttons.sort();
            QCOMPARE(seen.buttons, buttons);
            QCOMPARE(seen.defaultButton, defaultButton);
            QCOMPARE(int(seen.icon), icon);
            QCOMPARE(seen.title, QStringLiteral("削除確認"));
            QCOMPARE(seen.text, QStringLiteral("一行目\n\n二行目"));
            QCOMPARE(int(answer), key == Qt::Key_Return ? enterAnswer : escapeAnswer);
        }
    }

    void hookReplacesTheBox()
    {
        QString seenTitle;
        setMsgBoxHook([&](const QString &, const QString &title, MsgKind) {
            seenTitle = title;
            return MsgAnswer::Yes;
        });
        QCOMPARE(MsgBoxShow(QStringLiteral("b"), QStringLiteral("保存確認"), MsgKind::YesNoQuestion), MsgAnswer::Yes);
        QCOMPARE(seenTitle, QStringLiteral("保存確認"));
        setMsgBoxHook({});
    }

    void zeroWaitProcessesNoEvent()
    {
        bool ran = false;
        QTimer::singleShot(0, [&ran] { ran = true; });
        WaitWithEvents(0.0);
        QVERIFY(!ran);
        QTRY_VERIFY(ran);
    }

    void eventsRunWhileWaiting()
    {
        bool ran = false;
        QTimer::singleShot(0, [&ran] { ran = true; });
        WaitWithEvents(0.05);
        QVERIFY(ran);
    }

    void waitSwitchedToZeroEndsAtNextTest()
    {
        double w = 60.0;
        int reads = 0;
        QTimer::singleShot(20, [&w] { w = 0.0; });
        QElapsedTimer t;
        t.start();
        WaitWithEvents([&] {
            ++reads;
            return w;
        });
        QVERIFY(t.elapsed() < 30000); // a minute-long wait was cut short
        QVERIFY(reads >= 2);
    }

    void waitLastsAtLeastItsTime()
    {
        QElapsedTimer t;
        t.start();
        WaitWithEvents(0.03);
        QVERIFY(t.nsecsElapsed() >= 30'000'000);
    }
};

QTEST_MAIN(TestMsgBoxWait)
#include "tst_msgbox_wait.moc"
