#include "rtty/dsp/Baudot.h"
#include "rtty/dsp/ShiftRecovery.h"

#include <gtest/gtest.h>

#include <array>
#include <cctype>

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

namespace {

// Bit LLRs for a code: strong (±strong) except for the bits listed as
// weak, which lean towards the received value by only `weak`.
std::array<double, 5> llrsFor(uint8_t received, std::initializer_list<int> weakBits = {}, double strong = 20.0,
                              double weak = 1.0)
{
    std::array<double, 5> llrs{};
    for (int bit = 0; bit < 5; ++bit)
        llrs[size_t(bit)] = ((received >> bit) & 1) ? strong : -strong;
    for (int bit : weakBits)
        llrs[size_t(bit)] = llrs[size_t(bit)] > 0 ? weak : -weak;
    return llrs;
}

// Feeds text through a decoder and the recovery, as the demodulator does.
struct Receiver {
    Decoder decoder{true};
    rtty::ShiftRecovery recovery;
    std::string text;
    double strong = 20.0, weak = 1.0;
    void receive(uint8_t code, std::initializer_list<int> weakBits = {})
    {
        const auto llrs = llrsFor(code, weakBits, strong, weak);
        const uint8_t used = recovery.correct(code, llrs.data(), decoder.inFigures());
        const bool figuresBefore = decoder.inFigures();
        const size_t before = text.size();
        decoder.decode(used, text);
        recovery.decoded(used, figuresBefore, text.size() > before ? text.back() : '\0');
    }
    void receive(const std::string& plain)
    {
        for (uint8_t code : encode(plain).codes)
            receive(code);
    }
};

}  // namespace

TEST(ShiftRecovery, WeakCodesWhereAShiftIsExpectedAreTakenAsIt)
{
    // A FIGS after a group of figures and a space, with one weak bit.
    Receiver afterSpace;
    afterSpace.receive("12345 ");
    afterSpace.receive(kFigures ^ 0x04, {2});
    afterSpace.receive(0x17);  // Q key: '1' in figures
    EXPECT_EQ(afterSpace.text, "12345 1");

    // A LTRS inside a group of digits, weak in the bit that makes it '1' (Q, 0x17).
    Receiver inGroup;
    inGroup.receive("12");
    inGroup.receive(kLetters, {3});
    inGroup.receive(0x10);  // T key: '5' in figures
    EXPECT_EQ(inGroup.text, "1215");
}

// A LTRS at the start of a line, after a line ending in figures ("=\r\n"),
// with one bit faded: read as K it printed '(' and the line's word in
// figures ("NNNN" as ",,,,"). A clean K there still prints '('.
TEST(ShiftRecovery, WeakLettersAtTheStartOfALineInFigures)
{
    Receiver weak;
    weak.receive("12345=\r\n");
    weak.receive(0x0F, {4});  // K: LTRS with its last bit read as space
    weak.receive("NNNN");
    EXPECT_EQ(weak.text, "12345=\r\nNNNN");

    Receiver clean;
    clean.receive("12345=\r\n");
    clean.receive(0x0F);
    EXPECT_EQ(clean.text, "12345=\r\n(");
}

// At a strong signal every bit's LLR is large, the weak one too: at the
// edge of a fade of both tones the slot it falls in read at some 260
// against 2,700 for the rest (a 40 dB signal dipped 20 dB). The bit is weak
// against its own frame, and the shift is recovered as at a weak signal.
// A bit only half as strong as the others is no fade's edge: kept.
TEST(ShiftRecovery, OneBitFarWeakerThanItsFrameAtAStrongSignal)
{
    Receiver lineStart;
    lineStart.strong = 2700.0;
    lineStart.weak = 260.0;
    lineStart.receive("12345=\r\n");
    lineStart.receive(0x0F, {4});
    lineStart.receive("NNNN\r\n12345 ");
    lineStart.receive(kFigures ^ 0x08, {3});
    lineStart.receive(0x17);
    EXPECT_EQ(lineStart.text, "12345=\r\nNNNN\r\n12345 1");

    Receiver halfAsStrong;
    halfAsStrong.strong = 2700.0;
    halfAsStrong.weak = 1350.0;
    halfAsStrong.receive("12345=\r\n");
    halfAsStrong.receive(0x0F, {4});
    EXPECT_EQ(halfAsStrong.text, "12345=\r\n(");

    // Two weak bits are not one a fade's edge took.
    Receiver twoWeak;
    twoWeak.strong = 2700.0;
    twoWeak.weak = 260.0;
    twoWeak.receive("12345=\r\n");
    twoWeak.receive(0x0E, {0, 4});  // LTRS with two bits read as space: C
    EXPECT_EQ(twoWeak.text, "12345=\r\n:");
}

// A sender that puts FIGS before each group of figures goes on with a
// digit. A '1' (Q) with its fourth bit in a flat fade's null reads as LTRS
// at 0.7 against some 30-190 for the rest of its frame, and the group
// printed as letters ("10048" as "PPRI"). A clean LTRS there is a real
// shift, and one whose weak bit leads to no digit stays as well.
TEST(ShiftRecovery, ALettersShiftWithAWeakBitRightAfterFigures)
{
    for (double strong : {20.0, 15000.0}) {
        Receiver nulled;
        nulled.strong = strong;
        nulled.weak = 0.7;
        nulled.receive("20510 ");
        nulled.receive(kFigures);
        nulled.receive(kLetters, {3});
        nulled.receive("0048");
        EXPECT_EQ(nulled.text, "20510 10048") << strong;
    }

    Receiver clean;
    clean.receive("12 ");
    clean.receive(kFigures);
    clean.receive(kLetters);
    clean.receive(0x03);  // A
    EXPECT_EQ(clean.text, "12 A");

    // LTRS with its first bit weak is 0x1E, no digit's code: kept.
    Receiver noDigit;
    noDigit.receive("12 ");
    noDigit.receive(kFigures);
    noDigit.receive(kLetters, {0});
    noDigit.receive(0x03);
    EXPECT_EQ(noDigit.text, "12 A");
}

