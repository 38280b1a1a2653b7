#include "app/CommandLine.h"

#include <gtest/gtest.h>

using namespace veska;

TEST(CommandLine, ParsesEveryMode) {
    QString error;
    auto cl = CommandLine::parse({}, error);
    ASSERT_TRUE(cl);
    EXPECT_EQ(cl->mode, CommandLine::Mode::Window);

    cl = CommandLine::parse({"--simulate", "--port", "COM2=/dev/ttyUSB0", "--port", "com4=/dev/pts/3"}, error);
    ASSERT_TRUE(cl) << error.toStdString();
    EXPECT_EQ(cl->simulate, CommandLine::Simulate::Serial);
    ASSERT_EQ(cl->portMap.size(), 2U);
    EXPECT_EQ(cl->portMap[0], std::make_pair(2, QString("/dev/ttyUSB0")));
    EXPECT_EQ(cl->portMap[1].first, 4);
    EXPECT_FALSE(cl->port);

    cl = CommandLine::parse({"--doctor", "--port", "COM3=/dev/pts/7", "--port", "/dev/ttyACM0"}, error);
    ASSERT_TRUE(cl) << error.toStdString();
    EXPECT_EQ(cl->mode, CommandLine::Mode::Doctor);
    ASSERT_EQ(cl->portMap.size(), 1U);
    EXPECT_EQ(cl->portMap[0], std::make_pair(3, QString("/dev/pts/7")));
    EXPECT_EQ(cl->port, QString("/dev/ttyACM0"));

    cl = CommandLine::parse({"--doctor", "--list"}, error);
    ASSERT_TRUE(cl);
    EXPECT_EQ(cl->mode, CommandLine::Mode::Doctor);
    EXPECT_TRUE(cl->listOnly);
    EXPECT_FALSE(CommandLine::parse({"--headless", "--list"}, error));
    EXPECT_EQ(error, "--list works with --doctor");
    cl = CommandLine::parse({"--headless", "--port", "/dev/ttyUSB1"}, error);
    ASSERT_TRUE(cl) << error.toStdString();
    EXPECT_EQ(cl->port, QString("/dev/ttyUSB1"));

    cl = CommandLine::parse({"--headless", "--samples", "5", "--interval", "0", "--no-repeat", "--limit", "1000",
                             "--save", "out.xls", "--simulate=usb", "--rate", "50"},
                            error);
    ASSERT_TRUE(cl) << error.toStdString();
    EXPECT_EQ(cl->mode, CommandLine::Mode::Headless);
    EXPECT_EQ(cl->samples, 5);
    EXPECT_EQ(cl->interval, 0);
    EXPECT_TRUE(cl->noRepeat);
    EXPECT_EQ(cl->limit, 1000);
    EXPECT_EQ(cl->save, QString("out.xls"));
    EXPECT_EQ(cl->simulate, CommandLine::Simulate::Usb);
    EXPECT_EQ(cl->rate, 50);

    cl = CommandLine::parse({"--export", "Kestodb.db", "run1.xls"}, error);
    ASSERT_TRUE(cl);
    EXPECT_EQ(cl->mode, CommandLine::Mode::Export);
    EXPECT_EQ(cl->exportOut, "run1.xls");

    cl = CommandLine::parse({"--print", "Kestodb.db", "--pdf", "out.pdf"}, error);
    ASSERT_TRUE(cl);
    EXPECT_EQ(cl->mode, CommandLine::Mode::Print);
    EXPECT_EQ(cl->pdfOut, "out.pdf");

    cl = CommandLine::parse({"--version"}, error);
    ASSERT_TRUE(cl);
    EXPECT_EQ(cl->mode, CommandLine::Mode::Version);
}

TEST(CommandLine, TakesTheBrokerForAHeadlessRun) {
    QString error;
    auto cl = CommandLine::parse({"--mqtt", "mqtts://u:p@broker.lan", "--mqtt-topic", "lab/dmm1", "--mqtt-ca",
                                  "ca.pem", "--headless"},
                                 error);
    ASSERT_TRUE(cl) << error.toStdString();
    EXPECT_EQ(cl->mqttUrl, QString("mqtts://u:p@broker.lan"));
    EXPECT_EQ(cl->mqttTopic, QString("lab/dmm1"));
    EXPECT_EQ(cl->mqttCa, QString("ca.pem"));
    cl = CommandLine::parse({"--headless"}, error);
    ASSERT_TRUE(cl);
    EXPECT_FALSE(cl->mqttUrl);
}

TEST(CommandLine, RefusesMistakesWithAMessage) {
    const QStringList bad[] = {
        {"--bogus"}, {"--samples"}, {"--samples", "0"}, {"--samples", "x"}, {"--port", "COM5=/dev/x"},
        {"--print", "t.db"}, {"--export", "only-one"},
        // The broker address is checked before anything starts (exit 2, not a failed run).
        {"--headless", "--mqtt", "http://host"}, {"--headless", "--mqtt", "mqtt://"},
        {"--headless", "--mqtt", "mqtt://host:99999"}, {"--headless", "--mqtt"},
        {"--headless", "--mqtt", "mqtt://h", "--mqtt-topic", "a/+/b"},
        {"--headless", "--mqtt", "mqtt://h", "--mqtt-topic", ""},
        {"--headless", "--mqtt-topic", "x"}, {"--headless", "--mqtt-ca", "ca.pem"},
        {"--mqtt", "mqtt://h"},  // the window has its own dialog
        // No empty port, one source at a time, nothing silently ignored.
        {"--headless", "--port", ""}, {"--headless", "--port", " "}, {"--doctor", "--port", ""},
        {"--headless", "--port", "/dev/ttyUSB0", "--simulate"}, {"--headless", "--usb", "--simulate=usb"},
        {"--headless", "--port", "COM2", "--usb"}, {"--headless", "--port", "/dev/a", "--port", "/dev/b"},
        {"--headless", "--rate", "50"}, {"--port", "/dev/ttyUSB0"}, {"--usb"},
        // An option after a command's arguments is an option, never a file name.
        {"--export", "src.db", "--help"}, {"--export", "--help", "out.csv"}, {"--print", "t.db", "--pdf", "--version"},
        {"--headless", "--save", "--simulate"},
    };
    for (const QStringList& args : bad) {
        QString error;
        EXPECT_FALSE(CommandLine::parse(args, error)) << args.join(' ').toStdString();
        EXPECT_FALSE(error.isEmpty());
    }
}
