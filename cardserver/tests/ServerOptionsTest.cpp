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

    options = parseOptions({"--listen", "localhost:4100", "-q"}, &error);
    ASSERT_TRUE(options) << error.toStdString();
    EXPECT_EQ(options->address, QHostAddress::LocalHost);  // IPv4 first, as the front end's default host
    EXPECT_EQ(options->port, 4100);
    EXPECT_EQ(options->logLevel, LogLevel::Quiet);
    EXPECT_EQ(parseOptions({"--verbose"}, &error)->logLevel, LogLevel::Verbose);

    // A wrong port is named as a wrong port, not as a wrong address.
    for (const char* port : {"70000", "http", "", "-1", "+80"}) {
        EXPECT_FALSE(parseOptions({"--listen", QStringLiteral("127.0.0.1:") + port}, &error)) << port;
        EXPECT_TRUE(error.contains("not a port number")) << error.toStdString();
    }
    EXPECT_FALSE(parseOptions({"--listen", "no-such-host.invalid:4100"}, &error));
    EXPECT_TRUE(error.contains("cannot find the host \"no-such-host.invalid\"")) << error.toStdString();

    for (const QStringList& bad : {QStringList{"--listen", "127.0.0.1"}, {"--listen", "::1:80"},
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
               "card 3=text:/abs/x.txt\ntime-scale 2\n"
               "card 4:2=wav:recordings/dwd.wav\ncard 5=wav:/abs/y.wav\ncard 6=raw:sdr.s16@12000\n"
               "card 7=raw:-@48000,f32le\nverbose\nobservers-may-tune\n");
    file.close();
    QString error;
    const auto options = parseOptions({"--config", file.fileName(), "--listen", "127.0.0.1:5000"}, &error);
    ASSERT_TRUE(options) << error.toStdString();
    EXPECT_EQ(options->port, 5000);
    EXPECT_EQ(options->cards[2][0], "text:" + dir.filePath("traffic.txt"));
    EXPECT_EQ(options->cards[3][0], "text:/abs/x.txt");
    EXPECT_EQ(options->timeScale, 2);
    // Recordings beside the file as well as text (the help always said so).
    EXPECT_EQ(options->cards[4][2], "wav:" + dir.filePath("recordings/dwd.wav"));
    EXPECT_EQ(options->cards[5][0], "wav:/abs/y.wav");
    EXPECT_EQ(options->cards[6][0], "raw:" + dir.filePath("sdr.s16@12000"));
    EXPECT_EQ(options->cards[7][0], "raw:-@48000,f32le");  // standard input, not a file beside
    EXPECT_EQ(options->logLevel, LogLevel::Verbose);
    EXPECT_TRUE(options->observersMayTune);
    EXPECT_FALSE(parseOptions({"--no-config"}, &error)->observersMayTune) << "watching only, unless asked";
    EXPECT_EQ(options->configFile, file.fileName());

    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("card 1=demo\nlisten\n");
    file.close();
    EXPECT_FALSE(parseOptions({"--config", file.fileName()}, &error));
    EXPECT_TRUE(error.contains("line 2")) << error.toStdString();
    EXPECT_FALSE(parseOptions({"--config", dir.filePath("missing.conf")}, &error));
    EXPECT_TRUE(error.contains("cannot read"));
}

TEST(ServerOptions, DefaultConfigFileReadWhenItExists)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("cardserver.conf");
    qputenv("PLUVANE_CARDSERVER_CONFIG", path.toUtf8());
    QString error;
    auto options = parseOptions({}, &error);  // not there: the defaults
    ASSERT_TRUE(options) << error.toStdString();
    EXPECT_TRUE(options->cards.isEmpty());
    EXPECT_TRUE(options->configFile.isEmpty());

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("card 2=wav:a.wav\nlisten 127.0.0.1:4000\n");
    file.close();
    options = parseOptions({"--listen", "127.0.0.1:5000"}, &error);
    ASSERT_TRUE(options) << error.toStdString();
    EXPECT_EQ(options->cards[2][0], "wav:" + dir.filePath("a.wav"));
    EXPECT_EQ(options->port, 5000);
    EXPECT_EQ(options->configFile, path);
    EXPECT_TRUE(parseOptions({"--no-config"}, &error)->cards.isEmpty());

    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("frobnicate\n");
    file.close();
    EXPECT_FALSE(parseOptions({}, &error));  // a broken system file is an error, not silently skipped
    EXPECT_TRUE(error.contains(path)) << error.toStdString();

    qputenv("PLUVANE_CARDSERVER_CONFIG", "");
    EXPECT_TRUE(parseOptions({}, &error)->cards.isEmpty());
}
