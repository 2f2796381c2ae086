#include "mainwindow.h"

#include "inputhold.h"

#include "access.h"
#include "buttonkeys.h"
#include "fonts.h"
#include "fortunepicture.h"
#include "gridcopy.h"
#include "batch/ichiran.h"
#include "ui/help/helpservice.h"
#include "lists/namaewaku.h"
#include "msgbox.h"
#include "ichiranwindow.h"
#include "pictures.h"
#include "twips.h"
#include "wait.h"


#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QHeaderView>
#include <QPaintEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QtMath>
#include <QScreen>

namespace kanaroll {

namespace {

const QColor kIvory(255, 255, 240);
// The design's own button face, behind texts whose colour it fixes for it.
const QColor kDesignFace(240, 240, 240);

// Fills the line of one logical pixel just before `edge` (a row or column
// boundary) from `from` to `to`, snapped to device pixels: one device pixel
// thick below a scale of 2, so that at 1.25 or 1.5 no line comes out thicker
// than its neighbours. The cells' fills reach the boundary, so the rest of the
// logical pixel is cell.
void fillHairline(QPainter &p, Qt::Orientation across, int edge, int from, int to, const QColor &colour)
{
    const QTransform toDevice = p.deviceTransform();
    const bool rows = across == Qt::Horizontal;
    const qreal scale = rows ? toDevice.m22() : toDevice.m11();
    const int thick = qMax(1, int(scale));
    auto pixel = [&](qreal logicalX, qreal logicalY) {
        const QPointF d = toDevice.map(QPointF(logicalX, logicalY));
        return QPoint(qCeil(d.x() - 0.5), qCeil(d.y() - 0.5));
    };
    QRect device;
    if (rows) {
        const int end = pixel(0, edge).y();
        device = QRect(QPoint(pixel(from, 0).x(), end - thick), QPoint(pixel(to, 0).x() - 1, end - 1));
    } else {
        const int end = pixel(edge, 0).x();
        device = QRect(QPoint(end - thick, pixel(0, from).y()), QPoint(end - 1, pixel(0, to).y() - 1));
    }
    p.fillRect(toDevice.inverted().mapRect(QRectF(device)), colour);
}

// Grid cells keep the system's window colour; the area no cell covers shows
// the view's ivory base. A cell's fill reaches its grid lines.
class GridCellDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        painter->fillRect(option.rect.adjusted(0, 0, 1, 1), QApplication::palette().color(QPalette::Base));
        QStyledItemDelegate::paint(painter, option, index);
    }
};

// The grid draws its own lines, snapped to device pixels.
class GridView : public QTableView
{
public:
    explicit GridView(QWidget *parent) : QTableView(parent) { setGridStyle(Qt::NoPen); }

protected:
    void paintEvent(QPaintEvent *event) override
    {
        QTableView::paintEvent(event);
        if (!model() || model()->rowCount() == 0 || model()->columnCount() == 0)
            return;
        QStyleOptionViewItem option;
        initViewItemOption(&option);
        const QColor colour =
            QColor::fromRgba(static_cast<QRgb>(style()->styleHint(QStyle::SH_Table_GridLineColor, &option, this)));
        QPainter p(viewport());
        const QRect dirty = event->rect();
        const int lastRow = model()->rowCount() - 1;
        const int top = rowAt(dirty.top());
        const int bottom = rowAt(dirty.bottom()) < 0 ? lastRow : rowAt(dirty.bottom());
        for (int row = qMax(top, 0); top >= 0 && row <= bottom; ++row) {
            const int edge = rowViewportPosition(row) + rowHeight(row);
            fillHairline(p, Qt::Horizontal, edge, dirty.left(), dirty.right() + 1, colour);
        }
        for (int column = 0; column < model()->columnCount(); ++column) {
            if (isColumnHidden(column))
                continue;
            const int edge = columnViewportPosition(column) + columnWidth(column);
            if (edge > dirty.left() && edge - 1 <= dirty.right())
                fillHairline(p, Qt::Vertical, edge, dirty.top(), dirty.bottom() + 1, colour);
        }
    }

