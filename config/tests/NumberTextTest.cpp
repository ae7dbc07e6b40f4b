#include "config/NumberText.h"

#include <gtest/gtest.h>

#include <cfloat>

using config::leadingNumber;
using config::standardNumberText;

TEST(LeadingNumber, ReadsTheNumberAtTheStartAndIgnoresBlanksAnywhere)
{
    const struct { const char* text; double value; } cases[] = {
        {"8080", 8080}, {"08080", 8080}, {"+80", 80}, {"-12.5", -12.5}, {"8,080", 8},
        {"80x", 80}, {"80.", 80}, {".5", 0.5}, {"1.50", 1.5}, {" 1 2\t3\n", 123},
        {"- 4", -4}, {"1e3", 1000}, {"1E-2x", 0.01}, {"2D2", 200}, {"7e", 7}, {"7e+", 7},
        {"", 0}, {".", 0}, {"-", 0}, {"x80", 0}, {"\r80", 0},
        {"&H50", 80}, {"&hff", 255}, {"&O17", 15}, {"&H1G", 1}, {"&O8", 0}, {"&X5", 0}, {"&", 0},
    };
    for (const auto& c : cases) EXPECT_DOUBLE_EQ(leadingNumber(QString::fromUtf8(c.text)), c.value) << c.text;
}

TEST(LeadingNumber, StaysFinite)
{
    EXPECT_EQ(leadingNumber("1e999"), DBL_MAX);
    EXPECT_EQ(leadingNumber("-1e999"), -DBL_MAX);
    EXPECT_EQ(leadingNumber("1e-999"), 0);
}

TEST(StandardNumberText, WritesThePlainDecimalForm)
{
    const struct { double value; const char* text; } cases[] = {
        {0, "0"}, {-0.0, "0"}, {8080, "8080"}, {-80, "-80"}, {1.5, "1.5"}, {0.5, ".5"},
        {-0.25, "-.25"}, {65535, "65535"}, {21500000, "21500000"}, {123456789012345, "123456789012345"},
        {0.1 + 0.2, ".3"}, {1e15, "1E+15"}, {0.00001, "1E-05"}, {0.0001, ".0001"},
    };
    for (const auto& c : cases) EXPECT_EQ(standardNumberText(c.value), QString(c.text)) << c.text;
}

TEST(PortNumberFromText, EmptyMeansTheDefaultPortAndHalvesGoToEven)
{
    EXPECT_EQ(config::portNumberFromText(""), 33234);
    EXPECT_EQ(config::portNumberFromText("  "), 33234);
    EXPECT_EQ(config::portNumberFromText("1e20"), 33234);
    EXPECT_EQ(config::portNumberFromText("8080"), 8080);
    EXPECT_EQ(config::portNumberFromText("1.5"), 2);
    EXPECT_EQ(config::portNumberFromText("2.5"), 2);
    EXPECT_EQ(config::portNumberFromText("80.5"), 80);
}
