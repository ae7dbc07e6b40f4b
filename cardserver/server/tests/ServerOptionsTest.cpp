#include "ServerOptions.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace cardserver;

TEST(ServerOptions, ListenAndCardForms)
{
    QString error;
    auto options = parseOptions({}, &error);
    ASSERT_TRUE(options);
    EXPECT_EQ(options->address, QHostAddress::LocalHost);  // never every address by default
    EXPECT_EQ(options->port, 33234);

    options = parseOptions({"--listen", "[::1]:0", "--demo", "--card", "2:3=text:a.txt", "--card", "2=demo"}, &error);
    ASSERT_TRUE(options) << error.toStdString();
    EXPECT_EQ(options->address, QHostAddress::LocalHostIPv6);
    EXPECT_EQ(options->port, 0);
    EXPECT_EQ(options->cards[1][0], "demo");
    EXPECT_EQ(options->cards[2][3], "text:a.txt");
    EXPECT_EQ(options->cards[2][0], "demo");

    for (const QStringList& bad : {QStringList{"--listen", "localhost:1"}, {"--listen", "127.0.0.1:70000"},
                                   {"--card", "0=demo"}, {"--card", "1:5=demo"}, {"--card", "1:0=demo"},
                                   {"--card"}, {"--time-scale", "0"}, {"--frobnicate"}}) {
        EXPECT_FALSE(parseOptions(bad, &error)) << bad.join(' ').toStdString();
        EXPECT_FALSE(error.isEmpty());
    }
}

TEST(ServerOptions, ConfigFileComesFirstAndResolvesItsPaths)
{
    QTemporaryDir dir;
    QFile file(dir.filePath("server.conf"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("# cards of the station\nlisten 127.0.0.1:4000\ncard 2=text:traffic.txt   # beside this file\n"
               "card 3=text:/abs/x.txt\ntime-scale 2\n");
    file.close();
    QString error;
    const auto options = parseOptions({"--config", file.fileName(), "--listen", "127.0.0.1:5000"}, &error);
    ASSERT_TRUE(options) << error.toStdString();
    EXPECT_EQ(options->port, 5000);
    EXPECT_EQ(options->cards[2][0], "text:" + dir.filePath("traffic.txt"));
    EXPECT_EQ(options->cards[3][0], "text:/abs/x.txt");
    EXPECT_EQ(options->timeScale, 2);

    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("card 1=demo\nlisten\n");
    file.close();
    EXPECT_FALSE(parseOptions({"--config", file.fileName()}, &error));
    EXPECT_TRUE(error.contains("line 2")) << error.toStdString();
    EXPECT_FALSE(parseOptions({"--config", dir.filePath("missing.conf")}, &error));
    EXPECT_TRUE(error.contains("cannot read"));
}
