#include "links/PortMap.h"

#include <gtest/gtest.h>

using namespace veska;

TEST(PortMap, DefaultsToTheFirstFourSerialDevices) {
    const PortMap map;
    EXPECT_EQ(map.path(ComPortNumber::Com1), "/dev/ttyS0");
    EXPECT_EQ(map.path(ComPortNumber::Com4), "/dev/ttyS3");
    EXPECT_EQ(map.hintText(ComPortNumber::Com2), "COM2: /dev/ttyS1");
}

TEST(PortMap, ParsesTheOptionValue) {
    struct Case {
        const char* value;
        bool ok;
        ComPortNumber port;
        const char* path;
    };
    const Case cases[] = {
        {"COM1=/dev/ttyUSB0", true, ComPortNumber::Com1, "/dev/ttyUSB0"},
        {"com4=/dev/pts/7", true, ComPortNumber::Com4, "/dev/pts/7"},
        {" COM2 = /dev/ttyACM0 ", true, ComPortNumber::Com2, "/dev/ttyACM0"},
        {"COM5=/dev/ttyUSB0", false, {}, ""},
        {"COM0=/dev/ttyUSB0", false, {}, ""},
        {"COM12=/dev/ttyUSB0", false, {}, ""},
        {"COMX=/dev/ttyUSB0", false, {}, ""},
        {"/dev/ttyUSB0", false, {}, ""},
        {"COM1=", false, {}, ""},
        {"=/dev/ttyUSB0", false, {}, ""},
    };
    for (const Case& c : cases) {
        PortMap map;
        const PortMap before;
        QString error;
        EXPECT_EQ(map.parseOption(c.value, &error), c.ok) << c.value;
        if (c.ok) {
            EXPECT_EQ(map.path(c.port), c.path) << c.value;
            EXPECT_TRUE(error.isEmpty());
        } else {
            for (int i = 0; i < kComPortCount; ++i)
                EXPECT_EQ(map.path(ComPortNumber(i)), before.path(ComPortNumber(i))) << c.value;
            EXPECT_TRUE(error.contains(c.value)) << error.toStdString();
        }
    }
}
