#include "fortunepicture.h"

#include "batch/messages.h"
#include "mainwindow.h"
#include "msgbox.h"
#include "twips.h"

#include <QBuffer>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QSaveFile>

namespace kanaroll {

namespace {

bool fortuneShown(MainWindow &w)
{
    return !w.isRunning() && w.fraHide1->isHidden() && w.fraIchiran->isHidden() && !w.lblCp->text().isEmpty();
}

void copyImage(MainWindow &w)
{
    const QImage image = fortuneImage(w);
    if (!image.isNull())
        QGuiApplication::clipboard()->setImage(image);
}

void saveImage(MainWindow &w)
{
    const QImage image = fortuneImage(w);
    if (image.isNull())
        return;
    QFileDialog dialog(&w, QStringLiteral("画像を保存"), QDir::currentPath(), QStringLiteral("PNG 画像 (*.png)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("png"));
    dialog.selectFile(fortuneImageFileName(w));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString problem = saveFortuneImage(image, dialog.selectedFiles().constFirst());
    if (!problem.isEmpty())
        MsgBoxShow(problem, batchmsg::kSaveFailedTitle, MsgKind::WarningNotice, &w);
}

class PictureKeys : public QObject
{
public:
    explicit PictureKeys(MainWindow &w) : QObject(&w), m_window(w) {}

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->matches(QKeySequence::Copy)) {
            copyImage(m_window);
            return true;
        }
        return false;
    }

private:
    MainWindow &m_window;
};

} // namespace

QImage fortuneImage(MainWindow &w)
{
    if (!fortuneShown(w))
        return QImage();
    // The pair over the drawing, as they stand at the right; the result area
    // (faces, percentage and its rules) from the left under them.
    const QRect right = twipsToPixels(placeOf("fraIchiran").rect());
    const QRect result = twipsToPixels(placeOf("fraHide1").rect());
    const QSize size(qMax(right.width(), result.width()), right.height() + result.height());
    const qreal dpr = w.devicePixelRatioF();
    QImage image((QSizeF(size) * dpr).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(dpr);
    // The window is laid out at 96 dots an inch; a sharper screen gives more
    // dots in the same inch, and viewers size the picture by this tag.
    const int dotsPerMetre = qRound(96.0 * dpr / 0.0254);
    image.setDotsPerMeterX(dotsPerMetre);
    image.setDotsPerMeterY(dotsPerMetre);
    image.fill(w.palette().color(QPalette::Window));
    QPainter p(&image);
    w.render(&p, QPoint(0, 0), QRegion(right), QWidget::DrawChildren);
    w.render(&p, QPoint(0, right.height()), QRegion(result), QWidget::DrawChildren);
    p.end();
    return image;
}

QString fortuneImageFileName(const MainWindow &w)
{
    // A shown pair holds hiragana only, so the separator is found exactly.
    const QString pair = w.lblCp->text();
    const qsizetype cut = pair.indexOf(QStringLiteral(" _ "));
    const QString self = cut < 0 ? pair : pair.left(cut);
    const QString partner = cut < 0 ? QString() : pair.mid(cut + 3);
    return QDir::current().filePath(self + QStringLiteral("と") + partner + QStringLiteral(".png"));
}

QString saveFortuneImage(const QImage &image, const QString &path)
{
    QString failed = QStringLiteral("画像 <%1>を保存できませんでした。").arg(QFileInfo(path).fileName());
    // A fifo, a device or a link to one: replacing it would write elsewhere.
    const QFileInfo target(path);
    if (target.exists() && !target.isFile())
        return failed;
    QByteArray png;
    QBuffer buffer(&png);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG"))
        return failed;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(png) != png.size() || !file.flush()
        || file.size() != png.size() || !file.commit())
        return failed;
    return QString();
}

void setUpFortunePicture(MainWindow &w)
{
    PictureBox *picture = w.Picture1;
    picture->installEventFilter(new PictureKeys(w));
    picture->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(picture, &QWidget::customContextMenuRequested, &w, [&w, picture](const QPoint &at) {
        QMenu menu(&w);
        QAction *copy = menu.addAction(QStringLiteral("画像をコピー"));
        copy->setShortcut(QKeySequence::Copy);
        QAction *save = menu.addAction(QStringLiteral("画像を保存…"));
        const bool shown = fortuneShown(w);
        copy->setEnabled(shown);
        save->setEnabled(shown);
        QAction *chosen = menu.exec(picture->mapToGlobal(at));
        if (chosen == copy)
            copyImage(w);
        else if (chosen == save)
            saveImage(w);
    });
}

} // namespace kanaroll
