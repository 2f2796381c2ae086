#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace kanaroll {

// The five kinds of box the program shows; nothing else varies but body and title.
enum class MsgKind {
    WarningNotice,     // OK, exclamation
    QuestionNotice,    // OK, question mark
    InformationNotice, // OK, information
    DeleteQuestion,    // OK + Cancel, exclamation, Cancel default
    YesNoQuestion,     // Yes + No, question mark, Yes default
};

enum class MsgAnswer { Ok, Cancel, Yes, No };

// Shows the box modal to `owner` (the main window) and returns the button
// chosen. Escape or the close box give Cancel for the delete question, No for
// the yes-no question and OK for a notice.
MsgAnswer MsgBoxShow(const QString &body, const QString &title, MsgKind kind, QWidget *owner = nullptr);

// Tests replace the box with an answering function; an empty function restores it.
using MsgBoxHook = std::function<MsgAnswer(const QString &body, const QString &title, MsgKind kind)>;
void setMsgBoxHook(MsgBoxHook hook);

} // namespace kanaroll
