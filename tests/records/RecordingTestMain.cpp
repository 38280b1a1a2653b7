// Shared test entry: the record classes use timers, widgets and signals, so the tests
// run with an application object (offscreen platform).
#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
