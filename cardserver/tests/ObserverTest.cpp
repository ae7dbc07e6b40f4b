// Observers of a card, end to end with the real server on the demo card:
// what they are sent (the holder's events, the line search, spectrum frames
// with the demo's tones in them), what they may not do, and that one that
// stops reading costs the holder and the other observers nothing.
#include "RawClient.h"
#include "cardserver/testing/CardServerProcess.h"
#include "protocol/WaterfallFrame.h"

#include <QDeadlineTimer>
#include <QMessageAuthenticationCode>
#include <QTemporaryDir>
#include <algorithm>
#include <gtest/gtest.h>

using cardproto::Message;
using cardproto::WaterfallFrame;
using cardproto::WireValue;
using cardserver::testing::CardServerProcess;

namespace {

WireValue keep() { return WireValue::i2(-1); }

// The observer's next spectrum frame, decoded.
std::optional<WaterfallFrame> nextFrame(RawClient& client, int timeoutMs = 10000)
{
    const auto message = client.event(QStringLiteral("Spectrum"), timeoutMs);
    if (!message) return std::nullopt;
    QString why;
    auto frame = WaterfallFrame::fromArgs(message->args, &why);
    EXPECT_TRUE(frame) << why.toStdString();
    return frame;
}

// Frequencies of the strongest bins at least `apart` Hz from one another.
std::vector<double> peaks(const WaterfallFrame& frame, int count, double apart)
{
    std::vector<size_t> order(frame.bins.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return frame.bins[a] > frame.bins[b]; });
    std::vector<double> found;
    for (size_t bin : order) {
        const double hz = frame.frequencyOf(double(bin));
        if (std::none_of(found.begin(), found.end(), [&](double f) { return std::abs(f - hz) < apart; })) found.push_back(hz);
        if (int(found.size()) == count) break;
    }
    std::sort(found.begin(), found.end());
    return found;
}

int statusOf(const std::optional<Message>& reply) { return reply ? int(reply->status.value_or(0)) : -1; }

class Observer : public ::testing::Test {
protected:
    void serve(QStringList extra = {})
    {
        ASSERT_TRUE(server.start(QStringList{"--demo", "--time-scale", "4"} + extra)) << server.error().toStdString();
    }
    void connect(RawClient& client) { ASSERT_TRUE(client.connectTo(server.host(), server.port())); }
    void observe(RawClient& client, int rate = 0)
    {
        connect(client);
        ASSERT_EQ(statusOf(client.reply(client.request("ObserveCard", {WireValue::i2(1)}))), 0);
        if (rate) {
            ASSERT_TRUE(client.reply(client.request("SetSpectrum", {WireValue::i2(int16_t(rate))})));
        }
    }
    void hold(RawClient& client)
    {
        connect(client);
        ASSERT_EQ(statusOf(client.reply(client.request("OpenCard", openArgs(1)))), 0);
    }
    CardServerProcess server;
};

