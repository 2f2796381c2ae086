#pragma once

#include "lists/namaelist.h"

#include <QAbstractListModel>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

namespace kanaroll {

enum class NamaeSide { Jibun, Aite };

// One side's list: its file, its names in file order and the selected entry.
// A list view shows it directly; every change reaches the file first, and the
// list changes only when the file did.
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

    NamaeLoadResult load();                      // the file's names replace the list
    NamaeFileResult append(const QString &name); // a line at the end of the file, then of the list
    NamaeFileResult removeAt(int row);           // the file rewritten without it, then the list
    NamaeFileResult removeAll();                 // the file emptied, then the list

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

signals:
    void selectedChanged(int row);

private:
    NamaeSide m_side;
    QString m_fileName;
    QStringList m_names;
    int m_selected = -1;
    NamaeEncoding m_encoding = NamaeEncoding::Cp932; // of the file as last read or written
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

    NamaeAddResult NamaeAdd(NamaeSide side, int charCode); // Enter is 13
    void NamaePick(NamaeSide side);
    void NamaePick(NamaeSide side, int row) { waku(side).setSelected(row); NamaePick(side); }
    NamaeDeleteResult NamaeDelete(NamaeSide side);
    NamaeClearResult NamaeListClear(NamaeSide side);
    void NamaeSwap();

signals:
    void entryTextChanged(kanaroll::NamaeSide side, const QString &text);

private:
    static int index(NamaeSide side) { return side == NamaeSide::Jibun ? 0 : 1; }

    NamaeDialogs &m_dialogs;
    NamaeWaku m_jibun;
    NamaeWaku m_aite;
    QString m_entry[2];
};

} // namespace kanaroll
