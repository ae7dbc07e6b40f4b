// The card ends the line searches it starts: one left running would keep
// listening (and framing every two seconds) whenever its input is decoded.
#include "card/Card.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

using namespace cardserver;

namespace {

class CountingChannel : public DecodingChannel {
public:
    void tune(const LineParameters&, const ReceiverOptions&) override {}
    QString advance(double) override { return {}; }
    void startLineSearch() override { ++started; searching = true; }
    std::optional<LineParameters> lineSearchResult(bool finish) override
    {
        if (finish) searching = false;
        return std::nullopt;
    }
    ChannelState state() const override { return ChannelState::Idle; }
    int level() const override { return 0; }
    QString describe() const override { return QStringLiteral("counting"); }

    int started = 0;
    bool searching = false;
};

class NullHolder : public CardHolder {
public:
    void sendEvent(const cardproto::Message&) override {}
};

}  // namespace

TEST(CardLineSearch, EndsTheSearchWhenTheSessionEndsOrTheInputChanges)
{
    int argc = 0;
    QCoreApplication app(argc, nullptr);
    Card card(1, 1.0);
    auto first = std::make_unique<CountingChannel>(), second = std::make_unique<CountingChannel>();
    CountingChannel* one = first.get();
    CountingChannel* two = second.get();
    card.setChannel(1, std::move(first));
    card.setChannel(2, std::move(second));
    NullHolder holder;
    ASSERT_TRUE(card.attach(&holder));
    using cardproto::WireValue;
    ASSERT_EQ(card.setAls({WireValue::i4(2)}).status, 0);
    EXPECT_TRUE(one->searching);

    // Input 2 selected while searching: the search moves with it.
    ASSERT_EQ(card.setInput({WireValue::i2(2), WireValue::i2(40), WireValue::i4(0), WireValue::i2(-1)}).status, 0);
    EXPECT_FALSE(one->searching);
    EXPECT_TRUE(two->searching);

    card.detach(&holder);
    EXPECT_FALSE(two->searching);
}