TEST_F(Observer, GetsTheCardsEventsTextAndSpectrumWithTheDemoTones)
{
    serve();
    RawClient observer;
    observe(observer);
    // What the card is doing comes first, as a holder gets it.
    const auto observed = observer.event("ObservedCard");
    ASSERT_TRUE(observed);
    EXPECT_EQ(observed->args.value(0).integer, 1);
    EXPECT_EQ(observed->args.value(1).integer, 0) << "not held";
    EXPECT_EQ(observed->args.value(2).integer, 0) << "may not tune";
    const auto frequency = observer.event("FrequencyReport");
    ASSERT_TRUE(frequency);
    EXPECT_EQ(frequency->args.value(0).integer, 1500);
    ASSERT_TRUE(observer.reply(observer.request("SetSpectrum", {WireValue::i2(10)})));

    // The demo keys 1287.5 and 1712.5 Hz; the spectrum's strongest bins are
    // there, well above its median (the noise).
    int framesWithTones = 0;
    for (int i = 0; i < 12; ++i) {
        const auto frame = nextFrame(observer);
        ASSERT_TRUE(frame);
        EXPECT_EQ(frame->firstHz, 0);
        EXPECT_GE(frame->frequencyOf(double(frame->bins.size() - 1)), 3900);
        EXPECT_LT(frame->binHz, 8);
        const auto found = peaks(*frame, 2, 150);
        std::vector<quint8> sorted = frame->bins;
        std::nth_element(sorted.begin(), sorted.begin() + long(sorted.size() / 2), sorted.end());
        const double aboveNoiseDb = (*std::max_element(frame->bins.begin(), frame->bins.end()) - sorted[sorted.size() / 2]) * frame->stepDb;
        if (found.size() == 2 && std::abs(found[0] - 1287.5) < 12 && std::abs(found[1] - 1712.5) < 12 && aboveNoiseDb > 20)
            ++framesWithTones;
    }
    // A fade may take a tone under the noise for a moment, not for long.
    EXPECT_GE(framesWithTones, 8);
    // The text the card decodes, without any session.
    EXPECT_GE(observer.collectText(20000, 40).size(), 40);

    // A holder opens the card: the observer is told, and both get the text.
    RawClient holder;
    hold(holder);
    const auto held = observer.event("ObservedCard");
    ASSERT_TRUE(held);
    EXPECT_EQ(held->args.value(1).integer, 1);
    EXPECT_GE(holder.collectText(20000, 20).size(), 20);
    const auto text = observer.event("DataText", 10000);
    ASSERT_TRUE(text);
}

TEST_F(Observer, MayNotHoldOrChangeTheCardUnlessTheServerAllowsIt)
{
    serve();
    RawClient holder, observer;
    hold(holder);
    observe(observer);
    EXPECT_EQ(statusOf(observer.reply(observer.request("SetCentreShift", {WireValue::i2(1000), keep()}))), 8);
    EXPECT_EQ(statusOf(observer.reply(observer.request("SetInput", {WireValue::i2(2, true), WireValue::i2(70),
                                                                    WireValue::i4(0, true), WireValue::i2(-1)}))), 8);
    EXPECT_EQ(statusOf(observer.reply(observer.request("SetAls", {WireValue::i4(2)}))), 8);
    EXPECT_EQ(statusOf(observer.reply(observer.request("OpenCard", openArgs(1)))), 4);
    // The observer cannot take the card either on a connection of its own while it is held.
    RawClient second;
    connect(second);
    EXPECT_EQ(statusOf(second.reply(second.request("OpenCard", openArgs(1)))), 4);
    // The holder saw no change and still owns the card.
    holder.collectText(1500);
    for (const Message& m : holder.seen) {
        if (m.event == QLatin1String("FrequencyReport")) {
            EXPECT_EQ(m.args.value(0).integer, 1500);
        }
    }
    EXPECT_EQ(statusOf(holder.reply(holder.request("SetCentreShift", {WireValue::i2(1400), keep()}))), 0);
    // An observer of a card that is not installed, or a second one on one connection.
    RawClient other;
    connect(other);
    EXPECT_EQ(statusOf(other.reply(other.request("ObserveCard", {WireValue::i2(5)}))), 3);
    EXPECT_EQ(statusOf(observer.reply(observer.request("ObserveCard", {WireValue::i2(1)}))), 4);
    EXPECT_EQ(statusOf(observer.reply(observer.request("SetSpectrum", {WireValue::i2(400)}))), 1);
}

