// The writers' fast paths against plain reference forms: text escaped sixteen
// and eight bytes at a time with the odd byte at every place of a block and of a
// short tail, figures written without printf, and the table of positions'
// shortest forms when its slots are contended, and the separators wherever
// the staging area is handed on.
#include "synopdecoder/FieldWriters.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdio>
#include <gtest/gtest.h>
#include <random>

using namespace synop;

namespace {

// JSON string escaping one byte at a time, as the writer's results must read.
std::string plainJsonString(std::string_view s)
{
    std::string out = "\"";
    for (size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c == '"') out += "\\\"";
        else if (c == '\\') out += "\\\\";
        else if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c == '\t') out += "\\t";
        else if (c < 0x20) {
            char u[8];
            std::snprintf(u, sizeof u, "\\u%04x", c);
            out += u;
        } else if (c < 0x80) out += static_cast<char>(c);
        else if (c == 0xe2 && i + 2 < s.size() && static_cast<unsigned char>(s[i + 1]) == 0x82
                 && static_cast<unsigned char>(s[i + 2]) == 0xac) {
            out += "\xe2\x82\xac";  // the one valid sequence these tests use
            i += 2;
        } else out += "\xef\xbf\xbd";
    }
    return out + "\"";
}

}  // namespace

TEST(WriterEdges, JsonTextWithAnEscapedByteAtEveryPlace)
{
    const std::vector<std::string> oddBytes = {"\"", "\\", "\n", "\r", "\t", std::string(1, '\0'), "\x1f", "\x7f", "\xe9",
                                               "\xe2\x82\xac", "\xe2\x82"};
    for (size_t length = 0; length <= 40; ++length) {  // two blocks of sixteen and a tail
        for (const std::string& odd : oddBytes) {
            for (size_t at = 0; at <= length; ++at) {
                std::string text(length, 'k');
                text.insert(at, odd);
                std::string out;
                JsonWriter::appendString(out, text);
                ASSERT_EQ(out, plainJsonString(text)) << "length " << length << " at " << at;
                // The same through the staging area, as a key's value.
                std::string object;
                {
                    JsonWriter json(object);
                    json.beginObject({});
                    json.text("raw", text);
                    json.endObject();
                }
                ASSERT_EQ(object, "{\"raw\":" + plainJsonString(text) + "}");
            }
        }
    }
    // Text longer than the staging area goes straight to the buffer, in order.
    std::string longText(5000, 'x');
    longText[4321] = '"';
    std::string object;
    {
        JsonWriter json(object);
        json.beginObject({});
        json.integer("n", 1);
        json.text("long", longText);
        json.boolean("b", true);
        json.endObject();
    }
    EXPECT_EQ(object, "{\"n\":1,\"long\":" + plainJsonString(longText) + ",\"b\":true}");
}

TEST(WriterEdges, SeparatorsWhereverTheStagingAreaIsHandedOn)
{
    // Each value is written with a comma that the closing bracket takes back:
    // the staging area is handed on at every possible place (after a comma,
    // after an opening bracket, inside a nested object), and keys too long
    // for its slack go straight to the buffer.
    const std::string longKey(100, 'k');
    for (size_t pad = 0; pad <= 2400; ++pad) {
        std::string out;
        {
            JsonWriter json(out);
            json.beginObject({});
            json.beginArray("pad");  // pad bytes of small values
            for (size_t i = 0; i < pad / 4; ++i) json.text({}, "x");
            json.text({}, std::string(pad % 4, 'y'));
            json.endArray();
            json.beginArray("empty");
            json.endArray();
            json.beginArray("list");
            for (int i = 0; i < 3; ++i) json.integer({}, i);
            json.endArray();
            json.beginObject("o");
            json.beginObject("inner");
            json.endObject();
            json.null(longKey);
            json.endObject();
            for (int i = 0; i < 40; ++i) {
                json.beginArray("a");
                json.integer({}, i);
                json.endArray();
            }
            json.boolean(longKey, true);
            json.beginArray(longKey);
            json.number({}, 1.5);
            json.endArray();
            json.endObject();
        }
        std::string expected = "{\"pad\":[";
        for (size_t i = 0; i < pad / 4; ++i) expected += "\"x\",";
        expected.append("\"").append(pad % 4, 'y').append("\"],\"empty\":[],\"list\":[0,1,2],\"o\":{\"inner\":{},\"");
        expected.append(longKey).append("\":null}");
        for (int i = 0; i < 40; ++i) expected.append(",\"a\":[").append(std::to_string(i)).append("]");
        expected.append(",\"").append(longKey).append("\":true,\"").append(longKey).append("\":[1.5]}");
        ASSERT_EQ(out, expected) << "pad " << pad;
    }
}

TEST(WriterEdges, PositionsTableNeverMixesUpNumbers)
{
    // More distinct values than the table has slots, each written several
    // times in an order that makes them take each other's slots.
    std::vector<double> values;
    for (int i = 1; i <= 5000; ++i) values.push_back(i / 3.0 - 900.0 / 7.0);
    std::mt19937 random(7);
    for (int round = 0; round < 3; ++round) {
        std::shuffle(values.begin(), values.end(), random);
        for (const double v : values) {
            std::string mine;
            JsonWriter::appendNumber(mine, v);
            char text[32];
            ASSERT_EQ(mine, std::string(text, std::to_chars(text, text + sizeof text, v).ptr)) << v;
        }
    }
}

