// Helper process for the record tests.
//   hold <table>   open the table for exclusive use, print "ready", wait until stdin closes
//   record <dir> [pause-ms]
//                  record readings into <dir>/Kestodb.db for ever, printing "<No> <ms>" for
//                  each posted row (ms on the monotonic clock), until killed; pause-ms
//                  between rows (2 by default; 0 fills the page cache within a second)
#include "storage/RecordTable.h"
#include "session/Recorder.h"
#include "storage/TableEngine.h"
#include "storage/TableError.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>

#include <chrono>
#include <thread>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

using namespace veska;

namespace {

int hold(const char* table) {
    TableEngine t;
    t.setTableName(QString::fromLocal8Bit(table));
    t.setExclusive(true);
    t.setCachedUpdates(true);
    try {
        t.open();
    } catch (const TableError& e) {
        std::cout << "error " << e.what() << std::endl;
        return 1;
    }
    std::cout << "ready" << std::endl;
    std::string line;
    while (std::getline(std::cin, line)) {
    }
    return 0;
}

int record(const char* dir, int pauseMs) {
    QDir::setCurrent(QString::fromLocal8Bit(dir));
    RecordTable table;
    table.openDefault();
    Recorder recorder(table);
    recorder.setRecordLimit(Recorder::kLimitless);
    MeterReading reading{"1.234", 1234.0F, "DC", "V", "AUTO"};
    QElapsedTimer limit;
    limit.start();
    while (limit.elapsed() < 120000) {
        recorder.offerReading(reading);
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now().time_since_epoch())
                            .count();
        std::cout << recorder.nextRecordNo() - 1 << ' ' << ms << std::endl;
        QCoreApplication::processEvents();
        if (pauseMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc == 3 && std::strcmp(argv[1], "hold") == 0) return hold(argv[2]);
    if (argc == 3 && std::strcmp(argv[1], "record") == 0) return record(argv[2], 2);
    if (argc == 4 && std::strcmp(argv[1], "record") == 0) return record(argv[2], std::atoi(argv[3]));
    std::fprintf(stderr, "usage: %s hold <table> | record <dir> [pause-ms]\n", argv[0]);
    return 2;
}
