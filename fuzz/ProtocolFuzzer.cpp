// The server's side of the wire: line framing, message and typed-value
// parsing. Whatever a peer sends must be cut into the lines a plain split
// would give, and every message that parses must encode to a line that
// parses back to the same encoding, with every value inside its type.
#include "protocol/CardRecord.h"
#include "protocol/LineFramer.h"
#include "protocol/Message.h"

#include <cstdint>
#include <cstdlib>
#include <cstdio>

namespace {

// Small enough that the fuzzer's inputs reach the overflow path.
constexpr int kFramerBound = 512;

void require(bool condition, const char* what)
{
    if (condition) return;
    std::fprintf(stderr, "broken invariant: %s\n", what);
    std::abort();
}

void checkTypes(const cardproto::Message& message)
{
    using cardproto::WireType;
    for (const auto& value : message.args) {
        switch (value.type) {
        case WireType::I2: require(value.integer >= INT16_MIN && value.integer <= INT16_MAX, "i2 range"); break;
        case WireType::I4: require(value.integer >= INT32_MIN && value.integer <= INT32_MAX, "i4 range"); break;
        case WireType::Bool: require(value.integer == 0 || value.integer == 1, "bool is 0 or 1"); break;
        case WireType::Bytes:
            if (const auto record = cardproto::CardRecord::decode(value.bytes)) {
                require(value.bytes.size() >= cardproto::CardRecord::kSize, "card record size");
                record->encode();
            }
            break;
        default: break;
        }
    }
}

void checkLine(const QByteArray& line)
{
    QString error;
    const auto message = cardproto::Message::parse(line, &error);
    if (!message) {
        require(!error.isEmpty(), "a refused line says why");
        return;
    }
    checkTypes(*message);
    const QByteArray encoded = message->encode();
    require(!encoded.contains('\n'), "an encoded message is one line");
    QString again;
    const auto reparsed = cardproto::Message::parse(encoded, &again);
    require(reparsed.has_value(), "an encoded message parses");
    require(reparsed->kind == message->kind, "kind survives a round trip");
    require(reparsed->encode() == encoded, "encoding is stable");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    // The first byte chooses how the stream is cut into reads.
    const size_t chunk = 1 + data[0] % 64;
    const QByteArray stream(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));

    cardproto::LineFramer framer(kFramerBound);
    QList<QByteArray> framed;
    bool open = true;
    for (qsizetype at = 0; at < stream.size() && open; at += qsizetype(chunk)) {
        // The reads point into the input: a copy per read would be most of
        // what a run allocates.
        open = framer.append(QByteArray::fromRawData(stream.constData() + at, qMin(qsizetype(chunk), stream.size() - at)));
        while (const auto line = framer.takeLine()) framed << *line;
    }

    // What a plain split gives, up to the first line over the bound.
    QList<QByteArray> expected;
    bool overflow = false;
    qsizetype start = 0;
    for (;;) {
        const qsizetype lf = stream.indexOf('\n', start);
        if (lf < 0) {
            overflow = stream.size() - start > kFramerBound;
            break;
        }
        if (lf - start > kFramerBound) {
            overflow = true;
            break;
        }
        QByteArray line = stream.mid(start, lf - start);
        if (line.endsWith('\r')) line.chop(1);
        expected << line;
        start = lf + 1;
    }
    require(framer.overflowed() == overflow, "overflow exactly when a line is over the bound");
    if (!overflow) require(framed == expected, "framed lines equal a plain split");
    else require(framed.size() <= expected.size(), "no line after an overflow");

    for (const auto& line : framed) checkLine(line);
    return 0;
}
