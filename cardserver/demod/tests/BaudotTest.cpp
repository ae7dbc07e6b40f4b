#include "cardserver/demod/Baudot.h"

#include <gtest/gtest.h>

using namespace rtty::baudot;

namespace {

std::string decodeCodes(const std::vector<uint8_t>& codes, bool unshiftOnSpace)
{
    Decoder decoder(unshiftOnSpace);
    std::string text;
    for (uint8_t code : codes)
        decoder.decode(code, text);
    return text;
}

}  // namespace

TEST(Baudot, EverySendableCharacterSurvivesEncodeAndDecode)
{
    const std::string all = "ABCDEFGHIJKLMNOPQRSTUVWXYZ 0123456789-'?:()+,./=\r\n";
    for (bool unshift : {false, true}) {
        const Encoded encoded = encode(all, true);
        EXPECT_EQ(encoded.unsendable, 0u);
        EXPECT_EQ(decodeCodes(encoded.codes, unshift), all);
    }
}

TEST(Baudot, InternationalFiguresNotTheUsVariant)
{
    // V and Z in figures are '=' and '+', which end SYNOP reports.
    EXPECT_EQ(decodeCodes({kFigures, 0x1E, 0x11, 0x05}, true), "=+'");
    EXPECT_EQ(lookup(';').code, -1);
    EXPECT_EQ(lookup('"').code, -1);
    // Lower case is sent as upper case; characters without a code are counted.
    const Encoded encoded = encode("abc;\"!#", true);
    EXPECT_EQ(encoded.unsendable, 4u);
    EXPECT_EQ(decodeCodes(encoded.codes, true), "ABC");
}

TEST(Baudot, ShiftsNulWruAndBellPrintNothingButCrLfRepeatsAreKept)
{
    EXPECT_EQ(decodeCodes({kLetters, kLetters, kNul, kFigures, 0x09, 0x0B, kLetters}, true), "");
    EXPECT_EQ(decodeCodes({kCarriageReturn, kCarriageReturn, kLineFeed, kLineFeed, 0x03}, true), "\r\r\n\nA");
    // CR and LF do not change the case.
    EXPECT_EQ(decodeCodes({kFigures, 0x17, kCarriageReturn, kLineFeed, 0x13}, true), "1\r\n2");
}

// Sender and receiver must agree on unshift-on-space only when figures follow a space.
TEST(Baudot, UnshiftOnSpaceInAllFourSenderReceiverCombinations)
{
    const std::string text = "AAXX 08061 12345 TEXT 9";
    EXPECT_EQ(decodeCodes(encode(text, true).codes, true), text);
    EXPECT_EQ(decodeCodes(encode(text, true).codes, false), text);
    EXPECT_EQ(decodeCodes(encode(text, false).codes, false), text);
    // A sender that does not resend FIGS, to a receiver that unshifts: the
    // groups after a space come out as the letters on the same keys.
    EXPECT_EQ(decodeCodes(encode("12 34", false).codes, true), "12 ER");
    EXPECT_EQ(decodeCodes(encode("12 34", false).codes, false), "12 34");
}

TEST(Baudot, LostFigsGarblesOnlyUntilTheNextSpace)
{
    std::vector<uint8_t> codes = encode("AB 12345 CD 678", true).codes;
    // Drop the first FIGS, as a noise hit on it would.
    for (size_t i = 0; i < codes.size(); ++i)
        if (codes[i] == kFigures) {
            codes.erase(codes.begin() + static_cast<long>(i));
            break;
        }
    EXPECT_EQ(decodeCodes(codes, true), "AB QWERT CD 678");
}
