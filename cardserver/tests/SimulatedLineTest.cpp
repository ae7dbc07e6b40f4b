#include "card/SimulatedChannel.h"

#include <gtest/gtest.h>

using namespace cardserver;

namespace {

// Sends its text once, then idles.
class OnceFeed : public TextFeed {
public:
    explicit OnceFeed(QString text) : m_text(std::move(text)) {}
    QString next() override { return std::exchange(m_text, QString()); }
    QString describe() const override { return QStringLiteral("test text"); }

private:
    QString m_text;
};

const QString kBulletin = QStringLiteral(
    "SMDL01 EDZW 081200\r\nAAXX 08121\r\n10384 32575 72008 10052 20023 39948 40152 52008 "
    "69901 72582 8457/ 333 20000=\r\nTEST (A-B) 'Q' +1, 2/3: OK?\r\n");

QString receive(const LineParameters& sent, const LineParameters& tuned, double seconds,
                ReceiverOptions options = {}, uint32_t seed = 7)
{
    SimulatedChannel channel(std::make_unique<OnceFeed>(kBulletin), sent, seed);
    channel.tune(tuned, options);
    QString text;
    for (double t = 0; t < seconds; t += 0.25) text += channel.advance(0.25);
    return text;
}

// Share of the sent characters found in the same place.
double matchingShare(const QString& a, const QString& b)
{
    int same = 0;
    for (qsizetype i = 0; i < std::min(a.size(), b.size()); ++i) same += a[i] == b[i];
    return double(same) / double(std::max(a.size(), b.size()));
}

}  // namespace

TEST(SimulatedLine, TunedReceiverPrintsTheTextExactly)
{
    const LineParameters line;
    EXPECT_EQ(receive(line, line, 40), kBulletin);

    LineParameters fast{2100, 850, 75, true};
    EXPECT_EQ(receive(fast, fast, 30), kBulletin);
    // Small tuning errors are within what a receiver tolerates.
    LineParameters nearly = fast;
    nearly.centre += 10;
    nearly.shift = 860;
    EXPECT_EQ(receive(fast, nearly, 30), kBulletin);
}

TEST(SimulatedLine, SendsAtTheCharacterRateOfItsSpeed)
{
    // 7.5 bits a character: 6.67 characters a second at 50 Bd. The bulletin
    // also spends a frame on every LTRS/FIGS shift.
    const LineParameters line;
    const QString tenSeconds = receive(line, line, 10);
    EXPECT_GE(tenSeconds.size(), 45);
    EXPECT_LE(tenSeconds.size(), 67);
    EXPECT_TRUE(kBulletin.startsWith(tenSeconds));
}

TEST(SimulatedLine, MistunedReceiverPrintsGarbleLikeARealOne)
{
    const LineParameters sent;
    LineParameters wrongSpeed = sent;
    wrongSpeed.baud = 75;
    LineParameters wrongPolarity = sent;
    wrongPolarity.inverted = true;
    LineParameters wrongShift = sent;
    wrongShift.shift = 850;
    LineParameters offTune = sent;
    offTune.centre = 2100;
    for (const auto& tuned : {wrongSpeed, wrongPolarity, wrongShift, offTune}) {
        const QString text = receive(sent, tuned, 40);
        EXPECT_FALSE(text.isEmpty());
        EXPECT_LT(matchingShare(text, kBulletin), 0.3) << text.toStdString();
        // Repeatable, so that tests and demonstrations see the same garble.
        EXPECT_EQ(text, receive(sent, tuned, 40));
    }
}

TEST(SimulatedLine, ReceiverOptionsMatter)
{
    const LineParameters line;
    // Waiting out two stop bits misses the start of a 1.5-stop-bit sender.
    ReceiverOptions twoStopBits;
    twoStopBits.stopBits = 2;
    EXPECT_LT(matchingShare(receive(line, line, 40, twoStopBits), kBulletin), 0.5);

    // The sender counts on the receiver falling back to letters after a
    // space; one that does not prints the next word in figures.
    ReceiverOptions noUnshift;
    noUnshift.unshiftOnSpace = false;
    EXPECT_TRUE(receive(line, line, 40, noUnshift).startsWith("SMDL01 3+2 081200"));
}

TEST(SimulatedLine, ReportsStateAndMeasuresTheSentLine)
{
    const LineParameters sent{1500, 450, 50, false};
    SimulatedChannel channel(std::make_unique<OnceFeed>(kBulletin), sent);
    channel.tune(sent, {});
    for (int i = 0; i < 8; ++i) channel.advance(0.25);
    EXPECT_EQ(channel.state(), ChannelState::Traffic);
    channel.startLineSearch();
    for (int i = 0; i < 16; ++i) channel.advance(0.25);
    EXPECT_FALSE(channel.lineSearchResult(false));  // 4 s heard, not yet sure
    channel.advance(1);
    EXPECT_EQ(channel.lineSearchResult(false), sent);
    EXPECT_EQ(channel.lineSearchResult(true), sent);
    EXPECT_FALSE(channel.lineSearchResult(true));  // finished: no search runs
    EXPECT_GT(channel.level(), 50);

    LineParameters wrong = sent;
    wrong.baud = 75;
    channel.tune(wrong, {});
    for (int i = 0; i < 16; ++i) channel.advance(0.25);
    EXPECT_EQ(channel.state(), ChannelState::Search);

    channel.tune(sent, {});
    for (int i = 0; i < 200; ++i) channel.advance(0.25);  // long after the text ended
    EXPECT_EQ(channel.state(), ChannelState::Idle);
}
