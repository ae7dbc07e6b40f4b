#include "DialogHarness.h"

#include "cardctl/testing/RecordingCardControl.h"
#include "platform/MessageBox.h"
#include "platform/MousePointer.h"
#include "platform/PumpedWait.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <gtest/gtest.h>

using cardctl::RecordingCardControl;
using config::ConfigDialog;
using config::ConfigForm;
using config::testing::whileShown;
using platform::VarType;

namespace {

QList<int> enabledCards(const ConfigForm& form)
{
    QList<int> numbers;
    for (int i = 0; i < 8; ++i)
        if (form.vCardNum[i]->isEnabled()) numbers << i + 1;
    return numbers;
}

class CardSearch : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::setMessageBoxFunction([this](const QString& text, const QString& caption) {
            boxes << caption + ": " + text;
        });
        platform::setSleepFunction([this](int ms) {
            sleeps << ms;
            noticeDuringPause = dialog.form()->notify->text();
        });
        dialog.setHostNam("127.0.0.1");
        dialog.setHostSvc("4000");
        dialog.setCardNum(3);
    }
    void TearDown() override
    {
        platform::setMessageBoxFunction({});
        platform::setSleepFunction({});
    }

    // Runs a search in a shown dialog; `during` runs inside SearchCards.
    // Whatever the outcome, the dialog is idle again afterwards.
    void search(ConfigForm& form, int32_t status, std::function<void()> during)
    {
        control->clear();
        control->setResult("SearchCards", status);
        duringSearch = std::move(during);
        form.searchButton->click();
        EXPECT_TRUE(form.cancelButton->isEnabled() && form.searchButton->isEnabled());
        EXPECT_EQ(platform::mousePointer(), platform::MousePointer::Default);
        EXPECT_EQ(form.notify->text(), "");
    }

    RecordingCardControl* control = nullptr;
    ConfigDialog dialog{[this] {
        auto made = std::make_unique<RecordingCardControl>();
        control = made.get();
        control->onCall("SearchCards", [this] { duringSearch(); });
        return made;
    }};
    QStringList boxes;
    QList<int> sleeps;
    QString noticeDuringPause;
    std::function<void()> duringSearch;
};

TEST_F(CardSearch, ReportedCardsBecomeSelectableAndTheLastStaysSelected)
{
    whileShown(dialog, nullptr, [this](ConfigForm& form) {
        form.vHostNam->setText("cardbox");  // edited, not committed
        search(form, 0, [this, &form] {
            EXPECT_FALSE(form.okButton->isEnabled() || form.cancelButton->isEnabled()
                         || form.searchButton->isEnabled());
            EXPECT_EQ(platform::mousePointer(), platform::MousePointer::Hourglass);
            EXPECT_EQ(form.notify->text(), "Searching for cards, can take up to 1mn !");
            EXPECT_TRUE(enabledCards(form).isEmpty());
            control->raiseCardFound(2, true);
            control->raiseCardFound(5, true);
        });

        const auto call = control->callsNamed("SearchCards").value(0);
        ASSERT_EQ(call.values.size(), 2);
        EXPECT_EQ(call.values[0], platform::Variant::str("cardbox"));
        EXPECT_EQ(call.values[1], platform::Variant::r8(4000));
        EXPECT_EQ(enabledCards(form), (QList<int>{2, 5}));
        EXPECT_TRUE(form.vCardNum[4]->isChecked());
        EXPECT_FALSE(form.vCardNum[1]->isChecked());
        EXPECT_TRUE(form.okButton->isEnabled());
        form.okButton->click();
    });
    EXPECT_TRUE(boxes.isEmpty());
    EXPECT_TRUE(sleeps.isEmpty());  // the notice still said "Search": no pause
    EXPECT_EQ(dialog.CardNum(), 5);
    EXPECT_EQ(dialog.HostNam(), "cardbox");
}

TEST_F(CardSearch, UnusableReportsEnableNothingAndDoNotFailTheSearch)
{
    whileShown(dialog, nullptr, [this](ConfigForm& form) {
        form.vHostSvc->clear();
        search(form, 0, [this] {
            control->raiseCardFound(4, false);
            control->raiseCardFound(0, true);
            control->raiseCardFound(9, true);
            emit control->CardFound(6, QByteArray(23, '\x01'));  // too short for the flag
        });
        EXPECT_EQ(control->callsNamed("SearchCards").value(0).values.value(1), platform::Variant::r8(0));
        EXPECT_TRUE(enabledCards(form).isEmpty());
        EXPECT_FALSE(form.okButton->isEnabled());
    });
    EXPECT_TRUE(boxes.isEmpty());
    EXPECT_EQ(dialog.selectedCardNumber(), 3);  // deselecting raised no click
}

TEST_F(CardSearch, ReplacedNoticeIsShownForOneSecondThenCleared)
{
    whileShown(dialog, nullptr, [this](ConfigForm& form) {
        search(form, 0, [this] { emit control->ErrorReport(7, "antenna fault"); });
        EXPECT_EQ(sleeps, QList<int>{1000});
        EXPECT_EQ(noticeDuringPause, "Error: antenna fault");

        sleeps.clear();
        search(form, 0, [this] { emit control->SessionEnded(1, 0); });
        EXPECT_EQ(sleeps, QList<int>{1000});
    });
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(CardSearch, FailureIsShownWithTheStatusAndCardsReportedBeforeStay)
{
    whileShown(dialog, nullptr, [this](ConfigForm& form) {
        control->setErrorText(-3, "X");
        search(form, -3, [this] { control->raiseCardFound(2, true); });
        const auto errorCall = control->callsNamed("GetErrorText").value(0);
        ASSERT_EQ(errorCall.values.size(), 1);
        EXPECT_TRUE(errorCall.isRef(0));
        EXPECT_EQ(errorCall.values[0], platform::Variant::i2(-3));
        EXPECT_EQ(noticeDuringPause, "X");
        EXPECT_EQ(enabledCards(form), QList<int>{2});

        // A status beyond 16 bits is shown as it came, not cut to another.
        control->setErrorText(70000, "odd peer");
        search(form, 70000, [] {});
        EXPECT_EQ(control->callsNamed("GetErrorText").value(0).values.value(0), platform::Variant::i4(70000));
        EXPECT_TRUE(enabledCards(form).isEmpty());  // a new search starts from no card
    });
    EXPECT_EQ(boxes, (QStringList{"Pluvane: -3 - X", "Pluvane: 70000 - odd peer"}));
    EXPECT_EQ(sleeps, (QList<int>{1000, 1000}));
}

TEST_F(CardSearch, WindowCannotBeClosedWhileTheSearchRuns)
{
    bool stillShown = false;
    whileShown(dialog, nullptr, [&](ConfigForm& form) {
        search(form, 0, [&] {
            form.close();
            form.reject();
            stillShown = form.isVisible();
            control->raiseCardFound(1, true);
        });
        EXPECT_TRUE(form.vCardNum[0]->isEnabled());
        EXPECT_TRUE(form.isVisible());
    });
    EXPECT_TRUE(stillShown);
    EXPECT_EQ(dialog.form(), nullptr);
}

}  // namespace
