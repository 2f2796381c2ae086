#pragma once

#include "controls.h"

#include <QFrame>
#include <QListView>
#include <QRadioButton>
#include <QTableView>
#include <QWidget>

#include <memory>

class QButtonGroup;

namespace kanaroll {

class HelpService;
class IchiranModel;
class NamaeSides;
struct NamaeDialogs;
enum class NamaeSide;
enum class IchiranSortButton;

// What one fortune came to, for a caller such as the batch run.
struct PlayOutcome {
    enum Kind {
        Shown,     // steps ran to the end; percentage holds the result
        EmptyName, // a box was empty; nothing changed
        Refused,   // a character outside the table
        Busy,      // another fortune or batch was under way; ignored
        Aborted,   // the program is closing
    };
    Kind kind = Busy;
    int percentage = -1;
};

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
    void KaoHide();
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
    void PlayPause();
    void endProgram();
    void createLists();
    void loadLists();
    bool NamaeKeyPress(NamaeSide side, int keyAscii);
    void NamaeClick(NamaeSide side, QListView *view);
    void NamaeDblClick(NamaeSide side, QListView *view);
    void IchiranSortBy(IchiranSortButton button);

    QButtonGroup *m_optionGroup = nullptr;
    std::unique_ptr<HelpService> m_help;
    std::unique_ptr<NamaeDialogs> m_dialogs;
    std::unique_ptr<NamaeSides> m_sides;
    std::unique_ptr<IchiranModel> m_ichiran;
    bool m_syncingList = false; // the views follow the model; no pick
    bool m_running = false; // a fortune or batch is under way
    bool m_closing = false; // the program is ending; running loops unwind
};

} // namespace kanaroll
