#include "ui/JournalFileFilter.h"

#include <QFileSystemModel>
#include <QRegularExpression>

namespace veska {

JournalFileFilter::JournalFileFilter(QObject* parent) : QSortFilterProxyModel(parent) {}

bool JournalFileFilter::isJournalName(const QString& fileName) {
    static const QRegularExpression journal(QStringLiteral("-recovery(?:-[^.]*)?\\.db(?:-(?:journal|wal|shm))?$"),
                                            QRegularExpression::CaseInsensitiveOption);
    return journal.match(fileName).hasMatch();
}

bool JournalFileFilter::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const {
    const QModelIndex index = sourceModel()->index(sourceRow, 0, sourceParent);
    if (const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel()); files != nullptr && files->isDir(index)) {
        return true;
    }
    return !isJournalName(index.data(Qt::DisplayRole).toString());
}

}  // namespace veska
