#include "msgbox.h"

#include <QMessageBox>
#include <QPushButton>

namespace kanaroll {

namespace {

MsgBoxHook &hook()
{
    static MsgBoxHook h;
    return h;
}

} // namespace

void setMsgBoxHook(MsgBoxHook h)
{
    hook() = std::move(h);
}

MsgAnswer MsgBoxShow(const QString &body, const QString &title, MsgKind kind, QWidget *owner)
{
    if (hook())
        return hook()(body, title, kind);

    QMessageBox box(owner);
    box.setWindowTitle(title);
    // Bodies use CR LF line breaks; a plain-text box wants LF.
    QString text = body;
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    box.setText(text);
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(owner ? Qt::WindowModal : Qt::ApplicationModal);

    QPushButton *ok = nullptr;
    QPushButton *cancel = nullptr;
    QPushButton *yes = nullptr;
    QPushButton *no = nullptr;
    switch (kind) {
    case MsgKind::WarningNotice:
    case MsgKind::QuestionNotice:
    case MsgKind::InformationNotice:
        box.setIcon(kind == MsgKind::WarningNotice    ? QMessageBox::Warning
                    : kind == MsgKind::QuestionNotice ? QMessageBox::Question
                                                      : QMessageBox::Information);
        ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        box.setDefaultButton(ok);
        box.setEscapeButton(ok);
        break;
    case MsgKind::DeleteQuestion:
        box.setIcon(QMessageBox::Warning);
        ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        cancel = box.addButton(QStringLiteral("キャンセル"), QMessageBox::RejectRole);
        box.setDefaultButton(cancel);
        box.setEscapeButton(cancel);
        break;
    case MsgKind::YesNoQuestion:
        box.setIcon(QMessageBox::Question);
        yes = box.addButton(QStringLiteral("はい"), QMessageBox::YesRole);
        no = box.addButton(QStringLiteral("いいえ"), QMessageBox::NoRole);
        box.setDefaultButton(yes);
        box.setEscapeButton(no);
        break;
    }
    box.exec();

    QAbstractButton *clicked = box.clickedButton();
    if (kind == MsgKind::DeleteQuestion)
        return clicked == ok ? MsgAnswer::Ok : MsgAnswer::Cancel;
    if (kind == MsgKind::YesNoQuestion)
        return clicked == yes ? MsgAnswer::Yes : MsgAnswer::No;
    Q_UNUSED(cancel)
    Q_UNUSED(no)
    return MsgAnswer::Ok;
}

} // namespace kanaroll
