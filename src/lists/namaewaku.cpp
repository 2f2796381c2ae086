#include "lists/namaewaku.h"

#include "lists/namaetexts.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <thread>

namespace kanaroll {

NamaeWaku::NamaeWaku(NamaeSide side, QObject *parent)
    : QAbstractListModel(parent)
    , m_side(side)
    , m_fileName(side == NamaeSide::Jibun ? namaetext::jibunFile : namaetext::aiteFile)
{
}

void NamaeWaku::setSelected(int row)
{
    if (row < 0 || row >= m_names.size())
        row = -1;
    if (row == m_selected)
        return;
    m_selected = row;
    emit selectedChanged(row);
}

QString NamaeWaku::selectedText() const
{
    return m_selected < 0 ? QString() : m_names.at(m_selected);
}

NamaeLoadResult NamaeWaku::load()
{
    const NamaeFileStamp stamp = NamaeFileStamp::of(m_fileName);
    NamaeLoadResult result = NamaeListLoad(m_fileName);
    adopt(result, stamp);
    return result;
}

void NamaeWaku::adopt(const NamaeLoadResult &result, const NamaeFileStamp &stamp)
{
    beginResetModel();
    m_names = result.names;
    m_selected = -1;
    m_encoding = result.encoding;
    m_bytes = result.bytes;
    m_stamp = stamp; // taken before the read: a change during it shows next time
    m_stampProven = true;
    endResetModel();
    emit selectedChanged(-1);
}

NamaeLoadResult NamaeWaku::known() const
{
    NamaeLoadResult k;
    k.names = m_names;
    k.encoding = m_encoding;
    k.bytes = m_bytes;
    return k;
}

void NamaeWaku::follow(NamaeChangeResult &result)
{
    // A refused change read the file all the same: the list shows it.
    if (!result.seen)
        return;
    m_encoding = result.now.encoding;
    m_bytes = result.now.bytes;
    // The status after the write lets the next check compare in place of a
    // whole read; it skips nothing until that comparison has confirmed it.
    if (result.stamp.exists)
        m_stamp = result.stamp;
    else
        m_stamp.reset();
    m_stampProven = false;
    if (result.appended.isNull()) {
        setNames(result.now.names);
        return;
    }
    // Ours alone, the names grow in place: a long list is not copied for one name.
    result.now.names = QStringList();
    emit namesUpdating(true);
    const int row = int(m_names.size());
    beginInsertRows(QModelIndex(), row, row);
    m_names.append(result.appended);
    endInsertRows();
    emit namesUpdating(false);
    result.now.names = m_names;
}

NamaeChangeResult NamaeWaku::append(const QString &name)
{
    // The bytes ours alone in k: the new line is added to them in place.
    NamaeLoadResult k = known();
    m_bytes = QByteArray();
    NamaeChangeResult result = NamaeListAddNameToKnown(m_fileName, name, k, kNamaeLockWaitMs, m_pace);
    if (!result.seen)
        m_bytes = std::move(k.bytes);
    k = NamaeLoadResult(); // let go of the names, which then grow in place
    follow(result);
    return result;
}

NamaeChangeResult NamaeWaku::remove(const QString &name, int row)
{
    NamaeChangeResult result = NamaeListRemoveName(m_fileName, name, row, known(), kNamaeLockWaitMs, m_pace);
    follow(result);
    if (result.file)
        setSelected(-1);
    return result;
}

NamaeChangeResult NamaeWaku::removeAll()
{
    NamaeChangeResult result = NamaeListRemoveAll(m_fileName, kNamaeLockWaitMs, m_pace);
    follow(result);
    if (result.file)
        setSelected(-1);
    return result;
}

namespace {

// File times move by the clock's tick, not by the change: a rewrite of the
// same length just after a read can leave the status as it was.
bool recentlyTouched(const NamaeFileStamp &stamp)
{
    constexpr qint64 kTickNs = qint64(2) * 1000 * 1000 * 1000;
    const qint64 now = QDateTime::currentMSecsSinceEpoch() * 1000 * 1000;
    return stamp.exists && (now - stamp.modified < kTickNs || now - stamp.changed < kTickNs);
}

} // namespace

bool NamaeWaku::reload()
{
    const NamaeFileStamp stamp = NamaeFileStamp::of(m_fileName);
    if (m_stamp && m_stampProven && *m_stamp == stamp && !recentlyTouched(stamp))
        return false;
    // Another program adding lines: the known bytes are compared and only
    // the new ones read.
    if (m_stamp) {
        QStringList names = m_names;
        const qsizetype known = m_bytes.size();
        if (NamaeListReadAppended(m_fileName, *m_stamp, stamp, m_encoding, m_bytes, names, m_pace)) {
            m_stamp = stamp;
            m_stampProven = true;
            if (m_bytes.size() == known)
                return false;
            setNames(names);
            return true;
        }
    }
    // Changes take milliseconds; a reload does not keep the window waiting
    // longer than that, and the next notice comes soon enough.
    const NamaeLoadResult r = NamaeListLoad(m_fileName, 200, [this](qint64 done, qint64 total) {
        if (m_pace)
            m_pace(done, total);
        return true;
    });
    if (!r.ok) // not readable now: the list stays as it is, the next change tells why
        return false;
    m_stamp = stamp;
    m_stampProven = true;
    if (r.bytes == m_bytes)
        return false;
    m_encoding = r.encoding;
    m_bytes = r.bytes;
    setNames(r.names);
    return true;
}

// Changes the rows that differ, in one removal and one insertion at most, so
// that a view keeps its scroll position and selection.
void NamaeWaku::setNames(const QStringList &names)
{
    const qsizetype oldSize = m_names.size();
    const qsizetype newSize = names.size();
    // Names shared with the old list are equal without comparing them.
    const auto same = [](const QString &a, const QString &b) {
        return (a.constData() == b.constData() && a.size() == b.size()) || a == b;
    };
    qsizetype head = 0;
    while (head < oldSize && head < newSize && same(m_names.at(head), names.at(head)))
        ++head;
    qsizetype tail = 0;
    while (tail < oldSize - head && tail < newSize - head
           && same(m_names.at(oldSize - 1 - tail), names.at(newSize - 1 - tail)))
        ++tail;
    const QString selectedName = selectedText();
    const int oldSelected = m_selected;
    emit namesUpdating(true);

    if (oldSize - tail > head) {
        beginRemoveRows(QModelIndex(), int(head), int(oldSize - tail - 1));
        m_names.remove(head, oldSize - tail - head);
        endRemoveRows();
    }
    if (newSize - tail > head) {
        beginInsertRows(QModelIndex(), int(head), int(newSize - tail - 1));
        m_names.insert(head, newSize - tail - head, QString());
        for (qsizetype i = head; i < newSize - tail; ++i)
            m_names[i] = names.at(i);
        endInsertRows();
    }

    int row = -1;
    if (oldSelected >= 0 && oldSelected < head) {
        row = oldSelected;
    } else if (oldSelected >= 0 && oldSelected >= oldSize - tail) {
        row = int(oldSelected - oldSize + newSize);
    } else if (oldSelected >= 0) {
        // The selected entry itself was replaced: the nearest of that name.
        qsizetype best = -1;
        for (qsizetype i = m_names.indexOf(selectedName); i >= 0; i = m_names.indexOf(selectedName, i + 1)) {
            if (best < 0 || qAbs(i - oldSelected) < qAbs(best - oldSelected))
                best = i;
        }
        row = int(best);
    }
    m_selected = row;
    if (row != oldSelected)
        emit selectedChanged(row);
    emit namesUpdating(false);
}

int NamaeWaku::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_names.size());
}

