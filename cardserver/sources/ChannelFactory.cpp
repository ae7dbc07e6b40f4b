#include "ChannelFactory.h"

#include "DemoFeed.h"
#include "TextFileFeed.h"
#include "card/SimulatedChannel.h"

#include <QRegularExpression>

#ifdef PLUVANE_CARD_AUDIO
#include "card/AudioChannel.h"
#include "card/CombinedAudioChannel.h"
#include "rtty/audio/DemoSource.h"
#include "rtty/audio/SampleSource.h"
#include "rtty/channel/HfChannel.h"
#endif

namespace cardserver {

LineParameters defaultLine() { return LineParameters{}; }

bool isAudioSource(const QString& source)
{
    for (const char* prefix : {"wav:", "raw:", "udp:", "audio:"})
        if (source.startsWith(QLatin1String(prefix))) return true;
    return false;
}

QStringList combinedParts(const QString& source)
{
    static const QRegularExpression joint(QStringLiteral(R"(\+(?=(?:wav|raw|udp|audio):))"));
    return source.split(joint);
}

bool opensOnce(const QString& source)
{
    // A device, a port or a pipe has one reader; a raw file could be read
    // by every input, but one reading it is what the user meant. A
    // combined source holding any of them is opened once as a whole.
    for (const QString& part : combinedParts(source))
        for (const char* prefix : {"audio:", "udp:", "raw:"})
            if (part.startsWith(QLatin1String(prefix))) return true;
    return false;
}

namespace {

constexpr double kHfDemoSnrDb = 20.0;

// "@75,850", "@50,425,1500,inverted": how the text is sent.
std::optional<LineParameters> lineSuffix(const QString& suffix)
{
    static const QRegularExpression pattern(QStringLiteral(
        R"(^(\d+(?:\.\d+)?),(\d+(?:\.\d+)?)(?:,(\d+(?:\.\d+)?))?(?:,(normal|inverted))?$)"));
    const auto match = pattern.match(suffix);
    if (!match.hasMatch()) return std::nullopt;
    LineParameters line = defaultLine();
    line.baud = match.captured(1).toDouble();
    line.shift = match.captured(2).toDouble();
    if (match.hasCaptured(3)) line.centre = match.captured(3).toDouble();
    line.inverted = match.captured(4) == QLatin1String("inverted");
    if (line.baud < 10 || line.baud > 300 || line.shift < 20 || line.shift > 2000 || line.centre < 100
        || line.centre > 4000)
        return std::nullopt;
    return line;
}

}  // namespace

namespace {

constexpr int kMaxCombined = 4;

// Two to four receivers of one broadcast on one input.
std::unique_ptr<DecodingChannel> createCombinedChannel(const QStringList& parts, QString* error)
{
    if (parts.size() > kMaxCombined) {
        *error = QStringLiteral("at most %1 sources can be combined on one input, not %2").arg(kMaxCombined).arg(parts.size());
        return nullptr;
    }
#ifdef PLUVANE_CARD_AUDIO
    std::vector<std::unique_ptr<rtty::SampleSource>> sources;
    for (const QString& part : parts) {
        if (!isAudioSource(part)) {
            *error = QStringLiteral("\"%1\" cannot be combined: only wav:, raw:, udp: and audio: sources can").arg(part);
            return nullptr;
        }
        rtty::SourceOptions options;
        options.loop = true;
        std::string why;
        auto audio = rtty::openSource(part.toStdString(), options, why);
        if (!audio) {
            *error = QString::fromStdString(why);
            return nullptr;
        }
        sources.push_back(std::move(audio));
    }
    QStringList names;
    for (const auto& audio : sources) names << QString::fromStdString(audio->describe());
    return std::make_unique<CombinedAudioChannel>(std::move(sources), names.join(QStringLiteral(" + ")));
#else
    *error = QStringLiteral("%1: this server was built without audio sources").arg(parts.join(QLatin1Char('+')));
    return nullptr;
#endif
}

}  // namespace

std::unique_ptr<DecodingChannel> createChannel(const QString& source, uint32_t seed, QString* error)
{
    if (const QStringList parts = combinedParts(source); parts.size() > 1) return createCombinedChannel(parts, error);
    if (source == QLatin1String("demo") || source.startsWith(QLatin1String("demo:"))) {
        const QString channelName = source.mid(5);
#ifdef PLUVANE_CARD_AUDIO
        // The bulletins as a receiver hears them: RTTY audio with noise and
        // a slow fade, or through an HF channel, decoded live. The audio runs
        // on through the feed's pauses (an empty piece would end it).
        rtty::DemoOptions options;
        options.seed = seed;
        options.parameters.centreHz = defaultLine().centre;
        if (!channelName.isEmpty()) {
            if (!hfchannel::channelPreset(channelName.toStdString(), options.sampleRate, 1.0, options.parameters.centreHz,
                                          options.parameters.shiftHz, seed)) {
                QStringList names;
                for (const std::string& name : hfchannel::channelPresetNames()) names << QString::fromStdString(name);
                *error = QStringLiteral("unknown demo channel \"%1\" (use %2)").arg(channelName, names.join(QStringLiteral(", ")));
                return nullptr;
            }
            // A strong station on a fading path: fades of 20 dB and more
            // still leave the signal above the noise most of the time.
            options.channel = channelName.toStdString();
            options.snrDb = kHfDemoSnrDb;
        }
        auto feed = std::make_shared<DemoFeed>(seed);
        auto audio = std::make_unique<rtty::DemoSource>(options, [feed] {
            QString piece;
            for (int pause = 0; piece.isEmpty() && pause < 10; ++pause) piece = feed->next();
            return piece.isEmpty() ? std::string("\r\n") : piece.toStdString();
        });
        const QString description = channelName.isEmpty() ? QStringLiteral("demo bulletins")
                                                          : QStringLiteral("demo bulletins, %1 HF channel").arg(channelName);
        return std::make_unique<AudioChannel>(std::move(audio), false, description);
#else
        return std::make_unique<SimulatedChannel>(std::make_unique<DemoFeed>(seed), defaultLine(), seed);
#endif
    }
    if (source.startsWith(QLatin1String("text:"))) {
        QString path = source.mid(5);
        LineParameters line = defaultLine();
        const qsizetype at = path.lastIndexOf(QLatin1Char('@'));
        if (at >= 0) {
            if (const auto suffix = lineSuffix(path.mid(at + 1))) {
                line = *suffix;
                path.truncate(at);
            }
        }
        if (path.isEmpty()) {
            *error = QStringLiteral("text: needs a file name");
            return nullptr;
        }
        auto feed = TextFileFeed::open(path, error);
        if (!feed) return nullptr;
        return std::make_unique<SimulatedChannel>(std::move(feed), line, seed);
    }
    if (isAudioSource(source)) {
#ifdef PLUVANE_CARD_AUDIO
        // A recording is the station's broadcast, repeated; a device, pipe
        // or UDP stream runs on at its sender's pace, read on a thread.
        rtty::SourceOptions options;
        options.loop = true;
        std::string why;
        auto audio = rtty::openSource(source.toStdString(), options, why);
        if (!audio) {
            *error = QString::fromStdString(why);
            return nullptr;
        }
        const bool live = audio->waitsForInput();
        const QString description = QString::fromStdString(audio->describe());
        return std::make_unique<AudioChannel>(std::move(audio), live, description);
#else
        *error = QStringLiteral("%1: this server was built without audio sources").arg(source);
        return nullptr;
#endif
    }
    *error = QStringLiteral("unknown source \"%1\" (use demo, text:PATH, wav:PATH, raw:PATH@RATE, udp:PORT or audio:DEVICE, or audio sources joined by +)").arg(source);
    return nullptr;
}

}  // namespace cardserver
