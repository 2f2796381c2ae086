// Help through the system's HTML Help viewer: HtmlHelpW of hhctrl.ocx,
// loaded when first needed so a system without it just shows no help.

#include "ui/help/helpservice.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QWidget>

#include <windows.h>

namespace kanaroll {

namespace {

constexpr UINT kDisplayTopic = 0x0000; // HH_DISPLAY_TOPIC
constexpr UINT kCloseAll = 0x0012;     // HH_CLOSE_ALL

using HtmlHelpW = HWND(WINAPI *)(HWND, LPCWSTR, UINT, DWORD_PTR);

class HtmlHelpService : public HelpService
{
public:
    ~HtmlHelpService() override
    {
        closeAll();
        if (m_library)
            FreeLibrary(m_library);
    }

    void displayTopic(QWidget *owner, const QString &helpFile) override
    {
        if (!load())
            return;
        const QString path = QDir::toNativeSeparators(resolve(helpFile));
        HWND window = owner ? reinterpret_cast<HWND>(owner->window()->winId()) : nullptr;
        m_htmlHelp(window, reinterpret_cast<LPCWSTR>(path.utf16()), kDisplayTopic, 0);
        m_opened = true;
    }

    void closeAll() override
    {
        if (m_opened && m_htmlHelp)
            m_htmlHelp(nullptr, nullptr, kCloseAll, 0);
        m_opened = false;
    }

private:
    bool load()
    {
        if (m_htmlHelp)
            return true;
        if (!m_library)
            m_library = LoadLibraryW(L"hhctrl.ocx");
        if (m_library)
            m_htmlHelp = reinterpret_cast<HtmlHelpW>(reinterpret_cast<void *>(GetProcAddress(m_library, "HtmlHelpW")));
        return m_htmlHelp != nullptr;
    }

    // The bare name from the working folder; without one there, the copy
    // installed beside the program.
    static QString resolve(const QString &helpFile)
    {
        const QFileInfo here(QDir::current(), helpFile);
        if (here.isFile())
            return here.absoluteFilePath();
        const QFileInfo beside(QDir(QCoreApplication::applicationDirPath()), helpFile);
        return beside.isFile() ? beside.absoluteFilePath() : here.absoluteFilePath();
    }

    HMODULE m_library = nullptr;
    HtmlHelpW m_htmlHelp = nullptr;
    bool m_opened = false;
};

} // namespace

std::unique_ptr<HelpService> createHelpService()
{
    return std::make_unique<HtmlHelpService>();
}

} // namespace kanaroll
