#include "SessionFixture.h"

namespace {

class DecodedTextStream : public SessionFixture {
protected:
    void fillTo(int length)
    {
        // Lines of "x...x" + CR LF, counted as the area counts them.
        QString text;
        while (text.size() + 12 <= length) text += QString(10, 'x') + "\r\n";
        text += QString(length - text.size(), 'y');
        controls.Text->setText(text);
        controls.Text->setSelStart(controls.Text->textLength());
        ASSERT_EQ(controls.Text->textLength(), length);
    }
    void arrive(const QString& chunk) { emit card->DataText(1, 1, 0, 0, chunk); }
};

}  // namespace

TEST_F(DecodedTextStream, TheAreaStartsAfreshOnlyOnceItHoldsMoreThan1024Characters)
{
    fillTo(1024);
    arrive(QStringLiteral("ab"));
    EXPECT_EQ(controls.Text->textLength(), 1026);
    arrive(QStringLiteral("cd"));
    EXPECT_EQ(controls.Text->text(), QStringLiteral("cd"));

    fillTo(2000);
    arrive(QStringLiteral("ab\r\n"));
    EXPECT_EQ(controls.Text->text(), QStringLiteral("ab\r\n"));

    fillTo(1025);
    arrive(QString());
    EXPECT_EQ(controls.Text->text(), QString());
    fillTo(1000);
    arrive(QString());
    EXPECT_EQ(controls.Text->textLength(), 1000);
    EXPECT_EQ(fed, (QStringList{"ab", "cd", "ab\r\n", "", ""}));
}

TEST_F(DecodedTextStream, LineEndsBecomeCrLfForTheAreaButReachTheDecoderAsTheyCame)
{
    arrive(QStringLiteral("a\rb\nc\r\nd\r\r\n"));
    EXPECT_EQ(controls.Text->text(), QStringLiteral("ab\r\nc\r\nd\r\n"));
    EXPECT_EQ(fed, QStringList{"a\rb\nc\r\nd\r\r\n"});
}

TEST_F(DecodedTextStream, ChunksGoWhereTheCaretIsOrOverTheUsersSelection)
{
    arrive(QStringLiteral("AAXX 08121\r\n"));
    arrive(QStringLiteral("10384 "));
    EXPECT_EQ(controls.Text->text(), QStringLiteral("AAXX 08121\r\n10384 "));
    controls.Text->setSelStart(0);
    controls.Text->setSelLength(4);
    arrive(QStringLiteral("ZZYY"));
    EXPECT_EQ(controls.Text->text(), QStringLiteral("ZZYY 08121\r\n10384 "));
    arrive(QStringLiteral("!"));
    EXPECT_EQ(controls.Text->text(), QStringLiteral("ZZYY! 08121\r\n10384 "));
}

TEST_F(DecodedTextStream, ADecoderFloodStaysWithinTheBound)
{
    const QString line = QStringLiteral("12345 67890 11111 22222 33333 44444=\r\n");
    for (int i = 0; i < 20000; ++i) arrive(line);
    EXPECT_LE(controls.Text->textLength(), 1024 + line.size());
    EXPECT_EQ(fed.size(), 20000);
}