    // A selection's repaint takes in the cells' lines, which the fills reach.
    QRegion visualRegionForSelection(const QItemSelection &selection) const override
    {
        QRegion grown;
        for (const QRect &r : QTableView::visualRegionForSelection(selection))
            grown += r.adjusted(0, 0, 1, 1);
        return grown;
    }
};

// The header row keeps the button face of its sections, but draws its grid
// lines black, and the strip right of the last section is ivory like every
// other part of the grid that no cell covers.
class GridHeader : public QHeaderView
{
public:
    explicit GridHeader(QWidget *parent) : QHeaderView(Qt::Horizontal, parent) { setSectionsClickable(true); }

protected:
    void paintEvent(QPaintEvent *event) override
    {
        QHeaderView::paintEvent(event);
        QPainter p(viewport());
        const int end = length() - offset();
        p.fillRect(QRect(end, 0, viewport()->width() - end, viewport()->height()), kIvory);
        const int height = viewport()->height();
        for (int i = 0; i < count(); ++i) {
            if (isSectionHidden(i))
                continue;
            fillHairline(p, Qt::Vertical, sectionViewportPosition(i) + sectionSize(i), 0, height, Qt::black);
        }
        fillHairline(p, Qt::Horizontal, height, 0, end, Qt::black);
    }
};

void place(QWidget *w, const char *name)
{
    w->setObjectName(QString::fromLatin1(name));
    w->setGeometry(twipsToPixels(placeOf(name).rect()));
}

void setColors(QWidget *w, const QColor &back, const QColor &text)
{
    QPalette pal = w->palette();
    if (back.isValid()) {
        pal.setColor(QPalette::Window, back);
        pal.setColor(QPalette::Base, back);
        w->setAutoFillBackground(true);
    }
    if (text.isValid()) {
        pal.setColor(QPalette::WindowText, text);
        pal.setColor(QPalette::Text, text);
    }
    w->setPalette(pal);
}

QLabel *makeLabel(QWidget *parent, const char *name, const QString &caption, const QFont &font)
{
    auto *l = new QLabel(caption, parent);
    place(l, name);
    l->setFont(font);
    return l;
}

// A label drawn with the sunken single border of the design.
void sinkBorder(QFrame *f)
{
    f->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    f->setLineWidth(1);
}

QFrame *makeFrame(QWidget *parent, const char *name)
{
    auto *f = new QFrame(parent);
    place(f, name);
    f->setFrameStyle(QFrame::Box | QFrame::Sunken); // etched, as a frame without caption
    return f;
}

QLabel *makeImage(QWidget *parent, const char *name, Picture picture)
{
    auto *l = new QLabel(parent);
    place(l, name);
    l->setPixmap(pixmap(picture));
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return l;
}

QToolButton *makePictureButton(QWidget *parent, const char *name, const QString &caption, const QString &tip,
                               int iconPixels)
{
    auto *b = new QToolButton(parent);
    place(b, name);
    b->setText(caption);
    b->setToolTip(tip);
    b->setFont(gothicFont(9));
    b->setIconSize(QSize(iconPixels, iconPixels));
    b->setToolButtonStyle(caption.isEmpty() ? Qt::ToolButtonIconOnly : Qt::ToolButtonTextUnderIcon);
    b->setFocusPolicy(Qt::StrongFocus);
    // Some styles grey the captions of a window without the focus, or draw
    // the focused one in the light selection text; on the button face
    // neither reads.
    QPalette pal = b->palette();
    const QColor captionColour = pal.color(QPalette::Active, QPalette::ButtonText);
    pal.setColor(QPalette::Inactive, QPalette::ButtonText, captionColour);
    pal.setColor(QPalette::Active, QPalette::HighlightedText, captionColour);
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText, captionColour);
    b->setPalette(pal);
    pressOnEnter(b);
    return b;
}

} // namespace

