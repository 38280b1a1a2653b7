#pragma once

// A record table in a scratch working directory with a recorder on a fake clock and timer,
// for the recorder's tests and the widgets that drive it.
#include "session/Recorder.h"
#include "storage/RecordTable.h"
#include "storage/TableEngine.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTime>

#include <string>

namespace veska::test {

inline MeterReading reading(const std::string& value, const std::string& range = "AUTO") {
    return MeterReading{value, 1234.0F, "DC", "V", range};
}

struct Bench {
    Bench() {
        QDir::setCurrent(dir.path());
        table.openDefault();
        recorder.samplingTimer().stop();
        recorder.setClock([this] { return clock; });
        recorder.setConfirmHook([this](const QString& q) {
            questions << q;
            return answer;
        });
        QObject::connect(&recorder, &Recorder::information, [this](const QString& t) { infos << t; });
        QObject::connect(&recorder, &Recorder::error, [this](const QString& t) { errors << t; });
    }
    ~Bench() {
        table.close();
        QDir::setCurrent(QDir::tempPath());
    }
    void feed(const MeterReading& r, int times = 1) {
        for (int i = 0; i < times; ++i) recorder.offerReading(r);
    }
    void ticks(int n) {
        for (int i = 0; i < n; ++i) recorder.onSamplingTick();
    }
    qint64 rows() const { return table.rowCount(); }
    QString field(qint64 position, int index) const { return table.rowTexts(position).value(index); }
    QStringList values() const {
        QStringList v;
        for (qint64 i = 0; i < rows(); ++i) v << field(i, 3) + "/" + field(i, 5);
        return v;
    }

    QTemporaryDir dir;
    RecordTable table;
    Recorder recorder{table};
    QTime clock{14, 5, 9, 500};
    bool answer = false;
    QStringList questions, infos, errors;
};

}  // namespace veska::test