QVariant NamaeWaku::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_names.size())
        return {};
    if (role == Qt::DisplayRole)
        return namaetext::shown(m_names.at(index.row()));
    if (role == Qt::EditRole)
        return m_names.at(index.row());
    return {};
}

NamaeSides::NamaeSides(NamaeDialogs &dialogs, QObject *parent)
    : QObject(parent)
    , m_dialogs(dialogs)
    , m_jibun(NamaeSide::Jibun, this)
    , m_aite(NamaeSide::Aite, this)
{
}

void NamaeSides::setEntryText(NamaeSide side, const QString &text)
{
    QString &entry = m_entry[index(side)];
    if (entry == text)
        return;
    entry = text;
    emit entryTextChanged(side, text);
}

void NamaeSides::noteLoad(const NamaeLoadResult &r, const QString &fileName, QList<NamaeNotice> &notices) const
{
    if (!r.ok)
        notices.append({r.error + namaetext::paragraph + (r.leftAlone ? namaetext::leftAlone : namaetext::startedEmpty),
                        namaetext::fileTitle});
    else if (r.damaged)
        notices.append({r.error + namaetext::paragraph + namaetext::damagedKept, namaetext::fileTitle});
    if (r.ok && r.capped)
        notices.append({namaetext::tooManyNames(fileName) + namaetext::paragraph + namaetext::cappedKept(),
                        namaetext::fileTitle});
}

