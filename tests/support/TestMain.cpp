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

#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    TestApplication app(argc, argv);
    TestApplication::setApplicationName(QStringLiteral("Veska"));
    // Remembered ports and cables go to a scratch place, never to the user's own settings.
    QStandardPaths::setTestModeEnabled(true);
    QTemporaryDir settingsDir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
