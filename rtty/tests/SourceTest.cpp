#include "TestSignals.h"

#include "rtty/audio/DemoSource.h"
#include "rtty/signal/FskModulator.h"
#include "rtty/audio/SampleSource.h"
#include "rtty/audio/WavSource.h"
#include "rtty/audio/WavWriter.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <filesystem>
#include <fstream>

using namespace rtty;
using rtty::testing::decodeAll;

namespace {

class Sources : public ::testing::Test {
protected:
    void SetUp() override
    {
        directory_ = std::filesystem::temp_directory_path()
                   / ("rttydemod-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-"
                      + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(directory_);
    }
    void TearDown() override { std::filesystem::remove_all(directory_); }
    std::string path(const std::string& name) const { return (directory_ / name).string(); }

    // Writes samples in any libsndfile format, several channels with the signal on the first.
    std::string write(const std::string& name, const std::vector<float>& samples, int rate, int format,
                      int channels = 1)
    {
        SF_INFO info{};
        info.samplerate = rate;
        info.channels = channels;
        info.format = format;
        SNDFILE* file = sf_open(path(name).c_str(), SFM_WRITE, &info);
        EXPECT_NE(file, nullptr) << sf_strerror(nullptr);
        sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
        std::vector<float> frames(samples.size() * size_t(channels), 0.25f);
        for (size_t i = 0; i < samples.size(); ++i)
            frames[i * size_t(channels)] = samples[i];
        sf_writef_float(file, frames.data(), static_cast<sf_count_t>(samples.size()));
        sf_close(file);
        return path(name);
    }

    static std::string decodeFile(const std::string& file, const RttyParameters& parameters, std::string* error = nullptr)
    {
        std::string openError;
        auto source = openSource("wav:" + file, {}, openError);
        if (!source) {
            if (error)
                *error = openError;
            return "<unopened>";
        }
        std::vector<float> samples(4096), all;
        while (size_t got = source->read(samples.data(), samples.size()))
            all.insert(all.end(), samples.begin(), samples.begin() + static_cast<long>(got));
        if (error)
            *error = source->errorText();
        return decodeAll(all, source->sampleRate(), parameters);
    }

    std::filesystem::path directory_;
};

const std::string kText = "ZCZC 001\r\nAAXX 08061\r\n10381 41580 80304 10114=\r\n";

}  // namespace

TEST_F(Sources, FormatsRatesAndChannels)
{
    RttyParameters parameters;
    const struct {
        int rate;
        int format;
        int channels;
    } cases[] = {
        {8000, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1},  {11025, SF_FORMAT_WAV | SF_FORMAT_PCM_24, 2},
        {44100, SF_FORMAT_WAV | SF_FORMAT_PCM_32, 1}, {48000, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 3},
        {96000, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1}, {22050, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 1},
        {12000, SF_FORMAT_WAVEX | SF_FORMAT_PCM_16, 2}, {16000, SF_FORMAT_RF64 | SF_FORMAT_FLOAT, 1},
        {8000, SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 2},
    };
    for (const auto& c : cases) {
        const auto samples = renderText(kText, c.rate, parameters);
        const std::string file = write("in" + std::to_string(c.rate) + ".wav", samples, c.rate, c.format, c.channels);
        EXPECT_EQ(decodeFile(file, parameters), kText) << c.rate << " Hz, format " << std::hex << c.format;
    }
}

TEST_F(Sources, BadFilesGiveClearErrorsOrSilence)
{
    RttyParameters parameters;
    std::string error;

    std::ofstream(path("text.wav")) << "this is not a sound file\n";
    EXPECT_EQ(decodeFile(path("text.wav"), parameters, &error), "<unopened>");
    EXPECT_NE(error.find("text.wav"), std::string::npos) << error;

    EXPECT_EQ(decodeFile(path("missing.wav"), parameters, &error), "<unopened>");
    EXPECT_NE(error.find("missing.wav"), std::string::npos);

    // Truncated in the middle of the data: what is there decodes.
    const auto samples = renderText(kText + kText, 8000, parameters);
    const std::string whole = write("whole.wav", samples, 8000, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    const auto size = std::filesystem::file_size(whole);
    std::filesystem::resize_file(whole, size / 2 + 1);
    const std::string decoded = decodeFile(whole, parameters, &error);
    EXPECT_EQ(decoded.substr(0, kText.size()), kText);
    EXPECT_LT(decoded.size(), 2 * kText.size());

    // Silence and an empty file: nothing printed, no failure.
    EXPECT_EQ(decodeFile(write("silence.wav", std::vector<float>(80000, 0.0f), 8000, SF_FORMAT_WAV | SF_FORMAT_PCM_16),
                         parameters, &error),
              "");
    EXPECT_EQ(error, "");
    write("empty.wav", {}, 8000, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    EXPECT_EQ(decodeFile(path("empty.wav"), parameters, &error), "<unopened>");
    EXPECT_NE(error.find("no samples"), std::string::npos) << error;

    // Hard clipping (a signal driven ten times past full scale) still decodes.
    std::vector<float> loud = renderText(kText, 8000, parameters);
    for (float& s : loud)
        s *= 20.0f;
    EXPECT_EQ(decodeFile(write("clipped.wav", loud, 8000, SF_FORMAT_WAV | SF_FORMAT_PCM_16), parameters), kText);

    // Float files with NaN and infinities: taken as silence, never a crash.
    std::vector<float> broken = renderText(kText, 8000, parameters);
    for (size_t i = 0; i < 2000; ++i)
        broken[i] = (i % 2) ? std::numeric_limits<float>::quiet_NaN() : std::numeric_limits<float>::infinity();
    EXPECT_EQ(decodeFile(write("nan.wav", broken, 8000, SF_FORMAT_WAV | SF_FORMAT_FLOAT), parameters), kText);

    // A rate the demodulator cannot use is refused by name.
    EXPECT_NE(parameterProblem(parameters, 4000.0), nullptr);
}

// Only WAV, RF64 and FLAC reach libsndfile; its parsers of other containers
// have faults a damaged file reaches (a leak on a truncated Ogg, overflows in
// the AU and IRCAM headers). Each is refused by its header, by name.
TEST_F(Sources, OtherContainersAreRefusedByTheirHeader)
{
    const auto samples = renderText(kText, 8000, RttyParameters{});
    const struct {
        int format;
        const char* named;
    } refused[] = {
        {SF_FORMAT_AU | SF_FORMAT_PCM_16, "Sun/NeXT AU"},
        {SF_FORMAT_IRCAM | SF_FORMAT_PCM_16, "IRCAM"},
        {SF_FORMAT_AIFF | SF_FORMAT_PCM_16, "AIFF"},
        {SF_FORMAT_OGG | SF_FORMAT_VORBIS, "Ogg"},
    };
    for (const auto& c : refused) {
        const std::string file = write("refused-" + std::string(c.named).substr(0, 3) + ".wav", samples, 8000, c.format);
        for (const bool truncated : {false, true}) {
            if (truncated)
                std::filesystem::resize_file(file, 300);
            std::string error;
            EXPECT_EQ(decodeFile(file, RttyParameters{}, &error), "<unopened>") << c.named;
            EXPECT_NE(error.find(c.named), std::string::npos) << error;
            EXPECT_NE(error.find("WAV"), std::string::npos) << error;
            EXPECT_NE(error.find("FLAC"), std::string::npos) << error;
        }
    }
    // A header that claims WAV but stops short is libsndfile's to refuse.
    const std::string shortHeader("RIFF\x10\0\0\0WAVEfmt ", 16);
    std::ofstream(path("short.wav"), std::ios::binary) << shortHeader;
    std::string error;
    EXPECT_EQ(decodeFile(path("short.wav"), RttyParameters{}, &error), "<unopened>");
    EXPECT_NE(error.find("short.wav (WAV)"), std::string::npos) << error;
}

TEST_F(Sources, FileInMemoryReadsAsFromDisk)
{
    const auto samples = renderText(kText, 11025, RttyParameters{});
    const std::string file = write("memory.flac", samples, 11025, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    std::ifstream in(file, std::ios::binary);
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    WavSource source(bytes, "memory.flac");
    ASSERT_TRUE(source.isOpen()) << source.errorText();
    std::vector<float> all(samples.size() + 100);
    size_t total = 0;
    while (size_t got = source.read(all.data() + total, all.size() - total))
        total += got;
    all.resize(total);
    EXPECT_EQ(decodeAll(all, 11025, RttyParameters{}), kText);

    WavSource empty(std::vector<unsigned char>{}, "nothing");
    EXPECT_FALSE(empty.isOpen());
    EXPECT_NE(empty.errorText().find("empty"), std::string::npos) << empty.errorText();
}

TEST_F(Sources, WrittenFilesHoldTheSamplesAndNothingOfTheMoment)
{
    // The same samples give the same file, byte for byte, whenever written
    // (benchmark files and channel recordings are compared that way).
    const auto samples = renderText(kText, 8000, RttyParameters{});
    for (const WavFormat format : {WavFormat::Float32, WavFormat::Pcm16}) {
        const std::string file = path(format == WavFormat::Float32 ? "float.wav" : "pcm.wav");
        ASSERT_EQ(writeWav(file, samples, 8000, format), "");
        std::ifstream in(file, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(bytes.find("PEAK"), std::string::npos) << "a chunk with the time of writing";
        EXPECT_EQ(decodeFile(file, RttyParameters{}), kText);
    }
}

TEST_F(Sources, LoopedFileStartsOver)
{
    const auto samples = renderText("RY", 8000, RttyParameters{});
    const std::string file = write("loop.wav", samples, 8000, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    WavSource looped(file, true, false);
    std::vector<float> buffer(samples.size() * 3 + 10);
    size_t total = 0;
    while (total < buffer.size()) {
        const size_t got = looped.read(buffer.data() + total, buffer.size() - total);
        ASSERT_GT(got, 0u);
        total += got;
    }
    EXPECT_FALSE(looped.atEnd());
    EXPECT_NEAR(buffer[2 * samples.size() + 100], samples[100], 1e-4);
}

TEST_F(Sources, DemoBroadcastDecodesWithTheSameDemodulator)
{
    DemoOptions options;
    std::vector<std::string> pieces = {"ZCZC 001\r\nAAXX 08061\r\n", "10381 41580 80304 10114=\r\n"};
    size_t next = 0;
    std::string sent;
    DemoSource demo(options, [&] {
        if (next >= pieces.size())
            return std::string();
        sent += pieces[next];
        return pieces[next++];
    });
    std::vector<float> all, buffer(1000);
    while (size_t got = demo.read(buffer.data(), buffer.size()))
        all.insert(all.end(), buffer.begin(), buffer.begin() + static_cast<long>(got));
    EXPECT_TRUE(demo.atEnd());
    EXPECT_EQ(decodeAll(all, options.sampleRate, options.parameters), sent);
}
