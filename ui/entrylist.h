#pragma once

#include <QAbstractTableModel>
#include <QIcon>

#include <memory>
#include <optional>
#include <vector>

#include "entries/donkeyfile.h"
#include "links/sharelist.h" // CompareEntryNames

// The entries a listed row stands for, in CompareEntryNames order. Owns them.
// Views ask for the texts of the rows they draw; nothing is kept per row but
// the entry itself.
class TEntryListModel final : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TEntryListModel)

public:
    enum TColumn
    {
        NameColumn,
        SizeColumn,
        DonkeyColumn,
        FileSpreeColumn,
        ColumnCount
    };

    explicit TEntryListModel(QObject *parent = nullptr);
    ~TEntryListModel() override;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // Image 0 (a file) and image 1 (a descriptor).
    void SetImages(QIcon file, QIcon partFile);

    int Count() const { return static_cast<int>(m_entries.size()); }
    TDonkeyFile *EntryAt(int row) const;
    // The row of an entry, or -1.
    int RowOf(const TDonkeyFile *entry) const;

    // Inserts a finished entry at its sorted place (after its equals); returns its row.
    int AddFinishedEntry(std::unique_ptr<TDonkeyFile> entry);
    // Inserts finished entries at their sorted places (after their equals, in
    // their order among themselves): one insertion of rows for each place
    // when they go to a few places, else appended and merged into their
    // places in one pass, as one change of the layout.
    void AddFinishedEntries(std::vector<std::unique_ptr<TDonkeyFile>> entries);
    // Takes the entries of rows (ascending, each once) out of the list, last
    // first, and returns them in ascending row order.
    std::vector<std::unique_ptr<TDonkeyFile>> TakeRows(const std::vector<int> &rows);
    void ClearEntries();

    // The row shows what its entry holds now.
    void RedrawRow(int row);
    void RedrawAll();

    // The first row from start on (going on from the top when wrap is set) whose
    // name begins with text, letters a to z compared without case.
    std::optional<int> ListViewDataFind(const QString &text, int start, bool wrap) const;

private:
    // An entry with the name it was sorted by when it joined the list: a
    // refresh may rename a descriptor's entry, which keeps its place, and the
    // binary search of later insertions relies on the keys alone.
    struct TRow
    {
        std::string Key;
        std::unique_ptr<TDonkeyFile> Entry;
    };
    std::vector<TRow> m_entries;
    // Room for a merge of entries into the list, kept between merges.
    std::vector<TRow> m_merged;
    QIcon m_fileImage;
    QIcon m_partImage;
};
