#pragma once

#include <QString>

#include <memory>

class QWidget;

namespace kanaroll {

// The two help commands the main window uses. Results are not reported:
// a help file that cannot be shown simply shows nothing.
class HelpService
{
public:
    virtual ~HelpService() = default;

    // Opens helpFile at its default topic in a help window owned by owner,
    // or brings the window that already shows that file to the front.
    // A bare file name is taken from the current working directory (an
    // implementation may know further places to look when it is not there).
    virtual void displayTopic(QWidget *owner, const QString &helpFile) = 0;

    // Closes every help window opened through this service.
    virtual void closeAll() = 0;
};

// The help service of this platform; it also finds the help file installed
// beside the program when the working directory has none.
std::unique_ptr<HelpService> createHelpService();

} // namespace kanaroll
