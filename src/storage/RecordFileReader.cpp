#include "storage/RecordFileReader.h"

#include "storage/ParadoxTable.h"
#include "storage/RecordColumns.h"
#include "storage/TableEngine.h"

namespace veska {

bool RecordFileReader::isParadoxFile(const QString& name) {
    return ParadoxTable::hasParadoxHeader(TableEngine::resolvePath(name));
}

void RecordFileReader::openForReading(TableEngine& engine, const QString& name) {
    const QString path = TableEngine::resolvePath(name);
    if (ParadoxTable::hasParadoxHeader(path)) {
        ParadoxTable paradox(path);
        engine.openInMemory(path, paradox.engineFields(), [&paradox](TableEngine& copy) {
            paradox.readRows([&copy](const ParadoxTable::Row& row) {
                copy.append();
                for (std::size_t i = 0; i < row.size(); ++i) copy.setField(int(i), TableEngine::Value(row[i]));
                copy.post();
            });
        });
    } else {
        engine.setTableName(name);
        engine.setExclusive(true);
        engine.setReadOnly(true);
        engine.open();
    }
    RecordColumns::indexesIn(engine);
}

}  // namespace veska
