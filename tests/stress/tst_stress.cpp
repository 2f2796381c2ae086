// Random clicks and typing on every control of the window, with a fixed seed,
// while an animated batch runs. Afterwards the program must still answer, the
// grid must hold the engine's results and the list files their lists.
// KANAROLL_STRESS_SECONDS shortens the run for a quick look.

#include "gestures.h"
#include "engine/aisho.h"
#include "lists/namaewaku.h"
#include "batch/ichiran.h"
#include "tempworkdir.h"
#include "ui/fonts.h"
#include "ui/mainwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QStringEncoder>
#include <QTimer>
#include <QtTest>

#include <random>

using namespace kanaroll;

namespace {

QByteArray cp932(const QString &s)
{
    QStringEncoder enc("windows-31j");
    QByteArray b = enc.encode(s);
    return enc.hasError() ? QByteArray("<unheld>") : b;
}

QByteArray listBytes(const QStringList &names)
{
    QByteArray out;
    for (const QString &n : names)
        out += cp932(n) + "\r\n";
    return out;
}

// Kana of the table, and a few characters that a fortune or the file refuses:
// small tsu and katakana (refused by the fortune), ゔ (not in code page 932).
const QString kKeys = QStringLiteral("あいうえおかきくけこさしすせそたちつてとなにぬねのはひふへほまみむめもやゆよ"
                                     "らりるれろわをんがぎぐげござじずぜぞだぢづでどばびぶべぼぱぴぷぺぽぁぃぅぇぉゃゅょ"
                                     "っカゔ");

class Driver : public QObject
{
public:
    Driver(MainWindow &w, quint32 seed, qint64 runMs) : m_w(w), m_rng(seed), m_runMs(runMs) {}

    void start()
    {
        m_clock.start();
        schedule();
    }
    bool finished() const { return m_finished; }
    QMap<QString, int> counts;

private:
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_rng); }
    bool chance(int percent) { return pick(100) < percent; }

    // The next step is queued before this one runs: a click that starts a
    // fortune or opens a box only returns when it is over, and meanwhile its
    // own event loop carries the next steps.
    void schedule()
    {
        QTimer::singleShot(5 + pick(20), this, [this] { step(); });
    }

    void step()
    {
        const bool overtime = m_clock.elapsed() >= m_runMs;
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            schedule();
            answer(box);
            return;
        }
        if (overtime) {
            // Let a running batch end quickly; keep answering its boxes.
            if (!m_w.Option1(0)->isChecked())
                QTest::mouseClick(m_w.Option1(0), Qt::LeftButton);
            if (!m_w.isRunning()) {
                m_finished = true;
                return;
            }
            schedule();
            return;
        }
        schedule();
        act();
    }

    void answer(QMessageBox *box)
    {
        QAbstractButton *chosen = box->buttons().value(0);
        for (QAbstractButton *b : box->buttons()) {
            if (box->buttonRole(b) == QMessageBox::RejectRole && chance(50))
                chosen = b; // Cancel for the delete questions, half the time
        }
        if (!chosen)
            return;
        ++counts[box->buttonRole(chosen) == QMessageBox::RejectRole ? QStringLiteral("cancel") : QStringLiteral("ok")];
        QTest::mouseClick(chosen, Qt::LeftButton);
    }

    void clickItem(QListView *view, bool twice)
    {
        const int rows = view->model()->rowCount();
        if (rows == 0)
            return;
        const QModelIndex index = view->model()->index(pick(rows), 0);
        view->scrollTo(index);
        const QPoint at = view->visualRect(index).center();
        if (twice)
            doubleClick(view->viewport(), at);
        else
            QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
    }

    void act()
    {
        KeyPressEdit *box = chance(50) ? m_w.txtNamae1 : m_w.txtNamae2;
        QListView *list = chance(50) ? m_w.lstJibun : m_w.lstAite;
        const int r = pick(100);
        if (r < 30) {
            ++counts[QStringLiteral("type")];
            QTest::sendKeyEvent(QTest::Click, box, Qt::Key_unknown, QString(kKeys[pick(int(kKeys.size()))]), {});
        } else if (r < 36) {
            ++counts[QStringLiteral("enter")];
            QTest::keyClick(box, Qt::Key_Return);
        } else if (r < 40) {
            ++counts[QStringLiteral("backspace")];
            QTest::keyClick(box, chance(30) ? Qt::Key_Home : Qt::Key_Backspace);
        } else if (r < 53) {
            ++counts[QStringLiteral("list click")];
            clickItem(list, false);
        } else if (r < 58) {
            ++counts[QStringLiteral("list double-click")];
            clickItem(list, true);
        } else if (r < 59) {
            ++counts[QStringLiteral("label double-click")];
            doubleClick(chance(50) ? static_cast<QWidget *>(m_w.lblJlist) : m_w.lblAlist);
        } else if (r < 69) {
            ++counts[QStringLiteral("option")];
            // Mostly the animated mode, so that batches keep running.
            QTest::mouseClick(m_w.Option1(chance(75) ? 1 : 0), Qt::LeftButton);
        } else if (r < 79) {
            ++counts[QStringLiteral("swap")];
            QTest::mouseClick(m_w.cmdKoukan, Qt::LeftButton);
        } else if (r < 89) {
            ++counts[QStringLiteral("play")];
            QTest::mouseClick(m_w.cmdPlay, Qt::LeftButton);
        } else {
            ++counts[QStringLiteral("batch")];
            QTest::mouseClick(m_w.cmdHozon, Qt::LeftButton);
        }
    }

    MainWindow &m_w;
    std::mt19937 m_rng;
    qint64 m_runMs;
    QElapsedTimer m_clock;
    bool m_finished = false;
};

} // namespace

