// The publisher posts its signals to the thread it lives on, so the tests need an
// application object. Run with "--publish-child PORT PREFIX" the binary is the publishing
// process that the last-will test kills.
#include "network/MqttPublisher.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <cstring>

namespace {

int runPublishingChild(const char* port, const char* prefix) {
    veska::MqttPublisherOptions options;
    options.brokerUrl = QStringLiteral("mqtt://127.0.0.1:%1").arg(QString::fromLatin1(port));
    options.topicPrefix = QString::fromUtf8(prefix);
    options.keepAliveSeconds = 5;
    veska::MqttPublisher publisher(options);
    if (!publisher.start()) return 2;
    return QCoreApplication::exec();  // until killed
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    if (argc == 4 && std::strcmp(argv[1], "--publish-child") == 0) return runPublishingChild(argv[2], argv[3]);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
