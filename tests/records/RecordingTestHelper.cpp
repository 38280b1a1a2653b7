// Helper process for the record tests.
//   hold <table>   open the table for exclusive use, print "ready", wait until stdin closes
#include "records/TableEngine.h"
#include "records/TableError.h"

#include <QCoreApplication>

#include <cstdio>
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

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc == 3 && std::strcmp(argv[1], "hold") == 0) return hold(argv[2]);
    std::fprintf(stderr, "usage: %s hold <table>\n", argv[0]);
    return 2;
}
