#include "ui/DigitKeyFilter.h"
#include "session/NumberField.h"

#include <gtest/gtest.h>

using namespace veska;

TEST(NumberField, ReadsLikeTheFields) {
    EXPECT_EQ(NumberField::parse(""), 0);
    EXPECT_EQ(NumberField::parse("-"), 0);
    EXPECT_EQ(NumberField::parse("+"), 0);
    EXPECT_EQ(NumberField::parse("10"), 10);
    EXPECT_EQ(NumberField::parse("-6000"), -6000);
    EXPECT_EQ(NumberField::parse("+25"), 25);
    EXPECT_EQ(NumberField::parse("007"), 7);
    EXPECT_FALSE(NumberField::parse("1-2").has_value());
    EXPECT_FALSE(NumberField::parse("99999999999").has_value());
    EXPECT_EQ(NumberField::notAnIntegerMessage("1-2"), "'1-2' is not a valid integer value");
}

TEST(DigitKeyFilter, LetsDigitsAndBackspaceThrough) {
    const DigitKeyFilter plain;
    const DigitKeyFilter signs(true);
    EXPECT_TRUE(plain.accepts('7'));
    EXPECT_TRUE(plain.accepts(QChar(0x08)));
    EXPECT_FALSE(plain.accepts('-'));
    EXPECT_FALSE(plain.accepts('a'));
    EXPECT_TRUE(signs.accepts('-'));
    EXPECT_TRUE(signs.accepts('+'));
    EXPECT_FALSE(signs.accepts('.'));
}
