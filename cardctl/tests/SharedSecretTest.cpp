// A card server with a shared secret: the control proves it knows the secret
// from its own secret file; without the file, search and open are refused
// with the server's words.
#include "cardctl/NetworkCardControl.h"
#include "cardctl/SharedSecret.h"
#include "cardserver/testing/CardServerProcess.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace cardctl;
using cardserver::testing::CardServerProcess;
using platform::Variant;

namespace {

class SecretServer : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        writeFile(dir.filePath("server-secret"), "correct horse battery staple\n");
        ASSERT_TRUE(server.start({"--demo", "--secret-file", dir.filePath("server-secret")}))
            << server.error().toStdString();
        host = server.host();
        port = server.port();
    }
    void TearDown() override { qunsetenv("PLUVANE_CARD_SECRET_FILE"); }
    static void writeFile(const QString& path, const QByteArray& bytes)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    void useSecret(const QByteArray& secret)
    {
        const QString path = dir.filePath("card-secret");
        writeFile(path, secret);
        qputenv("PLUVANE_CARD_SECRET_FILE", path.toLocal8Bit());
    }
    int32_t open(NetworkCardControl& control)
    {
        return control.OpenCard(Variant::ref(&host), Variant::ref(&port), Variant::ref(&card));
    }

    QTemporaryDir dir;
    CardServerProcess server;
    QString host;
    int32_t port = 0;
    int16_t card = 1;
};

}  // namespace

TEST_F(SecretServer, ControlWithTheSecretSearchesAndOpensACard)
{
    useSecret("correct horse battery staple");  // the same secret, without the line end
    NetworkCardControl control;
    EXPECT_EQ(control.SearchCards(Variant::str(host), Variant::r8(port)), 0)
        << control.GetErrorText(Variant::i4(7)).toStdString();
    EXPECT_EQ(open(control), 0) << control.GetErrorText(Variant::i4(7)).toStdString();
    control.CloseCard();
    // The secret never travels in clear.
    EXPECT_FALSE(server.log().contains("correct horse"));
}

TEST_F(SecretServer, ASecretFileOthersCanReadIsUsedWithOneWarning)
{
    static QStringList warnings;
    warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type == QtWarningMsg) warnings << text;
    });
    useSecret("correct horse battery staple\n");
    QFile(dir.filePath("card-secret")).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup);
    NetworkCardControl control;
    EXPECT_EQ(control.SearchCards(Variant::str(host), Variant::r8(port)), 0);
    EXPECT_EQ(open(control), 0) << control.GetErrorText(Variant::i4(7)).toStdString();
    control.CloseCard();
    qInstallMessageHandler(previous);
    ASSERT_EQ(warnings.filter("can be read by other accounts").size(), 1) << warnings.join('\n').toStdString();
    EXPECT_TRUE(warnings.filter("can be read by other accounts")[0].contains("chmod 600"));

    // A file only its owner reads is used without a word.
    warnings.clear();
    useSecret("correct horse battery staple\n");
    const QString own = dir.filePath("own-secret");
    QFile::rename(dir.filePath("card-secret"), own);
    QFile(own).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    qputenv("PLUVANE_CARD_SECRET_FILE", own.toLocal8Bit());
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type == QtWarningMsg) warnings << text;
    });
    EXPECT_EQ(open(control), 0);
    control.CloseCard();
    qInstallMessageHandler(previous);
    EXPECT_TRUE(warnings.filter("can be read by other accounts").isEmpty());
}

TEST_F(SecretServer, ControlWithoutTheSecretIsRefusedSearchAndOpenWithAClearError)
{
    qputenv("PLUVANE_CARD_SECRET_FILE", dir.filePath("no-such-file").toLocal8Bit());
    NetworkCardControl control;
    EXPECT_EQ(control.SearchCards(Variant::str(host), Variant::r8(port)), 7);
    EXPECT_TRUE(control.GetErrorText(Variant::i4(7)).contains("shared secret")) << control.GetErrorText(Variant::i4(7)).toStdString();
    EXPECT_EQ(open(control), 7);
    EXPECT_TRUE(control.GetErrorText(Variant::i4(7)).contains("OpenCard")) << control.GetErrorText(Variant::i4(7)).toStdString();
    EXPECT_TRUE(server.log().contains("OpenCard by 127.0.0.1"));
}

TEST_F(SecretServer, WrongSecretIsRefusedAtConnection)
{
    useSecret("tr0ub4dor&3");
    NetworkCardControl control;
    EXPECT_EQ(open(control), 7);
    EXPECT_TRUE(control.GetErrorText(Variant::i4(7)).contains("does not match")) << control.GetErrorText(Variant::i4(7)).toStdString();
    EXPECT_FALSE(control.hasSession());
}
