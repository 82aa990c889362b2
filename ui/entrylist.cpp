#include "entrylist.h"

#include <QLocale>

#include <algorithm>

#include "entries/partfile.h"
#include "links/links.h"
#include "outils.h"

namespace {

char UpperAscii(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool StartsWithNoCase(std::string_view name, std::string_view prefix)
{
    if (name.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (UpperAscii(name[i]) != UpperAscii(prefix[i]))
            return false;
    }
    return true;
}

} // namespace

TEntryListModel::TEntryListModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

TEntryListModel::~TEntryListModel() = default;

int TEntryListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : Count();
}

int TEntryListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TEntryListModel::data(const QModelIndex &index, int role) const
{
    const TDonkeyFile *entry = index.isValid() ? EntryAt(index.row()) : nullptr;
    if (!entry)
        return {};
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole: {
        const TEntrySnapshot row = entry->Snapshot();
        switch (column) {
        case NameColumn: return EntryText(row.DisplayName);
        case SizeColumn:
            return QString::fromStdString(SizeText(row.Size, QLocale().decimalPoint().toStdString()));
        case DonkeyColumn: return CoreWord(row.DonkeyHashText());
        case FileSpreeColumn: return CoreWord(row.FileSpreeHashText());
        }
        return {};
    }
    case Qt::ToolTipRole: {
        // The whole of what a narrow column cuts, and why a failed entry failed.
        const TEntrySnapshot row = entry->Snapshot();
        if (!row.Failure.empty())
            return CoreReason(row.Failure);
        switch (column) {
        case NameColumn: return EntryText(row.DisplayName);
        case DonkeyColumn: return CoreWord(row.DonkeyHashText());
        case FileSpreeColumn: return CoreWord(row.FileSpreeHashText());
        }
        return {};
    }
    case Qt::DecorationRole:
        if (column != NameColumn)
            return {};
        return dynamic_cast<const TPartFile *>(entry) ? m_partImage : m_fileImage;
    case Qt::TextAlignmentRole:
        if (column == SizeColumn)
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        if (column == DonkeyColumn || column == FileSpreeColumn)
            return QVariant::fromValue(Qt::AlignCenter);
        return {};
    default:
        return {};
    }
}

QVariant TEntryListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::DisplayRole) {
        switch (section) {
        case NameColumn: return tr("Name");
        case SizeColumn: return tr("Size");
        case DonkeyColumn: return tr("eDonkey Hash");
        case FileSpreeColumn: return tr("FileSpree Hash");
        }
    }
    if (role == Qt::TextAlignmentRole && section >= 0 && section < ColumnCount) {
        if (section == SizeColumn)
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        if (section != NameColumn)
            return QVariant::fromValue(Qt::AlignCenter);
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    }
    return {};
}

Qt::ItemFlags TEntryListModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void TEntryListModel::SetImages(QIcon file, QIcon partFile)
{
    m_fileImage = std::move(file);
    m_partImage = std::move(partFile);
    if (!m_entries.empty())
        emit dataChanged(index(0, NameColumn), index(Count() - 1, NameColumn), {Qt::DecorationRole});
}

TDonkeyFile *TEntryListModel::EntryAt(int row) const
{
    return row >= 0 && row < Count() ? m_entries[static_cast<std::size_t>(row)].Entry.get() : nullptr;
}

int TEntryListModel::RowOf(const TDonkeyFile *entry) const
{
    const auto it = std::find_if(m_entries.begin(), m_entries.end(),
                                 [entry](const TRow &listed) { return listed.Entry.get() == entry; });
    return it == m_entries.end() ? -1 : static_cast<int>(it - m_entries.begin());
}

int TEntryListModel::AddFinishedEntry(std::unique_ptr<TDonkeyFile> entry)
{
    // Binary insertion keeps the order a full sort would give, at the cost of
    // one search and one move of pointers.
    std::string key = entry->DisplayName();
    const auto at = std::upper_bound(m_entries.begin(), m_entries.end(), key,
                                     [](const std::string &name, const TRow &listed) { return name < listed.Key; });
    const int row = static_cast<int>(at - m_entries.begin());
    beginInsertRows({}, row, row);
    m_entries.insert(at, TRow{std::move(key), std::move(entry)});
    endInsertRows();
    return row;
}

std::vector<std::unique_ptr<TDonkeyFile>> TEntryListModel::TakeRows(const std::vector<int> &rows)
{
    std::vector<std::unique_ptr<TDonkeyFile>> taken(rows.size());
    // Many scattered rows are cheaper to drop in one pass and one reset than
    // range by range; a few ranges keep the views' state around them.
    constexpr std::size_t MaxRanges = 32;
    std::size_t ranges = 0;
    for (std::size_t i = 0; i < rows.size(); ++i)
        ranges += i == 0 || rows[i] != rows[i - 1] + 1;

    if (ranges > MaxRanges) {
        beginResetModel();
        std::vector<bool> drop(m_entries.size(), false);
        for (std::size_t i = 0; i < rows.size(); ++i) {
            taken[i] = std::move(m_entries[static_cast<std::size_t>(rows[i])].Entry);
            drop[static_cast<std::size_t>(rows[i])] = true;
        }
        std::size_t kept = 0;
        for (std::size_t i = 0; i < m_entries.size(); ++i) {
            if (!drop[i])
                m_entries[kept++] = std::move(m_entries[i]);
        }
        m_entries.resize(kept);
        endResetModel();
        return taken;
    }

    // Range by range from the bottom up, so that the rows still to remove keep
    // their indexes.
    std::size_t end = rows.size();
    while (end > 0) {
        std::size_t begin = end - 1;
        while (begin > 0 && rows[begin - 1] == rows[begin] - 1)
            --begin;
        const int first = rows[begin];
        const int last = rows[end - 1];
        beginRemoveRows({}, first, last);
        const auto from = m_entries.begin() + first;
        const auto to = m_entries.begin() + last + 1;
        std::transform(from, to, taken.begin() + static_cast<std::ptrdiff_t>(begin),
                       [](TRow &listed) { return std::move(listed.Entry); });
        m_entries.erase(from, to);
        endRemoveRows();
        end = begin;
    }
    return taken;
}

void TEntryListModel::ClearEntries()
{
    if (m_entries.empty())
        return;
    beginResetModel();
    m_entries.clear();
    endResetModel();
}

void TEntryListModel::RedrawRow(int row)
{
    if (row >= 0 && row < Count())
        emit dataChanged(index(row, 0), index(row, ColumnCount - 1), {Qt::DisplayRole, Qt::ToolTipRole});
}

void TEntryListModel::RedrawAll()
{
    if (!m_entries.empty())
        emit dataChanged(index(0, 0), index(Count() - 1, ColumnCount - 1), {Qt::DisplayRole, Qt::ToolTipRole});
}

std::optional<int> TEntryListModel::ListViewDataFind(const QString &text, int start, bool wrap) const
{
    const std::string typed = EntryBytes(text);
    const int count = Count();
    if (typed.empty() || count == 0)
        return std::nullopt;
    if (start < 0 || start >= count) {
        if (!wrap)
            return std::nullopt;
        start = 0;
    }
    const std::string_view prefix = typed;
    // Each entry once: start to the end, then the top up to start when wrapping.
    const int examined = wrap ? count : count - start;
    for (int k = 0; k < examined; ++k) {
        const int row = (start + k) % count;
        if (StartsWithNoCase(m_entries[static_cast<std::size_t>(row)].Entry->DisplayName(), prefix))
            return row;
    }
    return std::nullopt;
}
