// Raw PCM from pipes and UDP audio: how the bytes arrive must not change
// the samples, and a sender that stalls must not hold up a reader that stops.
#include "TestSignals.h"

#include "rtty/signal/FskModulator.h"
#include "rtty/audio/RawSource.h"
#include "rtty/audio/SampleSource.h"
#include "rtty/audio/UdpSource.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace rtty;
using rtty::testing::decodeAll;

namespace {

const std::string kText = "ZCZC 002\r\nAAXX 08061\r\n10384 32575 72008 10052=\r\n";

std::vector<unsigned char> s16le(const std::vector<float>& samples)
{
    std::vector<unsigned char> bytes;
    for (float s : samples) {
        const auto v = int16_t(std::lround(std::clamp(s, -1.0f, 1.0f) * 32767.0f));
        bytes.push_back(uint8_t(v & 0xff));
        bytes.push_back(uint8_t(uint16_t(v) >> 8));
    }
    return bytes;
}

std::vector<float> readAll(SampleSource& source)
{
    std::vector<float> all, block(1000);
    while (size_t got = source.read(block.data(), block.size()))
        all.insert(all.end(), block.begin(), block.begin() + long(got));
    return all;
}

std::string fifoPath()
{
    const auto path = std::filesystem::temp_directory_path()
                    / ("rawsource-" + std::to_string(::getpid()) + "-"
                       + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove(path);
    EXPECT_EQ(::mkfifo(path.c_str(), 0600), 0);
    return path.string();
}

}  // namespace

// A pipe hands over any number of bytes, a sample split across two writes
// included; the writer closing it is the end, as of a file.
TEST(RawSource, PipeWrittenByteByByteDecodesAndEndsWithTheWriter)
{
    const auto samples = renderText(kText, 12000, RttyParameters{});
    const auto bytes = s16le(samples);
    const std::string fifo = fifoPath();
    RawSource source(fifo, 12000, PcmFormat::S16LE, true);
    ASSERT_TRUE(source.isOpen()) << source.errorText();
    EXPECT_TRUE(source.waitsForInput());
    std::thread writer([&] {
        const int fd = ::open(fifo.c_str(), O_WRONLY);
        // Odd-sized writes: 1 byte, then 3, then 4096 at a time.
        size_t at = 0;
        for (size_t size : {size_t(1), size_t(3)})
            at += size_t(::write(fd, bytes.data() + at, size));
        while (at < bytes.size())
            at += size_t(::write(fd, bytes.data() + at, std::min<size_t>(4095, bytes.size() - at)));
        ::write(fd, "\x01", 1);  // a half sample at the end is no audio
        ::close(fd);
    });
    const auto received = readAll(source);
    writer.join();
    std::filesystem::remove(fifo);
    EXPECT_TRUE(source.atEnd());
    EXPECT_EQ(source.errorText(), "");
    ASSERT_EQ(received.size(), samples.size());
    EXPECT_NEAR(received[1234], samples[1234], 1.0 / 16384);
    EXPECT_EQ(decodeAll(received, 12000, RttyParameters{}), kText);
}

TEST(RawSource, StalledPipeLetsTheReaderStop)
{
    const std::string fifo = fifoPath();
    const int writer = ::open(fifo.c_str(), O_RDWR);  // holds the pipe open, never writes
    RawSource source(fifo, 8000, PcmFormat::F32LE, false);
    ASSERT_TRUE(source.isOpen());
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        source.stopReading();
    });
    float sample;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(source.read(&sample, 1), 0u);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
    stopper.join();
    ::close(writer);
    std::filesystem::remove(fifo);
}

TEST(RawSource, FloatFileLoopsAndBadSpecsAreNamed)
{
    const auto path = std::filesystem::temp_directory_path() / ("raw-" + std::to_string(::getpid()) + ".f32");
    const float values[] = {0.5f, -0.25f, std::numeric_limits<float>::quiet_NaN()};
    FILE* file = std::fopen(path.c_str(), "wb");
    std::fwrite(values, sizeof values, 1, file);
    std::fputc(7, file);  // a partial sample, dropped at each round
    std::fclose(file);
    std::string error;
    auto source = openSource("raw:" + path.string() + "@8000,f32le", {true, false}, error);
    ASSERT_TRUE(source) << error;
    EXPECT_FALSE(source->waitsForInput());
    float out[7];
    size_t total = 0;
    while (total < 7)
        total += source->read(out + total, 7 - total);
    EXPECT_EQ(std::vector<float>(out, out + 7), (std::vector<float>{0.5f, -0.25f, 0.0f, 0.5f, -0.25f, 0.0f, 0.5f}));

    const struct {
        std::string source;
        const char* says;
    } bad[] = {
        {"raw:" + path.string(), "raw:PATH@RATE"},
        {"raw:" + path.string() + "@4000", "8000 to 192000"},
        {"raw:" + path.string() + "@12000.5", "whole number"},
        {"raw:" + path.string() + "@12000,u8", "unknown sample format 'u8'"},
        {"raw:/no/such/file@12000", "No such file"},
        {"udp:70000", "port must be a number"},
        {"udp:7355@48000,s24le", "unknown sample format"},
        {"udp:no.such.host.invalid:7355", "no.such.host.invalid"},
    };
    for (const auto& c : bad) {
        error.clear();
        EXPECT_FALSE(openSource(c.source, {}, error)) << c.source;
        EXPECT_NE(error.find(c.says), std::string::npos) << c.source << ": " << error;
    }
    std::filesystem::remove(path);
}

