// The one test entry of every test that needs Qt: an application object for timers,
// signals and queued hand-overs, built as QApplication where widgets are tested
// (VESKA_TEST_WIDGETS) and as QCoreApplication elsewhere. Everything runs headless.
#ifdef VESKA_TEST_WIDGETS
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    TestApplication app(argc, argv);
    TestApplication::setApplicationName(QStringLiteral("Veska"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
