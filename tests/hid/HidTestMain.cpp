#include <QCoreApplication>

#include <gtest/gtest.h>

// Hand-overs from the reader threads run on this thread's event loop.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