// Datagrams of any size, a trailing odd byte dropped with its datagram; a
// sender gone quiet is silence at its pace, not a stall.
TEST(UdpSource, DatagramsOfAnySizeThenSilenceInAGap)
{
    UdpSource source("", 0, 8000, PcmFormat::S16LE);
    ASSERT_TRUE(source.isOpen()) << source.errorText();
    ASSERT_GT(source.port(), 0);
    EXPECT_NE(source.describe().find("127.0.0.1:" + std::to_string(source.port()) + "@8000,s16le"), std::string::npos);

    const auto samples = renderText(kText, 8000, RttyParameters{});
    const auto bytes = s16le(samples);
    const int sender = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(uint16_t(source.port()));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::vector<float> received;
    std::vector<float> block(4096);
    size_t at = 0, chunk = 0;
    const size_t sizes[] = {2, 1024, 9000, 300};
    while (at < bytes.size()) {
        const size_t size = std::min(sizes[chunk++ % 4], bytes.size() - at);
        ::sendto(sender, bytes.data() + at, size, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
        at += size;
        // Read what came before sending more: the socket's buffer is not the test's subject.
        size_t want = size / 2;
        while (want > 0) {
            const size_t got = source.read(block.data(), std::min(want, block.size()));
            ASSERT_GT(got, 0u);
            received.insert(received.end(), block.begin(), block.begin() + long(got));
            want -= got;
        }
    }
    const unsigned char odd[3] = {0x00, 0x40, 0x55};
    ::sendto(sender, odd, 3, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    ASSERT_EQ(source.read(block.data(), 10), 1u);
    EXPECT_NEAR(block[0], 0.5, 1e-4);
    ::close(sender);
    EXPECT_EQ(received.size(), samples.size());

    // Then nothing: within a second or so, silence arrives at about the real pace.
    const auto started = std::chrono::steady_clock::now();
    size_t silent = 0;
    while (silent < 4000) {
        const size_t got = source.read(block.data(), block.size());
        ASSERT_GT(got, 0u);
        for (size_t i = 0; i < got; ++i)
            EXPECT_EQ(block[i], 0.0f);
        silent += got;
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
    EXPECT_GT(took.count(), 0.4);
    EXPECT_LT(took.count(), 2.0);
    received.resize(received.size() + silent, 0.0f);
    EXPECT_EQ(decodeAll(received, 8000, RttyParameters{}), kText);
}

// The bytes as the wire has them (little-endian), whatever the machine:
// the ends of the 16-bit range, and floats kept to the bit (signed zero,
// the smallest subnormal, the largest finite) while NaN and infinities of
// either sign become silence.
TEST(RawSource, PcmBytesConvertToTheSamplesTheyStandFor)
{
    const unsigned char s16[] = {0x00, 0x80, 0xff, 0x7f, 0x00, 0x00, 0xff, 0xff, 0x00, 0x40};
    float out[5];
    convertPcm(s16, 5, PcmFormat::S16LE, out);
    EXPECT_EQ(out[0], -1.0f);
    EXPECT_EQ(out[1], 32767.0f / 32768.0f);
    EXPECT_EQ(out[2], 0.0f);
    EXPECT_EQ(out[3], -1.0f / 32768.0f);
    EXPECT_EQ(out[4], 0.5f);

    const uint32_t words[] = {0x80000000u, 0x00000001u, 0x7f7fffffu, 0x3f800000u, 0x7f800000u,
                              0xff800000u, 0x7fc00000u, 0xffc00001u, 0xbe800000u};
    std::vector<unsigned char> f32;
    for (uint32_t word : words)
        for (int byte = 0; byte < 4; ++byte)
            f32.push_back(static_cast<unsigned char>(word >> (8 * byte)));
    std::vector<float> samples(std::size(words));
    convertPcm(f32.data(), samples.size(), PcmFormat::F32LE, samples.data());
    const uint32_t expected[] = {0x80000000u, 0x00000001u, 0x7f7fffffu, 0x3f800000u, 0, 0, 0, 0, 0xbe800000u};
    for (size_t i = 0; i < samples.size(); ++i) {
        uint32_t bits;
        std::memcpy(&bits, &samples[i], sizeof bits);
        EXPECT_EQ(bits, expected[i]) << "sample " << i;
    }
}
