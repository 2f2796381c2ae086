#pragma once

#include "lists/namaelist.h"

#include <QAbstractListModel>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

class QFileSystemWatcher;

namespace kanaroll {

enum class NamaeSide { Jibun, Aite };

// One side's list: its file, its names in file order and the selected entry.
// A list view shows it directly; every change reaches the file first, and the
// list then shows the file as written, changes from elsewhere included.
class NamaeWaku : public QAbstractListModel
{
    Q_OBJECT
public:
    explicit NamaeWaku(NamaeSide side, QObject *parent = nullptr);

    NamaeSide side() const { return m_side; }
    const QString &fileName() const { return m_fileName; } // bare name: lives in the working directory
    const QStringList &names() const { return m_names; }
    qsizetype indexOf(const QString &name) const { return m_names.indexOf(name); } // exact

    int selected() const { return m_selected; } // -1 when none
    void setSelected(int row);                  // out of range: none
    QString selectedText() const;               // empty when none

    NamaeLoadResult load(); // the file's names replace the list
    // The names of a load made elsewhere replace the list; `stamp` is the
    // file's status taken before that read.
    void adopt(const NamaeLoadResult &result, const NamaeFileStamp &stamp);
    // Each change holds the file's lock while it reads, changes and writes
    // the file; the list then shows the file. Not `changed`: the file held
    // the name by now, or the entry was gone already.
    NamaeChangeResult append(const QString &name); // a line at the end of the file
    NamaeChangeResult remove(const QString &name, int row); // the entry at row, else the first of that name
    NamaeChangeResult removeAt(int row) { return remove(m_names.value(row), row); }
    NamaeChangeResult removeAll(); // the file emptied
    // Shows the file again if it changed since it was last read or written;
    // the selection stays on the same name where that is still there.
    bool reload();
    // Called between the pieces of a long read or comparison of the file,
    // so that the window can be painted meanwhile.
    void setPace(NamaeLoadProgress pace) { m_pace = std::move(pace); }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    // A list view asks for every row's index at each layout: without the
    // generic checks' calls back into the model.
    QModelIndex index(int row, int column = 0, const QModelIndex &parent = QModelIndex()) const override
    {
        return row >= 0 && column == 0 && row < m_names.size() && !parent.isValid() ? createIndex(row, 0)
                                                                                       : QModelIndex();
    }
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

signals:
    void selectedChanged(int row);
    // Around a change of rows that is not the user's choosing: a view that
    // moves its selection along is not the user picking.
    void namesUpdating(bool begins);

private:
    NamaeLoadResult known() const;
    void follow(NamaeChangeResult &result);
    void setNames(const QStringList &names);

    NamaeSide m_side;
    QString m_fileName;
    QStringList m_names;
    int m_selected = -1;
    // The file as last read or written, to tell whether another window changed it.
    NamaeEncoding m_encoding = NamaeEncoding::Cp932;
    QByteArray m_bytes;
    std::optional<NamaeFileStamp> m_stamp; // none: read the file whole next time
    // Taken before the bytes were read and confirmed. The status after the
    // window's own write is not: another program may have written at once.
    bool m_stampProven = false;
    NamaeLoadProgress m_pace;
};

// The message boxes the operations need; the window shows real ones.
struct NamaeDialogs {
    virtual ~NamaeDialogs() = default;
    // OK only, exclamation icon.
    virtual void warn(const QString &body, const QString &title) = 0;
    // OK and Cancel, exclamation icon, Cancel the default; Escape and the
    // close box answer Cancel. True on OK.
    virtual bool confirmDelete(const QString &body, const QString &title) = 0;
};

struct NamaeNotice {
    QString body;
    QString title;
};

// Every result but Ignored means: cancel the key and move the focus.
enum class NamaeAddResult {
    Ignored,   // not Enter, or the box is empty
    Duplicate, // the side's list already holds it; nothing shown
    Added,
    Refused,   // the file cannot hold a character of it; warned
    Failed,    // the file could not be written; warned, not added
};
enum class NamaeDeleteResult { NoSelection, Cancelled, Deleted, Failed };
enum class NamaeClearResult { Cancelled, Cleared, Failed };

// Both sides and their entry boxes. The window forwards its events here and
// mirrors entryTextChanged into its boxes.
class NamaeSides : public QObject
{
    Q_OBJECT
public:
    explicit NamaeSides(NamaeDialogs &dialogs, QObject *parent = nullptr);

    NamaeWaku &waku(NamaeSide side) { return side == NamaeSide::Jibun ? m_jibun : m_aite; }
    const NamaeWaku &waku(NamaeSide side) const { return side == NamaeSide::Jibun ? m_jibun : m_aite; }
    NamaeWaku &jibun() { return m_jibun; }
    NamaeWaku &aite() { return m_aite; }

    QString entryText(NamaeSide side) const { return m_entry[index(side)]; }
    void setEntryText(NamaeSide side, const QString &text);

    // Start-up: the self list, the first self name into the self box, the
    // partner list. Returns the warnings to show, at most one per file.
    QList<NamaeNotice> NamaeStartup();
    // The same with the files read on a thread of their own, so that a huge
    // file neither freezes the window nor holds up its end. Waits up to
    // `waitMs`: files of ordinary size are in when it returns true. Else
    // `done` runs later on this object's thread, with the lists filled in
    // the same order; meanwhile loadPermille() tells how far the read is.
    bool NamaeStartupBegin(int waitMs, std::function<void(const QList<NamaeNotice> &)> done);
    bool isLoading() const { return m_reading != nullptr; }
    int loadPermille() const;
    ~NamaeSides() override; // stops a read under way

    NamaeAddResult NamaeAdd(NamaeSide side, int charCode); // Enter is 13
    void NamaePick(NamaeSide side);
    void NamaePick(NamaeSide side, int row) { waku(side).setSelected(row); NamaePick(side); }
    NamaeDeleteResult NamaeDelete(NamaeSide side);
    NamaeClearResult NamaeListClear(NamaeSide side);
    void NamaeSwap();

    // Follows changes that other windows make to the two files. While
    // `hold` says so (a batch reads the lists by position), reloads wait.
    void watchFiles(std::function<bool()> hold = {});
    // For both sides: see NamaeWaku::setPace.
    void setPace(const NamaeLoadProgress &pace)
    {
        m_jibun.setPace(pace);
        m_aite.setPace(pace);
    }
    void reloadChanged();

signals:
    void entryTextChanged(kanaroll::NamaeSide side, const QString &text);

private:
    static int index(NamaeSide side) { return side == NamaeSide::Jibun ? 0 : 1; }

    void rewatch();
    void finishStartup();
    void noteLoad(const NamaeLoadResult &r, const QString &fileName, QList<NamaeNotice> &notices) const;

    struct StartupRead;
    std::shared_ptr<StartupRead> m_reading;
    std::function<void(const QList<NamaeNotice> &)> m_startupDone;

    NamaeDialogs &m_dialogs;
    NamaeWaku m_jibun;
    NamaeWaku m_aite;
    QString m_entry[2];
    QFileSystemWatcher *m_watcher = nullptr;
    QTimer m_reloadTimer;
    QElapsedTimer m_lastCheck; // since the last check ended
    qint64 m_lastCheckNs = 0;  // how long it took
    std::function<bool()> m_hold;
};

} // namespace kanaroll