// The maximize box is asked for, but the window has a fixed size, so window
// managers show the box greyed out and cannot enlarge the window.
MainWindow::MainWindow(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Kanaroll"));
    setFixedSize(twipsToPixels(kClientWidthTwips), twipsToPixels(kClientHeightTwips));
    setFont(serifFont(9));
    m_help = createHelpService();
    createControls();
    m_input = new InputHold(this, [this](const QWidget *w) { return w == cmdEnd || cmdEnd->isAncestorOf(w); });
    createLists();
    setTabOrder();
    setUpAccessibility(*this);
    setUpFortunePicture(*this);
    connectHandlers();
    Form_Load();
    setUpDisplay();
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

MainWindow::~MainWindow()
{
    // The views go with the window, after the models they show.
    m_syncingList = true;
    lstJibun->setModel(nullptr);
    lstAite->setModel(nullptr);
    msgList->setModel(nullptr);
}

void MainWindow::createControls()
{
    setWindowIcon(icon(Picture::Heart));
    const Picture faces[3] = {Picture::FaceWara, Picture::FaceNiko, Picture::FaceKana};

    // Painted controls of the window, bottom first.
    lblCp = makeLabel(this, "lblCp", QString(), gothicFont(9));
    lblCp->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Line1(1) = new LineControl("Line1(1)", Qt::black, this);
    Line1(2) = new LineControl("Line1(2)", Qt::white, this);
    lblKekka = makeLabel(this, "lblKekka", QStringLiteral("100%"), serifFont(36, true, true));
    lblKekka->setAlignment(Qt::AlignRight | Qt::AlignTop);
    setColors(lblKekka, QColor(), Qt::black);
    lblKekka->setAutoFillBackground(false);
    static const char *const waraNames[] = {"imgwara(1)", "imgwara(2)", "imgwara(3)"};
    static const char *const nikoNames[] = {"imgniko(1)", "imgniko(2)", "imgniko(3)"};
    static const char *const kanaNames[] = {"imgkana(1)", "imgkana(2)", "imgkana(3)"};
    for (int i = 1; i <= 3; ++i)
        imgwara(i) = makeImage(this, waraNames[i - 1], faces[0]);
    for (int i = 1; i <= 3; ++i)
        imgniko(i) = makeImage(this, nikoNames[i - 1], faces[1]);
    for (int i = 1; i <= 3; ++i)
        imgkana(i) = makeImage(this, kanaNames[i - 1], faces[2]);
    Line2(0) = new LineControl("Line2(0)", Qt::white, this);
    Line2(1) = new LineControl("Line2(1)", palette().color(QPalette::WindowText), this);
    Image1 = makeImage(this, "Image1", Picture::TitleLogo);

    // Windowed controls of the window, bottom first.
    Picture1 = new PictureBox(this);
    place(Picture1, "Picture1");
    Picture1->setWidthTwips(placeOf("Picture1").width);
    Picture1->setBackColor(kIvory);
    Picture1->setForeColor(QColor(128, 0, 0));
    Picture1->setDrawFont(serifFont(18, true, true));
    Picture1->setFocusPolicy(Qt::StrongFocus);

    Frame2 = makeFrame(this, "Frame2");
    {
        Label1(0) = makeLabel(Frame2, "Label1(0)", QStringLiteral("自分"), gothicFont(12));
        Label1(1) = makeLabel(Frame2, "Label1(1)", QStringLiteral("相手"), gothicFont(12));
        setColors(Label1(0), QColor(255, 192, 255), QColor(192, 0, 0));
        setColors(Label1(1), QColor(192, 192, 255), QColor(0, 0, 128));
        lblAlist = new UprightLabel(QStringLiteral("相手リスト"), Frame2);
        lblJlist = new UprightLabel(QStringLiteral("自分リスト"), Frame2);
        place(lblAlist, "lblAlist");
        place(lblJlist, "lblJlist");
        setColors(lblJlist, QColor(255, 224, 192), QColor(64, 64, 0));
        setColors(lblAlist, QColor(255, 255, 192), QColor(64, 64, 0));
        for (QFrame *f : {static_cast<QFrame *>(Label1(0)), static_cast<QFrame *>(Label1(1)),
                          static_cast<QFrame *>(lblJlist), static_cast<QFrame *>(lblAlist)}) {
            sinkBorder(f);
            f->setFont(gothicFont(12));
        }
        // Centred across; a label's text stands at its top.
        Label1(0)->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        Label1(1)->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        lblJlist->setToolTip(QStringLiteral("ダブルクリックでリスト全部を削除"));
        lblAlist->setToolTip(QStringLiteral("ダブルクリックでリスト全部を削除"));

        txtNamae2 = new KeyPressEdit(Frame2);
        txtNamae1 = new KeyPressEdit(Frame2);
        place(txtNamae1, "txtNamae1");
        place(txtNamae2, "txtNamae2");
        for (KeyPressEdit *e : {txtNamae1, txtNamae2}) {
            e->setFont(gothicFont(12));
            e->setToolTip(QStringLiteral("Ｅｎｔｅｒでリストに追加"));
            // The ivory is fixed, so is the text on it: a dark palette's
            // light text would vanish.
            setColors(e, kIvory, Qt::black);
            e->setAutoFillBackground(false);
        }

        lstAite = new QListView(Frame2);
        place(lstAite, "lstAite");
        Option1(0) = new OptionButton(QStringLiteral("さくさくモード"), Frame2);
        Option1(1) = new OptionButton(QStringLiteral("わくわくモード"), Frame2);
        place(Option1(0), "Option1(0)");
        place(Option1(1), "Option1(1)");
        cmdKoukan = new WrapButton(QStringLiteral("←    ←"), Frame2);
        place(cmdKoukan, "cmdKoukan");
        cmdKoukan->setFont(gothicFont(9));
        cmdKoukan->setToolTip(QStringLiteral("自分と相手を交換します"));
        pressOnEnter(cmdKoukan);
        lstJibun = new QListView(Frame2);
        place(lstJibun, "lstJibun");
        for (QListView *l : {lstJibun, lstAite}) {
            l->setFont(gothicFont(12));
            l->setToolTip(QStringLiteral("クリックで選択。ダブルクリックで選択行を削除"));
            setColors(l, kIvory, Qt::black);
            l->setAutoFillBackground(false);
            l->setEditTriggers(QAbstractItemView::NoEditTriggers);
            l->setSelectionMode(QAbstractItemView::SingleSelection);
            l->setUniformItemSizes(true); // long lists stay fast
        }
        m_optionGroup = new QButtonGroup(this);
        for (int i = 0; i <= 1; ++i) {
            Option1(i)->setFont(gothicFont(9));
            m_optionGroup->addButton(Option1(i), i);
        }
        // Tab reaches the option group at its selected member only.
        for (int i = 0; i <= 1; ++i) {
            connect(Option1(i), &QRadioButton::toggled, Option1(i), [b = Option1(i)](bool on) {
                b->setFocusPolicy(on ? Qt::StrongFocus : Qt::ClickFocus);
            });
            Option1(i)->setFocusPolicy(Qt::ClickFocus);
        }
        Option1(1)->setChecked(true);
    }

    cmdPlay = makePictureButton(this, "cmdPlay", QStringLiteral("占う"), QStringLiteral("自分/相手枠の相性占いをします"), 32);
    cmdHozon = makePictureButton(this, "cmdHozon", QStringLiteral("一括"),
                                 QStringLiteral("自分/相手リストの組み合わせを一括で占います"), 32);
    cmdHelp = makePictureButton(this, "cmdHelp", QStringLiteral("ヘルプ"), QStringLiteral("ヘルプファイルを開きます"), 32);
    cmdEnd = makePictureButton(this, "cmdEnd", QStringLiteral("終了"), QStringLiteral("プログラムを終了します"), 32);

    fraHide1 = makeFrame(this, "fraHide1");
    Image2 = makeImage(fraHide1, "Image2", Picture::Teaser);
    fraHide1->setAutoFillBackground(true);
    fitFixedColours();

    fraIchiran = makeFrame(this, "fraIchiran");
    fraIchiran->setAutoFillBackground(true);
    {
        Label2 = makeLabel(fraIchiran, "Label2", QStringLiteral("名前"), gothicFont(11.25));
        Label3 = makeLabel(fraIchiran, "Label3", QStringLiteral("％"), gothicFont(11.25));
        Label2->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        Label3->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        msgList = new GridView(fraIchiran);
        place(msgList, "msgList");
        msgList->setFont(gothicFont(9));
        msgList->setHorizontalHeader(new GridHeader(msgList));
        msgList->verticalHeader()->hide(); // no fixed column
        msgList->setEditTriggers(QAbstractItemView::NoEditTriggers);
        // Tab moves on to the grid's buttons; the arrows, Home/End and the
        // page keys move between cells. Rows are selected whole, for copying.
        msgList->setTabKeyNavigation(false);
        msgList->setSelectionBehavior(QAbstractItemView::SelectRows);
        msgList->setSelectionMode(QAbstractItemView::ExtendedSelection);
        msgList->setWordWrap(false);
        msgList->horizontalHeader()->setHighlightSections(false);
        msgList->horizontalHeader()->setStretchLastSection(false);
        msgList->verticalHeader()->setDefaultSectionSize(QFontMetrics(gothicFont(9)).height() + 4);
        msgList->setStyleSheet(QStringLiteral("QTableView { gridline-color: rgb(192,192,192); }"));
        QPalette pal = msgList->palette();
        pal.setColor(QPalette::Base, kIvory);
        msgList->setPalette(pal);
        msgList->setItemDelegate(new GridCellDelegate(msgList));
        // A copy keeps the window as busy as a run does.
        setUpGridCopy(msgList, {[this] {
                                    if (m_running || m_closing)
                                        return false;
                                    m_running = true;
                                    m_input->hold();
                                    return true;
                                },
                                [this] { endRun(); }, [this] { return m_closing; }});

        cmdIPrint = makePictureButton(fraIchiran, "cmdIPrint", QString(), QStringLiteral("結果を印刷します"), 16);
        cmdIHozon = makePictureButton(fraIchiran, "cmdIHozon", QString(), QStringLiteral("結果を保存します"), 16);
        cmdNaz = makePictureButton(fraIchiran, "cmdNaz", QString(), QStringLiteral("名前を昇順で並び替えます"), 16);
        cmdNza = makePictureButton(fraIchiran, "cmdNza", QString(), QStringLiteral("名前を降順に並び替えます"), 16);
        cmdKaz = makePictureButton(fraIchiran, "cmdKaz", QString(), QStringLiteral("相性度を低い順に並び替えます"), 16);
        cmdKza = makePictureButton(fraIchiran, "cmdKza", QString(), QStringLiteral("相性度を高い順に並び替えます"), 16);
    }
    fraIchiran->hide();

    cmdPlay->setIcon(icon(Picture::Heart));
    cmdHozon->setIcon(icon(Picture::Spade));
    cmdHelp->setIcon(icon(Picture::Help));
    cmdEnd->setIcon(icon(Picture::Exit));
    cmdNaz->setIcon(QIcon(pixmap(Picture::SortAZ)));
    cmdKaz->setIcon(QIcon(pixmap(Picture::SortAZ)));
    cmdNza->setIcon(QIcon(pixmap(Picture::SortZA)));
    cmdKza->setIcon(QIcon(pixmap(Picture::SortZA)));
    cmdIPrint->setIcon(QIcon(pixmap(Picture::Print)));
    cmdIHozon->setIcon(QIcon(pixmap(Picture::Save)));
}

void MainWindow::setTabOrder()
{
    // Labels, frames and images never take the focus.
    const QList<QWidget *> order = {Picture1, txtNamae1, txtNamae2, cmdPlay,   cmdHozon,  cmdHelp, cmdEnd,
                                    lstAite,  Option1(0), Option1(1), cmdKoukan, lstJibun, msgList, cmdIPrint,
                                    cmdIHozon, cmdNaz,    cmdNza,    cmdKaz,    cmdKza};
    for (qsizetype i = 0; i + 1 < order.size(); ++i)
        QWidget::setTabOrder(order[i], order[i + 1]);
}

void MainWindow::connectHandlers()
{
    connect(cmdPlay, &QToolButton::clicked, this, &MainWindow::cmdPlay_Click);
    connect(cmdHozon, &QToolButton::clicked, this, &MainWindow::cmdHozon_Click);
    connect(cmdHelp, &QToolButton::clicked, this, &MainWindow::cmdHelp_Click);
    connect(cmdEnd, &QToolButton::clicked, this, &MainWindow::cmdEnd_Click);
    connect(cmdKoukan, &QPushButton::clicked, this, &MainWindow::cmdKoukan_Click);
    connect(cmdKza, &QToolButton::clicked, this, &MainWindow::cmdKza_Click);
    connect(cmdKaz, &QToolButton::clicked, this, &MainWindow::cmdKaz_Click);
    connect(cmdNza, &QToolButton::clicked, this, &MainWindow::cmdNza_Click);
    connect(cmdNaz, &QToolButton::clicked, this, &MainWindow::cmdNaz_Click);
    connect(cmdIHozon, &QToolButton::clicked, this, &MainWindow::cmdIHozon_Click);
    connect(cmdIPrint, &QToolButton::clicked, this, &MainWindow::cmdIPrint_Click);
    connect(m_optionGroup, &QButtonGroup::idClicked, this, &MainWindow::Option1_Click);
    connect(lstJibun, &QListView::doubleClicked, this, &MainWindow::lstJibun_DblClick);
    connect(lstAite, &QListView::doubleClicked, this, &MainWindow::lstAite_DblClick);
    connect(lblJlist, &UprightLabel::doubleClicked, this, &MainWindow::lblJlist_DblClick);
    connect(lblAlist, &UprightLabel::doubleClicked, this, &MainWindow::lblAlist_DblClick);
    txtNamae1->onKeyPress = [this](int k) { return txtNamae1_KeyPress(k); };
    txtNamae2->onKeyPress = [this](int k) { return txtNamae2_KeyPress(k); };
}

void MainWindow::Form_Load()
{
    strHelpFile = QStringLiteral("zqHelp.chm");
    sngWait = 0.005f;
    loadLists(); // the self list, the first self name, the partner list
    txtNamae2->clear();
    IchiranInit();
}

void MainWindow::cmdHelp_Click()
{
    // A missing help file shows nothing and asks nothing.
    m_help->displayTopic(this, strHelpFile);
}

void MainWindow::cmdEnd_Click()
{
    endProgram();
}

void MainWindow::endProgram()
{
    // Running fortunes and batches see the flag at their next pause and unwind;
    // the main loop then returns with status 0.
    m_closing = true;
    m_input->drop();
    m_help->closeAll();
    hide();
    QCoreApplication::exit(0);
}

void MainWindow::fitFixedColours()
{
    // The black percentage and the banner's lettering are drawn for a light
    // button face; on a palette whose window does not carry them they keep
    // that face behind them. Elsewhere the palette rules.
    const bool dark = contrastRatio(Qt::black, palette().color(QPalette::Window)) < 4.5;
    for (QWidget *w : {static_cast<QWidget *>(lblKekka), static_cast<QWidget *>(fraHide1)}) {
        QPalette pal = w->palette();
        pal.setColor(QPalette::Window, dark ? kDesignFace : palette().color(QPalette::Window));
        w->setPalette(pal);
    }
    lblKekka->setAutoFillBackground(dark);
}

void MainWindow::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && lblKekka)
        fitFixedColours();
    // The border is fixed: a window manager that maximizes regardless (some
    // ignore the size hints) gets the window back at its own size.
    if (event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMaximized))
        setWindowState(windowState() & ~Qt::WindowMaximized);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    event->accept();
    if (!m_closing)
        endProgram();
}

} // namespace kanaroll