TEST(WriterEdges, TenDigitFiguresAsPrintfWritesThem)
{
    std::vector<double> values = {0.0, -0.0, 0.1, -0.1, -0.5, 0.05, 1e-7, 99999999.9, 1e8, -1e8, 123456789.1, 1e15,
                                  54.18333333333333, -8.666666666666666, 2.5e-5};
    for (int tenths = -200000; tenths <= 200000; tenths += 7) values.push_back(tenths / 10.0);
    // Positions, more than the table of kept answers has slots, each twice
    // at a distance: a slot taken over must never answer for another number.
    std::mt19937 random(7);
    std::uniform_real_distribution<double> degrees(-180, 180);
    std::vector<double> positions(3000);
    for (double& p : positions) p = degrees(random);
    for (int round = 0; round < 2; ++round) values.insert(values.end(), positions.begin(), positions.end());
    for (const double v : values) {
        char mine[32], printf[32];
        const size_t length = writeTenDigits(mine, v);
        std::snprintf(printf, sizeof printf, "%.10g", v);
        ASSERT_EQ(std::string(mine, length), std::string(printf)) << v;
    }
}

TEST(WriterEdges, FlaggedBytesFoundWhereASearchFindsThem)
{
    // Random text of every length up to three words, with the bytes that
    // CSV quotes at random places; also bytes that differ from them by one.
    std::mt19937 random(11);
    const std::string alphabet = std::string(",\"\r\n+-!#\x0b\x0c\xac\x80\xff", 13) + "ABCxyz019 ";
    auto csv = [](uint64_t x) { return bytesEqual(x, ',') | bytesEqual(x, '"') | bytesEqual(x, '\r') | bytesEqual(x, '\n'); };
    for (int round = 0; round < 20000; ++round) {
        std::string text(random() % 25, 'a');
        for (char& c : text)
            if (random() % 4 == 0) c = alphabet[random() % alphabet.size()];
        const size_t expected = std::min(text.find_first_of(",\"\r\n"), text.size());
        ASSERT_EQ(firstFlagged(text, csv), expected) << text;
        size_t control = text.size();
        for (size_t i = 0; i < text.size(); ++i)
            if (static_cast<unsigned char>(text[i]) < 0x20) {
                control = i;
                break;
            }
        ASSERT_EQ(firstFlagged(text, controlBytes), control) << text;
    }
}

TEST(WriterEdges, WholeNumbersAndTenthsAsToCharsWritesThem)
{
    // Every change in the count of figures, both signs, the extremes; then
    // tenths around the halves where a careless rounding picks the wrong one.
    std::vector<long long> whole = {0, LLONG_MAX, LLONG_MIN, LLONG_MIN + 1};
    for (long long p = 1; p <= 1000000000000000000LL; p *= 10)
        for (long long v : {p - 1, p, p + 1, 2 * p - 1, 9 * p + p / 2}) whole.insert(whole.end(), {v, -v});
    for (long long v = -1200; v <= 1200; ++v) whole.push_back(v);
    for (const long long v : whole) {
        std::string object;
        {
            JsonWriter json(object);
            json.beginArray({});
            json.integer({}, v);
            json.endArray();
        }
        char text[32];
        std::string expected = "[";
        expected.append(text, std::to_chars(text, text + sizeof text, v).ptr);
        expected += ']';
        ASSERT_EQ(object, expected) << v;
    }
    std::vector<double> numbers = {0.05, -0.05, 0.15, -0.15, 0.45, -0.45, 0.49999999999999994, -0.49999999999999994,
                                   2.5e-9, 999999999.9, -999999999.9, 1e9, -1e9, 0.30000000000000004,
                                   -1.2345678901234567e-300, -2.2250738585072014e-308};  // the longest forms
    for (int tenths = -20000; tenths <= 20000; ++tenths) numbers.push_back(tenths / 10.0 + (tenths % 3 == 0 ? 0.05 : 0.0));
    for (const double v : numbers) {
        std::string mine;
        JsonWriter::appendNumber(mine, v);
        char text[32];
        ASSERT_EQ(mine, std::string(text, std::to_chars(text, text + sizeof text, v).ptr)) << v;
    }
}

TEST(WriterEdges, HeadingObjectFollowsEveryChangeOfHeading)
{
    // The text kept from the last heading must never stand for another: the
    // headings alternate, differ in one part only, need escaping, or are
    // longer than the staging area.
    const std::vector<BulletinHeading> headings = {
        {"SMEU01", "EGRR", "080000", ""}, {"SMEU01", "EGRR", "080000", "CCA"}, {"SMEU01", "EGRR", "080600", ""},
        {"SMEU01", "EGRR", "080000", ""}, {"SM\"U\\1", "E\x01RR", "08\xe9" "000", ""},
        {std::string(3000, 'S'), "EGRR", "080000", std::string(900, 'B')}, {"SMEU01", "EGRR", "080000", ""}};
    for (int round = 0; round < 2; ++round) {
        for (const BulletinHeading& h : headings) {
            std::string kept, plain;
            {
                JsonWriter json(kept);
                json.beginObject({});
                json.integer("n", 1);
                json.headingObject("header", h);
                json.boolean("b", true);
                json.endObject();
            }
            {
                JsonWriter json(plain);
                json.beginObject({});
                json.integer("n", 1);
                json.beginObject("header");
                json.text("ttaaii", h.ttaaii);
                json.text("cccc", h.cccc);
                json.text("yygggg", h.yygggg);
                json.text("bbb", h.bbb);
                json.endObject();
                json.boolean("b", true);
                json.endObject();
            }
            ASSERT_EQ(kept, plain) << h.ttaaii.substr(0, 10) << " " << h.bbb.substr(0, 10);
        }
    }
}
