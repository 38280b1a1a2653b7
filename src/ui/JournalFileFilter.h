#pragma once

#include <QSortFilterProxyModel>

namespace veska {

// Keeps the record table's recovery journals ("Kestodb-recovery.db", the moved-aside
// "Kestodb-recovery-20240501-101500.db" and SQLite's side files of either) out of the file
// dialogs' listings: they are the program's own safety copies, not record files to open or
// overwrite.
class JournalFileFilter : public QSortFilterProxyModel {
    Q_OBJECT
public:
    explicit JournalFileFilter(QObject* parent = nullptr);

    static bool isJournalName(const QString& fileName);

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;
};

}  // namespace veska
