// The card search against the real card server, through the network card
// control the dialog makes for itself.
#include "DialogHarness.h"

#include "cardctl/NetworkCardControl.h"
#include "cardserver/testing/CardServerProcess.h"
#include "platform/MessageBox.h"
#include "platform/PumpedWait.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <gtest/gtest.h>

using config::ConfigDialog;
using config::ConfigForm;
using config::testing::whileShown;

namespace {

class ServerSearch : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::setMessageBoxFunction([this](const QString& text, const QString&) { boxes << text; });
        platform::setSleepFunction([this](int ms) { sleeps << ms; });
        ASSERT_TRUE(server.start({"--card", "2=demo", "--card", "5=demo"})) << server.error().toStdString();
        dialog.setHostNam(server.host());
        dialog.setHostSvc(QString::number(server.port()));
    }
    void TearDown() override
    {
        platform::setMessageBoxFunction({});
        platform::setSleepFunction({});
    }

    cardserver::testing::CardServerProcess server;
    ConfigDialog dialog;
    QStringList boxes;
    QList<int> sleeps;
};

TEST_F(ServerSearch, FindsTheFreeCardsAndOkCommitsTheOnePicked)
{
    // Another program holds card 5: it is reported, but not selectable.
    cardctl::NetworkCardControl holder;
    QString host = server.host();
    int32_t port = server.port();
    int16_t card = 5;
    ASSERT_EQ(holder.OpenCard(platform::Variant::ref(&host), platform::Variant::ref(&port),
                              platform::Variant::ref(&card)), 0);

    whileShown(dialog, nullptr, [](ConfigForm& form) {
        form.searchButton->click();
        QList<int> enabled;
        for (int i = 0; i < 8; ++i)
            if (form.vCardNum[i]->isEnabled()) enabled << i + 1;
        EXPECT_EQ(enabled, QList<int>{2});
        EXPECT_TRUE(form.vCardNum[1]->isChecked());
        ASSERT_TRUE(form.okButton->isEnabled());
        form.okButton->click();
    });
    holder.CloseCard();
    EXPECT_TRUE(boxes.isEmpty()) << boxes.join('\n').toStdString();
    EXPECT_EQ(dialog.CardNum(), 2);
}

TEST_F(ServerSearch, UnreachableServerIsReportedWithStatusAndText)
{
    const QString port = QString::number(server.port());
    server.terminate();
    ASSERT_FALSE(server.isRunning()) << server.log().toStdString();
    whileShown(dialog, nullptr, [](ConfigForm& form) { form.searchButton->click(); });
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_TRUE(boxes[0].startsWith('-')) << boxes[0].toStdString();  // the control's own failures are negative
    EXPECT_TRUE(boxes[0].contains(" - ")) << boxes[0].toStdString();
    EXPECT_TRUE(boxes[0].contains(port)) << boxes[0].toStdString();
    EXPECT_EQ(sleeps, QList<int>{1000});
    EXPECT_EQ(dialog.CardNum(), 0);
}

}  // namespace
