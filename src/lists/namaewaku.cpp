#include "lists/namaewaku.h"

#include "lists/namaetexts.h"

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
    NamaeLoadResult result = NamaeListLoad(m_fileName);
    beginResetModel();
    m_names = result.names;
    m_selected = -1;
    m_encoding = result.encoding;
    endResetModel();
    emit selectedChanged(-1);
    return result;
}

NamaeFileResult NamaeWaku::append(const QString &name)
{
    NamaeFileResult result = NamaeListAppend(m_fileName, name, m_encoding);
    if (!result)
        return result;
    const int row = int(m_names.size());
    beginInsertRows(QModelIndex(), row, row);
    m_names.append(name);
    endInsertRows();
    return result;
}

NamaeFileResult NamaeWaku::removeAt(int row)
{
    if (row < 0 || row >= m_names.size())
        return {};
    QStringList after = m_names;
    after.removeAt(row);
    NamaeFileResult result = NamaeListSave(m_fileName, after);
    if (!result)
        return result;
    m_encoding = NamaeEncoding::Cp932;
    beginRemoveRows(QModelIndex(), row, row);
    m_names = std::move(after);
    endRemoveRows();
    if (m_selected == row)
        setSelected(-1);
    else if (m_selected > row)
        setSelected(m_selected - 1);
    return result;
}

NamaeFileResult NamaeWaku::removeAll()
{
    NamaeFileResult result = NamaeListSave(m_fileName, {});
    if (!result)
        return result;
    m_encoding = NamaeEncoding::Cp932;
    beginResetModel();
    m_names.clear();
    m_selected = -1;
    endResetModel();
    emit selectedChanged(-1);
    return result;
}

int NamaeWaku::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_names.size());
}

QVariant NamaeWaku::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_names.size())
        return {};
    if (role == Qt::DisplayRole || role == Qt::EditRole)
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

QList<NamaeNotice> NamaeSides::NamaeStartup()
{
    QList<NamaeNotice> notices;
    auto loadSide = [&](NamaeWaku &waku) {
        const NamaeLoadResult r = waku.load();
        if (!r.ok)
            notices.append({r.error + namaetext::paragraph
                                + (r.leftAlone ? namaetext::leftAlone : namaetext::startedEmpty),
                            namaetext::fileTitle});
        else if (r.damaged)
            notices.append({r.error + namaetext::paragraph + namaetext::damagedKept, namaetext::fileTitle});
    };
    loadSide(m_jibun);
    setEntryText(NamaeSide::Jibun, m_jibun.names().value(0));
    loadSide(m_aite);
    return notices;
}

NamaeAddResult NamaeSides::NamaeAdd(NamaeSide side, int charCode)
{
    const QString name = entryText(side);
    if (charCode != 13 || name.isEmpty())
        return NamaeAddResult::Ignored;
    NamaeWaku &w = waku(side);
    if (w.indexOf(name) >= 0)
        return NamaeAddResult::Duplicate;
    const qsizetype bad = cp932FirstUnheld(name);
    if (bad >= 0) {
        m_dialogs.warn(namaetext::unheldChar(name, characterAt(name, bad), w.fileName()) + namaetext::paragraph
                           + namaetext::notAdded(name),
                       namaetext::charTitle);
        return NamaeAddResult::Refused;
    }
    const NamaeFileResult r = w.append(name);
    if (!r) {
        m_dialogs.warn(r.error + namaetext::paragraph + namaetext::notAdded(name), namaetext::fileTitle);
        return NamaeAddResult::Failed;
    }
    return NamaeAddResult::Added;
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
    const NamaeFileResult r = w.removeAt(row);
    if (!r) {
        m_dialogs.warn(r.error + namaetext::paragraph + namaetext::stillListed(name), namaetext::fileTitle);
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
    const NamaeFileResult r = waku(side).removeAll();
    if (!r) {
        m_dialogs.warn(r.error + namaetext::paragraph + namaetext::listKept, namaetext::fileTitle);
        return NamaeClearResult::Failed;
    }
    setEntryText(side, QString());
    return NamaeClearResult::Cleared;
}

void NamaeSides::NamaeSwap()
{
    const QString self = m_entry[0];
    const QString partner = m_entry[1];
    setEntryText(NamaeSide::Jibun, partner);
    setEntryText(NamaeSide::Aite, self);
}

} // namespace kanaroll