TEST_F(Observer, RetunesWhenAllowedAndTheHolderSeesTheNewCentre)
{
    serve({"--observers-may-tune"});
    RawClient holder, observer;
    hold(holder);
    observe(observer);
    const auto observed = observer.event("ObservedCard");
    ASSERT_TRUE(observed);
    EXPECT_EQ(observed->args.value(2).integer, 1) << "may tune";
    EXPECT_EQ(statusOf(observer.reply(observer.request("SetCentreShift", {WireValue::i2(1600), WireValue::i2(450)}))), 0);
    QDeadlineTimer deadline(10000);
    std::optional<Message> report;
    while ((report = holder.event("FrequencyReport", int(deadline.remainingTime()))))
        if (report->args.value(0).integer == 1600) break;
    ASSERT_TRUE(report) << "the holder never saw the observer's centre";
    // Retuning only: the input and the decoder options stay the holder's.
    EXPECT_EQ(statusOf(observer.reply(observer.request("SetDecoderOptions", {WireValue::i2(-1), WireValue::i4(1),
                                                                             WireValue::i4(-1), WireValue::i2(5)}))), 8);
    // The line search an observer starts reports what it measures to the observers.
    EXPECT_EQ(statusOf(observer.reply(observer.request("SetAls", {WireValue::i4(2)}))), 0);
    const auto search = observer.event("LineSearch", 60000);
    ASSERT_TRUE(search);
    EXPECT_EQ(search->args.value(0).integer, 1);
    EXPECT_NEAR(search->args.value(1).real, 1500, 15);
    EXPECT_NEAR(search->args.value(2).real, 425, 20);
    EXPECT_EQ(search->args.value(3).real, 50);
    // The holder's FrequencyReport carries the measured centre while the
    // search runs; Tuning tells observers the card still listens at 1600 Hz.
    observer.reply(observer.request("SetSpectrum", {WireValue::i2(0)}));
    const auto tuning = std::find_if(observer.seen.crbegin(), observer.seen.crend(),
                                     [](const Message& m) { return m.event == QLatin1String("Tuning"); });
    ASSERT_NE(tuning, observer.seen.crend());
    EXPECT_EQ(tuning->args.value(0).real, 1600);
    EXPECT_EQ(tuning->args.value(1).real, 450);
}

TEST_F(Observer, NeedsTheSharedSecret)
{
    QTemporaryDir dir;
    QFile file(dir.filePath("secret"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("sesame\n");
    file.close();
    serve({"--secret-file", file.fileName()});
    RawClient observer;
    connect(observer);
    EXPECT_EQ(statusOf(observer.reply(observer.request("ObserveCard", {WireValue::i2(1)}))), 7);
    const QByteArray proof = QMessageAuthenticationCode::hash(observer.greeting()->challenge, "sesame", QCryptographicHash::Sha256);
    EXPECT_EQ(statusOf(observer.reply(observer.request("Authenticate", {WireValue::binary(proof)}))), 0);
    EXPECT_EQ(statusOf(observer.reply(observer.request("ObserveCard", {WireValue::i2(1)}))), 0);
}

TEST_F(Observer, ThatStopsReadingIsDroppedAloneAndDelaysNobody)
{
    serve({"--stall-timeout", "3"});
    RawClient holder, reader;
    hold(holder);
    observe(reader, 10);
    // Four observers at the highest frame rate that never read, with small
    // receive buffers so that their output piles up in the server at once.
    std::vector<std::unique_ptr<RawClient>> stalled;
    for (int i = 0; i < 4; ++i) {
        auto client = std::make_unique<RawClient>();
        client->socket.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4096);
        observe(*client, 25);
        stalled.push_back(std::move(client));
    }
    // The holder's text keeps coming while they fill up and are dropped:
    // at 4 times real time the demo prints some 25 characters a second.
    QDeadlineTimer deadline(30000);
    QString text;
    int readerFrames = 0;
    while (!deadline.hasExpired() && !server.log().contains("no longer observed")) {
        text += holder.collectText(500);
        while (reader.socket.bytesAvailable() || reader.socket.waitForReadyRead(1))
            if (auto m = reader.next(10); m && m->event == QLatin1String("Spectrum")) ++readerFrames;
    }
    text += holder.collectText(6000);
    for (int i = 0; i < 100 && reader.next(10);) ++i;
    EXPECT_TRUE(server.log().contains("it has read nothing of what it was sent")) << server.log().toStdString();
    EXPECT_TRUE(server.log().contains("spectrum frames dropped")) << server.log().toStdString();
    EXPECT_GE(text.size(), 60) << "the holder's text stalled";
    EXPECT_EQ(holder.socket.state(), QAbstractSocket::ConnectedState);
    EXPECT_EQ(reader.socket.state(), QAbstractSocket::ConnectedState);
    // The reading observer got its frames all along, none dropped.
    EXPECT_GE(readerFrames, 20);
    EXPECT_FALSE(server.log().contains(QStringLiteral("%1 no longer").arg(reader.socket.localPort())));
}

}  // namespace