QList<NamaeNotice> NamaeSides::NamaeStartup()
{
    QList<NamaeNotice> notices;
    noteLoad(m_jibun.load(), m_jibun.fileName(), notices);
    setEntryText(NamaeSide::Jibun, m_jibun.names().value(0));
    noteLoad(m_aite.load(), m_aite.fileName(), notices);
    return notices;
}

// What the reading thread shares with the window's thread.
struct NamaeSides::StartupRead {
    std::atomic<bool> stop{false};
    std::atomic<int> permille{0};
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    NamaeLoadResult result[2];
    NamaeFileStamp stamp[2];
    std::thread thread;
};

bool NamaeSides::NamaeStartupBegin(int waitMs, std::function<void(const QList<NamaeNotice> &)> done)
{
    m_startupDone = std::move(done);
    auto reading = std::make_shared<StartupRead>();
    m_reading = reading;
    const QString files[2] = {m_jibun.fileName(), m_aite.fileName()};
    reading->thread = std::thread([this, r = reading.get(), files] {
        for (int i = 0; i < 2; ++i) {
            r->stamp[i] = NamaeFileStamp::of(files[i]);
            try {
                r->result[i] = NamaeListLoad(files[i], kNamaeLockWaitMs, [r, i](qint64 done, qint64 total) {
                    r->permille = int(qint64(i) * 500 + done * 500 / qMax<qint64>(1, total));
                    return !r->stop;
                });
            } catch (const std::bad_alloc &) { // too large for the memory at hand: started empty
                r->result[i] = NamaeLoadResult();
                r->result[i].ok = false;
                r->result[i].error = namaetext::readFailed(files[i]);
            }
        }
        {
            const std::lock_guard lock(r->mutex);
            r->done = true;
        }
        r->finished.notify_all();
        if (!r->stop)
            QMetaObject::invokeMethod(this, [this] { finishStartup(); }, Qt::QueuedConnection);
    });
    std::unique_lock lock(reading->mutex);
    if (!reading->finished.wait_for(lock, std::chrono::milliseconds(waitMs), [&] { return reading->done; }))
        return false;
    lock.unlock();
    finishStartup();
    return true;
}

void NamaeSides::finishStartup()
{
    if (!m_reading) // finished already
        return;
    const std::shared_ptr<StartupRead> r = std::exchange(m_reading, nullptr);
    r->thread.join();
    QList<NamaeNotice> notices;
    m_jibun.adopt(r->result[0], r->stamp[0]);
    noteLoad(r->result[0], m_jibun.fileName(), notices);
    setEntryText(NamaeSide::Jibun, m_jibun.names().value(0));
    m_aite.adopt(r->result[1], r->stamp[1]);
    noteLoad(r->result[1], m_aite.fileName(), notices);
    if (m_startupDone)
        std::exchange(m_startupDone, nullptr)(notices);
}

int NamaeSides::loadPermille() const
{
    return m_reading ? m_reading->permille.load() : 1000;
}

NamaeSides::~NamaeSides()
{
    if (m_reading) {
        m_reading->stop = true;
        m_reading->thread.join();
    }
}

NamaeAddResult NamaeSides::NamaeAdd(NamaeSide side, int charCode)
{
    const QString name = entryText(side);
    if (charCode != 13 || name.isEmpty())
        return NamaeAddResult::Ignored;
    // Looked for in the file as it now is, not in the list as last shown:
    // another program may have changed either under the other. A full list
    // or a character the file cannot hold is refused before anything is
    // written.
    const NamaeChangeResult r = waku(side).append(name);
    if (!r.file) {
        m_dialogs.warn(r.file.error + namaetext::paragraph + namaetext::notAdded(name),
                       r.unheld ? namaetext::charTitle : namaetext::fileTitle);
        return r.unheld ? NamaeAddResult::Refused : NamaeAddResult::Failed;
    }
    return r.changed ? NamaeAddResult::Added : NamaeAddResult::Duplicate;
}

