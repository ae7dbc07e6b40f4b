// Cutting teletype lines into tokens a block of bytes at a time: tokens
// across block ends, long groups, garbled bytes, and chunks split anywhere.
#include "TestSupport.h"

#include "synopdecoder/AssemblerTokens.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using namespace synop;
using synop::detail::Tokens;
using synop::detail::tokenize;

namespace {

// The tokens cut one byte at a time, as plainly as it can be said.
std::vector<std::string> tokensByteByByte(std::string_view line)
{
    std::vector<std::string> out;
    std::string token;
    auto end = [&] {
        if (token.empty()) return;
        if (token == ",,,,") token = "NNNN";
        else if (token == ",8)") token = "NIL";
        else if (token == "+:+:" || token == "\":\":") token = "ZCZC";
        out.push_back(token);
        token.clear();
    };
    for (const char c : line) {
        if (c == ' ') {
            end();
        } else if (c == '=' || c == ';') {
            end();
            out.emplace_back("=");
        } else {
            token += c;
        }
    }
    end();
    return out;
}

std::vector<std::string> tokensOf(std::string_view line)
{
    Tokens tokens;
    tokenize(line, tokens);
    return {tokens.begin(), tokens.end()};
}

}  // namespace

TEST(Tokenizer, TokensAcrossBlockEndsAndAtTheLineEnds)
{
    // A separator or a token edge at every place around the 16- and 64-byte
    // blocks, in lines shorter than one block and longer than many.
    for (size_t length : {0u, 1u, 5u, 15u, 16u, 17u, 31u, 63u, 64u, 65u, 127u, 128u, 129u, 1024u}) {
        for (size_t at = 0; at < length; ++at) {
            for (const char separator : {' ', '=', ';'}) {
                std::string line(length, '7');
                line[at] = separator;
                ASSERT_EQ(tokensOf(line), tokensByteByByte(line)) << length << " " << at << " " << separator;
            }
        }
    }
    EXPECT_EQ(tokensOf("  10015 41460=  ;"), (std::vector<std::string>{"10015", "41460", "=", "="}));
    EXPECT_EQ(tokensOf(",,,, ,8) +:+:"), (std::vector<std::string>{"NNNN", "NIL", "ZCZC"}));
}

TEST(Tokenizer, RandomLinesOfGarbledBytesAsCutOneByteAtATime)
{
    // Bytes of every value (NUL, high bytes, the separators) in lines of
    // every length up to beyond one assembler line.
    std::mt19937 random(22);
    const std::string_view common = "0123456789/ = ;AXQ,";
    for (int round = 0; round < 4000; ++round) {
        std::string line(random() % 1300, ' ');
        for (char& c : line)
            c = random() % 4 ? common[random() % common.size()] : static_cast<char>(random() % 256);
        ASSERT_EQ(tokensOf(line), tokensByteByByte(line)) << round;
    }
    // One long group: a token of every length runs over the blocks whole.
    for (size_t length : {63u, 64u, 65u, 200u, 1024u}) {
        const std::string group(length, '1');
        EXPECT_EQ(tokensOf(" " + group + " 2"), (std::vector<std::string>{group, "2"}));
    }
}

TEST(Tokenizer, TextMadeOverInAnyChunksGivesTheSameReportsAndText)
{
    // Lower case, control characters, DEL and high bytes around the places
    // where the assembler's sixteen-byte look at the text stops and starts.
    std::string text = "\x01SMDL01 EDZW 080600\r\r\naaxx 08061\r\r\n";
    text += "10015 41460 72315 10056 20039\t39963 40012 57008 78582 81541\x7f"
            "333 20038=\r\r\n";
    text += "10020 41/60 80916 10072 20045 30012 40026 58011 \xe9\xff rain=\r\n";
    text += std::string("10035 41/60 80916 10072 20045\x00 30012 40026 58011=\r\n", 51);
    text += std::string("NNNN\r\n\x03", 8);
    const auto whole = synop::testing::decodeText(text);
    ASSERT_EQ(whole.size(), 3u);
    EXPECT_EQ(whole[0].raw, "10015 41460 72315 10056 20039 39963 40012 57008 78582 81541 333 20038=");
    EXPECT_DOUBLE_EQ(*whole[0].minTempC, 3.8);
    EXPECT_EQ(whole[1].raw, "10020 41/60 80916 10072 20045 30012 40026 58011 \xe9\xff RAIN=");
    EXPECT_EQ(whole[2].raw, "10035 41/60 80916 10072 20045 30012 40026 58011=");
    for (size_t chunk : {1u, 5u, 15u, 16u, 17u, 64u}) {
        const auto split = synop::testing::decodeText(text, chunk);
        ASSERT_EQ(split.size(), whole.size()) << chunk;
        for (size_t i = 0; i < whole.size(); ++i) {
            EXPECT_EQ(split[i].raw, whole[i].raw) << chunk;
            EXPECT_EQ(split[i].station, whole[i].station) << chunk;
        }
    }
}

TEST(Tokenizer, ALongReportKeepsItsWholeText)
{
    // Lines of long groups among coded ones: the report's text outgrows
    // the assembler's first area for it and is handed on whole.
    std::string report = "10015 41460 72315";
    for (int line = 0; line < 10; ++line) report += "\n" + std::string(900, '1') + " 10015 20015 30015 40015";
    const auto reports = synop::testing::decodeText("AAXX 08061\r\n" + report + "=\r\n", 333);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_GT(reports.front().raw.size(), 4096u);
    EXPECT_EQ(reports.front().raw, report + "=");
}
