// The play command in the window: the display state of the fortune, and the
// glue that lets the controls take it on when the window processes events.

#include "play/display.h"

#include "ui/access.h"
#include "ui/inputhold.h"
#include "ui/mainwindow.h"
#include "ui/msgbox.h"
#include "ui/twips.h"
#include "ui/wait.h"

#include <QCoreApplication>

namespace kanaroll {

namespace {

// A quick run lets the window handle its events this often, so it never
// freezes; the clock is read only every few rows. Within a batch this
// happens between pairs, where a whole fortune stands, unless one pair alone
// takes long.
constexpr qint64 kRunEventsMs = 100;
constexpr qint64 kRunEventsInPairMs = 3 * kRunEventsMs;
constexpr int kTickStride = 16;

} // namespace

void MainWindow::cmdPlay_Click()
{
    // A click during a fortune or batch would draw two triangles into one
    // picture; it is ignored.
    if (m_running || m_closing)
        return;
    m_running = true;
    Play();
    endRun();
}

void MainWindow::endRun()
{
    m_running = false;
    // What the user did during a quick run is handled now, in its order.
    if (m_closing)
        m_input->drop();
    else
        m_input->release();
}

void MainWindow::Option1_Click(int index)
{
    if (index == 0)
        sngWait = 0.0f;
    else if (index == 1)
        sngWait = 0.005f;
}

void MainWindow::setUpDisplay()
{
    DisplayState &s = m_display;
    s.pair = lblCp->text();
    s.kekka = lblKekka->text();
    s.fontSize = Picture1->drawFont().pointSize();
    s.texts = Picture1->texts();
    for (int i = 1; i <= 3; ++i) {
        s.faces[static_cast<std::size_t>(i - 1)] =
            static_cast<std::uint8_t>((imgwara(i)->isHidden() ? 0 : kWaraBit) | (imgniko(i)->isHidden() ? 0 : kNikoBit)
                                      | (imgkana(i)->isHidden() ? 0 : kKanaBit));
    }
    s.covered = !fraHide1->isHidden();
    s.ichiranShown = !fraIchiran->isHidden();
    adoptEntries();

    m_playHooks.textWidth = [this](int points, const QString &text) { return pictureTextWidth(points, text); };
    m_playHooks.animated = [this] { return sngWait != 0.0f && !m_closing; };
    m_playHooks.pause = [this] { return PlayPause(); };
    m_playHooks.message = [this](PlayMessage m) {
        runEvents([this, m] {
            if (m == PlayMessage::EmptyName)
                MsgBoxShow(QStringLiteral("名前を入力してください"), QStringLiteral("未入力確認"), MsgKind::WarningNotice, this);
            else
                MsgBoxShow(QStringLiteral("ひらがな以外の文字が含まれています"), QStringLiteral("文字確認"),
                           MsgKind::WarningNotice, this);
        });
    };
}

void MainWindow::applyDisplay()
{
    const DisplayState &s = m_display;
    const bool drawingChanged = lblCp->text() != s.pair || lblKekka->text() != s.kekka || Picture1->texts() != s.texts
                                || fraHide1->isHidden() == s.covered;
    const bool uncovered = !fraHide1->isHidden() && !s.covered;
    if (txtNamae1->text() != s.name1)
        txtNamae1->setText(s.name1);
    if (txtNamae2->text() != s.name2)
        txtNamae2->setText(s.name2);
    if (fraIchiran->isHidden() == s.ichiranShown)
        fraIchiran->setVisible(s.ichiranShown);
    if (lblCp->text() != s.pair)
        lblCp->setText(s.pair);
    Picture1->setFontSize(s.fontSize);
    Picture1->setTexts(s.texts);
    if (lblKekka->text() != s.kekka)
        lblKekka->setText(s.kekka);
    for (int i = 1; i <= 3; ++i) {
        const std::uint8_t bits = s.faces[static_cast<std::size_t>(i - 1)];
        const std::pair<QLabel *, std::uint8_t> images[] = {
            {imgwara(i), kWaraBit}, {imgniko(i), kNikoBit}, {imgkana(i), kKanaBit}};
        for (const auto &[image, bit] : images) {
            const bool shown = (bits & bit) != 0;
            if (image->isHidden() == shown)
                image->setVisible(shown);
        }
    }
    if (fraHide1->isHidden() == s.covered)
        fraHide1->setVisible(s.covered);
    if (drawingChanged)
        accessibilityDisplayChanged(*this, uncovered);
}

void MainWindow::adoptEntries()
{
    // The boxes may have been typed into while events were processed.
    m_display.name1 = txtNamae1->text();
    m_display.name2 = txtNamae2->text();
}

void MainWindow::startRun()
{
    adoptEntries();
    m_runClock.start();
    m_lastEventsMs = 0;
    m_tickCounts = {};
}

void MainWindow::runEvents(const std::function<void()> &process)
{
    applyDisplay();
    process();
    adoptEntries();
    if (m_runClock.isValid())
        m_lastEventsMs = m_runClock.elapsed();
}

bool MainWindow::runTick(bool betweenPairs)
{
    const qint64 interval = betweenPairs || !m_inBatch ? kRunEventsMs : kRunEventsInPairMs;
    int &count = m_tickCounts[betweenPairs ? 1 : 0];
    if (++count < kTickStride)
        return !m_closing;
    count = 0;
    if (m_runClock.isValid() && m_runClock.elapsed() - m_lastEventsMs >= interval) {
        // The quick mode paints but takes no input until the run ends.
        if (sngWait == 0.0f)
            m_input->hold();
        const qint64 t0 = m_runClock.nsecsElapsed();
        runEvents([] { QCoreApplication::processEvents(QEventLoop::AllEvents); });
        ++m_runEventsCost.times;
        m_runEventsCost.nsecs += m_runClock.nsecsElapsed() - t0;
    }
    return !m_closing;
}

bool MainWindow::PlayPause()
{
    if (sngWait == 0.0f || m_closing)
        return runTick();
    runEvents([this] { WaitWithEvents([this] { return m_closing ? 0.0 : static_cast<double>(sngWait); }); });
    return !m_closing;
}

double MainWindow::pictureTextWidth(int points, const QString &text)
{
    auto it = m_pictureMetrics.find(points);
    if (it == m_pictureMetrics.end()) {
        QFont f = Picture1->drawFont();
        f.setPointSize(points);
        PictureMetrics m{QFontMetricsF(f, Picture1), {}, false};
        // Rows are digits only. Where a row of digits measures exactly the sum
        // of its digits (no kerning, no shaping between them), it is summed
        // from a table rather than shaped, since a batch measures every pair.
        double sum = 0;
        for (int d = 0; d < 10; ++d) {
            m.digits[static_cast<std::size_t>(d)] = m.metrics.horizontalAdvance(QString(QChar(u'0' + d)));
            sum += m.digits[static_cast<std::size_t>(d)];
        }
        m.summable = m.metrics.horizontalAdvance(QStringLiteral("0123456789")) == sum
                     && m.metrics.horizontalAdvance(QStringLiteral("9876543210")) == sum;
        it = m_pictureMetrics.emplace(points, std::move(m)).first;
    }
    const PictureMetrics &m = it->second;
    double width = 0;
    if (m.summable) {
        for (QChar c : text) {
            if (c < u'0' || c > u'9')
                return m.metrics.horizontalAdvance(text) * kTwipsPerPixel;
            width += m.digits[static_cast<std::size_t>(c.unicode() - u'0')];
        }
    } else {
        width = m.metrics.horizontalAdvance(text);
    }
    return width * kTwipsPerPixel;
}

PlayOutcome MainWindow::Play()
{
    // Inside a batch the run owns the display; on its own the play is a run.
    const bool ownRun = !m_inBatch;
    if (ownRun)
        startRun();
    const PlayOutcome out = playFortune(m_display, Picture1->widthTwips(), placeOf("Picture1").height, m_playHooks);
    if (ownRun) {
        applyDisplay();
        if (out.kind == PlayOutcome::Shown && !m_closing)
            announceFortune(*this);
    }
    return out;
}

} // namespace kanaroll