void NamaeSides::NamaePick(NamaeSide side)
{
    setEntryText(side, waku(side).selectedText());
}

NamaeDeleteResult NamaeSides::NamaeDelete(NamaeSide side)
{
    NamaeWaku &w = waku(side);
    const int row = w.selected();
    if (row < 0)
        return NamaeDeleteResult::NoSelection;
    const QString name = w.names().at(row);
    if (!m_dialogs.confirmDelete(namaetext::deleteBody(name), namaetext::deleteTitle))
        return NamaeDeleteResult::Cancelled;
    // The question may have let a reload move the entry: the name decides.
    const NamaeChangeResult r = w.remove(name, row);
    if (!r.file) {
        m_dialogs.warn(r.file.error + namaetext::paragraph + namaetext::stillListed(name), namaetext::fileTitle);
        return NamaeDeleteResult::Failed;
    }
    setEntryText(side, QString());
    return NamaeDeleteResult::Deleted;
}

NamaeClearResult NamaeSides::NamaeListClear(NamaeSide side)
{
    const QString &body = side == NamaeSide::Jibun ? namaetext::clearBodyJibun : namaetext::clearBodyAite;
    if (!m_dialogs.confirmDelete(body, namaetext::deleteTitle))
        return NamaeClearResult::Cancelled;
    const NamaeChangeResult r = waku(side).removeAll();
    if (!r.file) {
        m_dialogs.warn(r.file.error + namaetext::paragraph + namaetext::listKept, namaetext::fileTitle);
        return NamaeClearResult::Failed;
    }
    setEntryText(side, QString());
    return NamaeClearResult::Cleared;
}

void NamaeSides::watchFiles(std::function<bool()> hold)
{
    m_hold = std::move(hold);
    if (!m_watcher) {
        m_watcher = new QFileSystemWatcher(this);
        m_reloadTimer.setSingleShot(true);
        // A burst of notices (a replace is several) makes one check. A check
        // compares the whole file, so after a long one (a huge file) the
        // next waits until the checks take at most a twentieth of the time.
        const auto soon = [this] {
            if (m_reloadTimer.isActive())
                return;
            const qint64 restMs = m_lastCheck.isValid() ? m_lastCheckNs * 19 / 1000000 - m_lastCheck.elapsed() : 0;
            m_reloadTimer.start(int(qBound(qint64(50), restMs, qint64(5000))));
        };
        connect(m_watcher, &QFileSystemWatcher::fileChanged, this, soon);
        connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, soon);
        connect(&m_reloadTimer, &QTimer::timeout, this, &NamaeSides::reloadChanged);
    }
    rewatch();
}

void NamaeSides::reloadChanged()
{
    if (m_hold && m_hold()) {
        m_reloadTimer.start(250);
        return;
    }
    QElapsedTimer cost;
    cost.start();
    m_jibun.reload();
    m_aite.reload();
    m_lastCheckNs = cost.nsecsElapsed();
    m_lastCheck.start();
    rewatch();
}

// The folder too: a change replaces the file, and a watch on the file ends
// with the file it was set on.
void NamaeSides::rewatch()
{
    if (!m_watcher)
        return;
    const QDir here = QDir::current();
    QStringList paths{here.absolutePath()};
    for (const NamaeWaku *w : {&m_jibun, &m_aite}) {
        if (QFileInfo::exists(w->fileName()))
            paths << here.absoluteFilePath(w->fileName());
    }
    const QStringList watched = m_watcher->files() + m_watcher->directories();
    for (const QString &p : paths) {
        if (!watched.contains(p))
            m_watcher->addPath(p);
    }
}

void NamaeSides::NamaeSwap()
{
    const QString self = m_entry[0];
    const QString partner = m_entry[1];
    setEntryText(NamaeSide::Jibun, partner);
    setEntryText(NamaeSide::Aite, self);
}

} // namespace kanaroll
