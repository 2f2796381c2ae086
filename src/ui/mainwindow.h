#pragma once

#include "controls.h"
#include "play/display.h"

#include <QElapsedTimer>
#include <QFontMetricsF>
#include <QFrame>
#include <QListView>
#include <QRadioButton>
#include <QTableView>
#include <QWidget>

#include <array>
#include <functional>
#include <map>
#include <memory>

class QButtonGroup;

namespace kanaroll {

class HelpService;
class InputHold;
class IchiranModel;
class IchiranWindow;
class NamaeSides;
struct NamaeDialogs;
enum class NamaeSide;
enum class IchiranSortButton;

// The one window, frmMain. Controls carry their design names; indexed groups
// are ControlArrays indexed as designed.
class MainWindow : public QWidget
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Controls, topmost first within each container.
    QFrame *fraIchiran = nullptr;
    QToolButton *cmdKza = nullptr;
    QToolButton *cmdKaz = nullptr;
    QToolButton *cmdNza = nullptr;
    QToolButton *cmdNaz = nullptr;
    QToolButton *cmdIHozon = nullptr;
    QToolButton *cmdIPrint = nullptr;
    QTableView *msgList = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *Label2 = nullptr;
    QFrame *fraHide1 = nullptr;
    QLabel *Image2 = nullptr;
    QToolButton *cmdEnd = nullptr;
    QToolButton *cmdHelp = nullptr;
    QToolButton *cmdHozon = nullptr;
    QToolButton *cmdPlay = nullptr;
    QFrame *Frame2 = nullptr;
    QListView *lstJibun = nullptr;
    WrapButton *cmdKoukan = nullptr;
    ControlArray<QRadioButton *, 0, 1> Option1;
    QListView *lstAite = nullptr;
    KeyPressEdit *txtNamae1 = nullptr;
    KeyPressEdit *txtNamae2 = nullptr;
    UprightLabel *lblJlist = nullptr;
    UprightLabel *lblAlist = nullptr;
    ControlArray<QLabel *, 0, 1> Label1;
    PictureBox *Picture1 = nullptr;
    QLabel *Image1 = nullptr;
    ControlArray<LineControl *, 0, 1> Line2;
    ControlArray<QLabel *, 1, 3> imgkana;
    ControlArray<QLabel *, 1, 3> imgniko;
    ControlArray<QLabel *, 1, 3> imgwara;
    QLabel *lblKekka = nullptr;
    ControlArray<LineControl *, 1, 2> Line1;
    QLabel *lblCp = nullptr;

    // Window state.
    QString strHelpFile;
    float sngWait = 0.005f;

    // The single fortune of the two entry boxes. The click handler ignores
    // the outcome; the batch run takes its percentage from it.
    PlayOutcome Play();
    // What the fortune shows; the controls take it on when the window next
    // processes events, or when the play or batch ends.
    const DisplayState &display() const { return m_display; }
    // What letting events through costs quick runs, since the window was made.
    struct RunEventsCost {
        int times = 0;
        qint64 nsecs = 0;
    };
    RunEventsCost runEventsCost() const { return m_runEventsCost; }
    bool isRunning() const { return m_running; }
    bool isClosing() const { return m_closing; }
    HelpService *helpService() const { return m_help.get(); }
    NamaeSides &sides() { return *m_sides; }
    IchiranModel &ichiran() { return *m_ichiran; }
    void IchiranInit();

public slots:
    void cmdPlay_Click();
    void cmdHozon_Click();
    void cmdHelp_Click();
    void cmdEnd_Click();
    void cmdKoukan_Click();
    void cmdKza_Click();
    void cmdKaz_Click();
    void cmdNza_Click();
    void cmdNaz_Click();
    void cmdIHozon_Click();
    void cmdIPrint_Click();
    void Option1_Click(int index);
    void lstJibun_Click();
    void lstAite_Click();
    void lstJibun_DblClick();
    void lstAite_DblClick();
    void lblJlist_DblClick();
    void lblAlist_DblClick();
    bool txtNamae1_KeyPress(int keyAscii);
    bool txtNamae2_KeyPress(int keyAscii);

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void createControls();
    void setTabOrder();
    void connectHandlers();
    void Form_Load();
    bool PlayPause();
    void setUpDisplay();
    void applyDisplay();
    void adoptEntries();
    void startRun();
    void runEvents(const std::function<void()> &process);
    bool runTick(bool betweenPairs = false);
    double pictureTextWidth(int points, const QString &text);
    void endProgram();
    void createLists();
    void loadLists();
    bool NamaeKeyPress(NamaeSide side, int keyAscii);
    void NamaeClick(NamaeSide side, QListView *view);
    void NamaeDblClick(NamaeSide side, QListView *view);
    void IchiranSortBy(IchiranSortButton button);
    void quickBatch();
    void endRun();

    QButtonGroup *m_optionGroup = nullptr;
    std::unique_ptr<HelpService> m_help;
    InputHold *m_input = nullptr; // a quick run keeps the window's input back
    std::unique_ptr<NamaeDialogs> m_dialogs;
    std::unique_ptr<NamaeSides> m_sides;
    std::unique_ptr<IchiranModel> m_ichiran;
    std::unique_ptr<IchiranWindow> m_ichiranWindow; // the view's way to a grid too large for it
    bool m_syncingList = false; // the views follow the model; no pick
    bool m_running = false; // a fortune or batch is under way
    bool m_closing = false; // the program is ending; running loops unwind
    bool m_inBatch = false; // plays write the display; the batch applies it
    bool m_ichiranOfEmptyLists = false; // the last run had a list without names
    DisplayState m_display;
    PlayHooks m_playHooks;
    QElapsedTimer m_runClock;  // since the current run started
    qint64 m_lastEventsMs = 0; // when the current run last let events through
    std::array<int, 2> m_tickCounts{}; // calls since the clock was read: within a pair, between pairs
    RunEventsCost m_runEventsCost;
    struct PictureMetrics {
        QFontMetricsF metrics;
        std::array<double, 10> digits; // advance of each digit, px
        bool summable;                 // a row of digits measures the sum of its digits
    };
    std::map<int, PictureMetrics> m_pictureMetrics; // the picture's font by size
};

} // namespace kanaroll