class TestStress : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { installFontSubstitutions(); }

    void randomClicksDuringAnimatedBatch()
    {
        TempWorkDir dir;
        const QString self = QStringLiteral("自分.txt");
        const QString partner = QStringLiteral("相手.txt");
        dir.write(self, listBytes({QStringLiteral("たろう"), QStringLiteral("じろう"), QStringLiteral("さぶろう"),
                                   QStringLiteral("しろう")}));
        dir.write(partner, listBytes({QStringLiteral("はなこ"), QStringLiteral("よしこ"), QStringLiteral("ゆみ"),
                                      QStringLiteral("きょうこ")}));

        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(w.Option1(1)->isChecked());

        const qint64 seconds = qEnvironmentVariableIsSet("KANAROLL_STRESS_SECONDS")
                                   ? qEnvironmentVariableIntValue("KANAROLL_STRESS_SECONDS")
                                   : 60;
        Driver driver(w, 20240607u, seconds * 1000);
        // The run starts inside an animated batch; its mode notice is the first box.
        QTimer::singleShot(0, &w, [&w] { QTest::mouseClick(w.cmdHozon, Qt::LeftButton); });
        QTimer::singleShot(50, &driver, [&driver] { driver.start(); });
        QTRY_VERIFY_WITH_TIMEOUT(driver.finished(), int(seconds * 1000 + 120000));
        QVERIFY(!w.isRunning());
        QVERIFY(!QApplication::activeModalWidget());
        for (auto it = driver.counts.cbegin(); it != driver.counts.cend(); ++it)
            qInfo("%s: %d", qPrintable(it.key()), it.value());
        QVERIFY(driver.counts.value(QStringLiteral("batch")) > 0);

        // Every row of the grid is the engine's result for its pair.
        const std::vector<IchiranRow> rows = w.ichiran().rows();
        qInfo("grid rows: %d", int(rows.size()));
        for (const IchiranRow &row : rows) {
            const AishoResult expected = AishoCalc(row.name1.toStdU16String(), row.name2.toStdU16String());
            QVERIFY2(!expected.refused, qPrintable(row.name1 + u' ' + row.name2));
            QCOMPARE(row.percent, QString::number(expected.percentage));
        }

        // Each list file holds its list, byte for byte.
        QCOMPARE(dir.read(self), listBytes(w.sides().jibun().names()));
        QCOMPARE(dir.read(partner), listBytes(w.sides().aite().names()));

        // Still answering: a fortune of its own runs to the right result.
        QTest::mouseClick(w.Option1(0), Qt::LeftButton);
        w.txtNamae1->setText(QStringLiteral("たろう"));
        w.txtNamae2->setText(QStringLiteral("はなこ"));
        QTest::mouseClick(w.cmdPlay, Qt::LeftButton);
        QCOMPARE(w.lblKekka->text(), QStringLiteral("42%"));
        QVERIFY(!w.isRunning());
    }
};

QTEST_MAIN(TestStress)
#include "tst_stress.moc"
