// Spectrum frames as an observer reads them: what the server encodes comes
// back the same through a protocol line, and frames that are malformed or
// too large are refused with a reason, never taken in part.
#include "protocol/Message.h"
#include "protocol/WaterfallFrame.h"

#include <gtest/gtest.h>

using cardproto::Message;
using cardproto::WaterfallFrame;
using cardproto::WireValue;

namespace {

WaterfallFrame sample(size_t bins)
{
    WaterfallFrame frame;
    frame.sequence = 42;
    frame.firstHz = -1000;
    frame.binHz = 3.90625;
    for (size_t i = 0; i < bins; ++i) frame.bins.push_back(quint8(i * 7));
    return frame;
}

std::optional<WaterfallFrame> refused(QList<WireValue> args, const char* expected)
{
    QString why;
    auto frame = WaterfallFrame::fromArgs(args, &why);
    EXPECT_FALSE(frame);
    EXPECT_TRUE(why.contains(QLatin1String(expected))) << why.toStdString();
    return frame;
}

TEST(WaterfallFrame, SurvivesTheWireAndScalesItsLevels)
{
    const WaterfallFrame sent = sample(1025);
    const QByteArray line = Message::eventMessage(cardproto::kSpectrumEvent, sent.toArgs()).encode();
    EXPECT_LT(line.size(), cardproto::kMaxLineBytes);
    QString why;
    const auto message = Message::parse(line, &why);
    ASSERT_TRUE(message) << why.toStdString();
    const auto frame = WaterfallFrame::fromArgs(message->args, &why);
    ASSERT_TRUE(frame) << why.toStdString();
    EXPECT_EQ(frame->sequence, 42);
    EXPECT_EQ(frame->bins, sent.bins);
    EXPECT_DOUBLE_EQ(frame->frequencyOf(256), -1000 + 1000);
    // Levels beyond the scale clamp to its ends; the middle rounds to a step.
    EXPECT_EQ(frame->code(-500), 0);
    EXPECT_EQ(frame->code(+20), 255);
    EXPECT_EQ(frame->code(std::nan("")), 0);
    EXPECT_DOUBLE_EQ(frame->levelDb(1), frame->floorDb + 7 * frame->stepDb);
    // The largest frame allowed still fits a protocol line.
    EXPECT_LT(Message::eventMessage(cardproto::kSpectrumEvent, sample(cardproto::kMaxSpectrumBins).toArgs()).encode().size(),
              cardproto::kMaxLineBytes);
}

TEST(WaterfallFrame, MalformedOrOversizedFramesAreRefusedWithTheReason)
{
    QList<WireValue> args = sample(100).toArgs();
    refused(args.mid(0, 5), "6 arguments");
    auto wrong = args;
    wrong[0] = WireValue::r8(1);
    refused(wrong, "sequence");
    wrong = args;
    wrong[2] = WireValue::r8(0);
    refused(wrong, "bin width");
    wrong[2] = WireValue::r8(std::numeric_limits<double>::infinity());
    refused(wrong, "finite");
    wrong = args;
    wrong[4] = WireValue::r8(-0.5);
    refused(wrong, "step");
    wrong = args;
    wrong[5] = WireValue::str(QStringLiteral("AAAA"));
    refused(wrong, "bytes");
    wrong[5] = WireValue::binary(QByteArray(1, 'x'));
    refused(wrong, "1 bins");
    refused(sample(cardproto::kMaxSpectrumBins + 1).toArgs(), "more than the 8192 allowed");
}

}  // namespace