// A frame that holds nothing (every bit a tie: the silence after a
// recording, a crash that blanked it whole) is no damaged digit: every code
// costs nothing there, so any rule would take its first candidate. It
// prints what it came as, nothing for a blank code.
TEST(ShiftRecovery, AFrameWithNothingInItIsNotRepaired)
{
    Receiver group;
    group.receive("AAXX 123");
    group.strong = 0.0;
    group.receive(kNul);
    group.receive(kLetters);
    EXPECT_EQ(group.text, "AAXX 123");

    // After a bulletin's last line, a frame straddling the end printed a
    // digit; the blank one after it printed the same digit again.
    Receiver end;
    end.receive("10042 20003\r\n");
    end.strong = 0.5;
    end.receive(0x01);  // E: '3' in figures
    end.strong = 0.0;
    end.receive(kNul);
    EXPECT_EQ(end.text, "10042 20003\r\n3");
}

TEST(ShiftRecovery, CleanCodesAndPlainTextAreNeverChanged)
{
    // Letters after figures, sent with clean bits, stay letters.
    Receiver plain;
    plain.receive("TEMP 12 CATS 7 AAXX 08061 EDZW");
    EXPECT_EQ(plain.text, "TEMP 12 CATS 7 AAXX 08061 EDZW");

    // A clean LTRS inside a group is a real shift.
    Receiver shift;
    shift.receive("12");
    shift.receive(kLetters);
    shift.receive(0x03);  // A
    EXPECT_EQ(shift.text, "12A");
}

// A crash blanks a slot whole (its LLR a tie) or leaves it far weaker than
// the frame's others; inside a group of figures short of its five digits,
// or at the group's start, a code one such bit away from a digit that
// printed punctuation or nothing is read as the digit. After five digits a
// digit or nothing one weak bit from a space is the space. Every digit and
// every one-bit change of it is tried; clean codes print as they came.
TEST(ShiftRecovery, ErasedBitsInsideGroupsOfFigures)
{
    auto figure = [](uint8_t code) {
        std::string out;
        Decoder decoder;
        decoder.decode(kFigures, out);
        decoder.decode(code, out);
        return out;
    };
    int tried = 0;
    for (uint8_t digit = 0; digit < 32; ++digit) {
        const std::string wanted = figure(digit);
        if (wanted.size() != 1 || !std::isdigit(static_cast<unsigned char>(wanted[0])))
            continue;
        for (int bit = 0; bit < 5; ++bit) {
            const auto received = static_cast<uint8_t>(digit ^ (1u << bit));
            const std::string misread = figure(received);
            const bool punctuation = misread.size() == 1 && std::ispunct(static_cast<unsigned char>(misread[0]));
            if (received == kFigures || (!misread.empty() && !punctuation))
                continue;
            ++tried;
            Receiver inside;
            inside.strong = 2700.0;
            inside.weak = 1e-9;
            inside.receive("AAXX 123");
            inside.receive(received, {bit});
            EXPECT_EQ(inside.text, "AAXX 123" + wanted) << int(received);
            if (punctuation) {
                Receiver start;
                start.strong = 2700.0;
                start.weak = 300.0;
                start.receive("12345 ");
                start.receive(kFigures);
                start.receive(received, {bit});
                EXPECT_EQ(start.text, "12345 " + wanted) << int(received);
            }
            Receiver clean;
            clean.strong = 2700.0;
            clean.receive("AAXX 123");
            clean.receive(received);
            EXPECT_EQ(clean.text, "AAXX 123" + misread) << int(received);
        }
    }
    EXPECT_GE(tried, 10);

    Receiver spaceLost;
    spaceLost.strong = 2700.0;
    spaceLost.weak = 1e-9;
    spaceLost.receive("12345");
    spaceLost.receive(kNul, {2});  // the space, its only mark bit erased
    spaceLost.receive(kFigures);
    spaceLost.receive("678");
    EXPECT_EQ(spaceLost.text, "12345 678");

    // A space whose fourth bit a fade's null took prints ',' (N): the
    // groups ran together as "07150,12656". A clean ',' stays.
    Receiver comma;
    comma.strong = 2700.0;
    comma.weak = 0.5;
    comma.receive("07150");
    comma.receive(0x0C, {3});
    comma.receive(kFigures);
    comma.receive("126");
    EXPECT_EQ(comma.text, "07150 126");
    Receiver cleanComma;
    cleanComma.receive("07150");
    cleanComma.receive(0x0C);
    EXPECT_EQ(cleanComma.text, "07150,");

    // Nor is a short group's end taken away: headers hold them.
    for (uint8_t end : {kCarriageReturn, kSpace}) {
        Receiver header;
        header.strong = 2700.0;
        header.weak = 1e-9;
        header.receive("ZCZC 001");
        header.receive(end, {end == kSpace ? 2 : 3});
        EXPECT_EQ(header.text, std::string("ZCZC 001") + (end == kSpace ? " " : "\r"));
    }

    // A group's end is not forced: "=" after five digits stays, weak or not.
    Receiver groupEnd;
    groupEnd.strong = 2700.0;
    groupEnd.weak = 1e-9;
    groupEnd.receive("12345");
    groupEnd.receive(0x1E, {0});
    EXPECT_EQ(groupEnd.text, "12345=");
}
