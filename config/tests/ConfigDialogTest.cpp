#include "DialogHarness.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTest>
#include <gtest/gtest.h>

using config::ConfigDialog;
using config::ConfigForm;
using config::testing::whileShown;

namespace {

struct Handed {
    QString host = "cards.example";
    QString port = "4000";
    int16_t cardType = 0;
    int16_t cardNumber = 3;
    int16_t ifInput = 2;
    int32_t frequency = 455000;
};

void handOver(ConfigDialog& dialog, const Handed& h)
{
    dialog.setHostNam(h.host);
    dialog.setHostSvc(h.port);
    dialog.setCardTyp(h.cardType);
    dialog.setCardNum(h.cardNumber);
    dialog.setIFInput(h.ifInput);
    dialog.setIFTFreq(h.frequency);
}

QList<int> checkedIndexes(const auto& buttons)
{
    QList<int> result;
    for (int i = 0; i < int(buttons.size()); ++i)
        if (buttons[i]->isChecked()) result << i;
    return result;
}

QList<int> enabledIndexes(const auto& buttons)
{
    QList<int> result;
    for (int i = 0; i < int(buttons.size()); ++i)
        if (buttons[i]->isEnabled()) result << i;
    return result;
}

}  // namespace

TEST(ConfigDialog, FillsFromThePropertiesAndOpensWithOkDisabled)
{
    ConfigDialog dialog(nullptr);
    handOver(dialog, {"", "", -1, 3, 2, 21'500'000});
    whileShown(dialog, nullptr, [&](ConfigForm& form) {
        EXPECT_EQ(form.vHostNam->text(), "127.0.0.1");
        EXPECT_EQ(form.vHostSvc->text(), "33234");
        EXPECT_TRUE(form.vCardTyp[0]->isChecked());
        EXPECT_EQ(checkedIndexes(form.vCardNum), QList<int>{2});
        EXPECT_EQ(enabledIndexes(form.vCardNum), QList<int>{2});
        EXPECT_EQ(checkedIndexes(form.vIFInp), QList<int>{1});
        EXPECT_EQ(form.vIFFrq->text(), "21500000");
        EXPECT_FALSE(form.okButton->isEnabled());
        EXPECT_EQ(form.focusWidget(), form.vIFFrq);
    });
    // Filling's defaults stay in the properties; code selection raised the clicks.
    EXPECT_EQ(dialog.HostNam(), "127.0.0.1");
    EXPECT_EQ(dialog.HostSvc(), "33234");
    EXPECT_EQ(dialog.selectedCardNumber(), 3);
    EXPECT_EQ(dialog.selectedIFInput(), 2);
    EXPECT_EQ(dialog.CardNum(), 3);  // closed by the close box: nothing committed
}

TEST(ConfigDialog, ValuesWithoutAButtonSelectNothingAndKeepTheWorkingSelections)
{
    ConfigDialog dialog(nullptr);
    handOver(dialog, {});
    whileShown(dialog, nullptr, [](ConfigForm&) {});
    for (auto [cardNumber, ifInput, frequency] : {std::tuple{0, 0, -1}, {9, 5, 21'500'001}}) {
        handOver(dialog, {"h", "80", 7, int16_t(cardNumber), int16_t(ifInput), frequency});
        whileShown(dialog, nullptr, [](ConfigForm& form) {
            EXPECT_TRUE(checkedIndexes(form.vCardNum).isEmpty());
            EXPECT_TRUE(enabledIndexes(form.vCardNum).isEmpty());
            EXPECT_TRUE(checkedIndexes(form.vIFInp).isEmpty());
            EXPECT_TRUE(form.vCardTyp[0]->isChecked());  // the only type stands in for an unknown one
            EXPECT_EQ(form.vIFFrq->text(), "");
        });
        EXPECT_EQ(dialog.selectedCardNumber(), 3);
        EXPECT_EQ(dialog.selectedIFInput(), 2);
    }
}

TEST(ConfigDialog, PortCheckRestoresTheHandedInTextUnlessPlainAndInRange)
{
    const struct { const char* typed; const char* kept; } cases[] = {
        {"8080", "8080"}, {"65535", "65535"}, {"1", "1"}, {"1.5", "1.5"}, {"0", "4000"},
        {"65536", "4000"}, {"08080", "4000"}, {"+80", "4000"}, {"8,080", "4000"}, {"80x", "4000"},
        {"&H50", "4000"}, {"1.50", "4000"}, {"80.", "4000"}, {" 80", "4000"}, {"80 ", "4000"},
        {"-80", "4000"}, {".5", "4000"},
    };
    ConfigDialog dialog(nullptr);
    handOver(dialog, {});
    whileShown(dialog, nullptr, [&](ConfigForm& form) {
        for (const auto& c : cases) {
            form.vHostSvc->setText(c.typed);
            EXPECT_EQ(form.vHostSvc->text(), QString(c.kept)) << c.typed;
        }
        // Only a non-empty port enables OK; an emptied box is accepted as it is.
        form.okButton->setEnabled(false);
        form.vHostSvc->clear();
        EXPECT_FALSE(form.okButton->isEnabled());
        form.vHostSvc->setText("1.5");
        EXPECT_TRUE(form.okButton->isEnabled());
        form.okButton->click();
    });
    EXPECT_EQ(dialog.HostSvc(), "1.5");
}

TEST(ConfigDialog, RestoringAnInvalidHandedInPortEnds)
{
    // The restore text fails the check itself; putting it back again raises
    // no change, so the chain stops instead of recursing.
    ConfigDialog dialog(nullptr);
    handOver(dialog, {.port = "abc"});
    whileShown(dialog, nullptr, [](ConfigForm& form) {
        form.vHostSvc->setText("x");
        EXPECT_EQ(form.vHostSvc->text(), "abc");
    });
}

TEST(ConfigDialog, FrequencyCheckWhileTypingAndOnPaste)
{
    ConfigDialog dialog(nullptr);
    handOver(dialog, {});
    whileShown(dialog, nullptr, [](ConfigForm& form) {
        form.vIFFrq->clear();
        QTest::keyClicks(form.vIFFrq, "100.");
        EXPECT_EQ(form.vIFFrq->text(), "455000");  // the bare point is not a plain writing
        for (const char* rejected : {"21500001", "-5", "1e3", "100.50"}) {
            form.vIFFrq->setText(rejected);
            EXPECT_EQ(form.vIFFrq->text(), "455000") << rejected;
        }
        form.vIFFrq->setText("100.5");
        EXPECT_EQ(form.vIFFrq->text(), "100.5");
        EXPECT_FALSE(form.okButton->isEnabled());  // nor did the host name or an IF button
        form.vHostNam->setText("elsewhere");
        form.vIFInp[3]->click();
        EXPECT_FALSE(form.okButton->isEnabled());
        form.vCardTyp[0]->click();
        ASSERT_TRUE(form.okButton->isEnabled());
        form.okButton->click();
    });
    EXPECT_EQ(dialog.IFTFreq(), 100);  // 100.5 rounds to the even neighbour
    EXPECT_EQ(dialog.HostNam(), "elsewhere");
    EXPECT_EQ(dialog.IFInput(), 4);
    EXPECT_EQ(dialog.CardNum(), 3);
}

TEST(ConfigDialog, CancelDropsTheEditsButKeepsTheCardPicked)
{
    ConfigDialog dialog(nullptr);
    handOver(dialog, {.host = "", .cardNumber = 6});
    whileShown(dialog, nullptr, [](ConfigForm& form) {
        form.vHostNam->setText("edited");
        form.vHostSvc->setText("8080");
        form.vIFFrq->setText("1000");
        form.vIFInp[0]->click();
        form.cancelButton->click();
    });
    EXPECT_EQ(dialog.CardNum(), -1);
    EXPECT_EQ(dialog.HostNam(), "127.0.0.1");
    EXPECT_EQ(dialog.HostSvc(), "4000");
    EXPECT_EQ(dialog.IFInput(), 2);
    EXPECT_EQ(dialog.IFTFreq(), 455000);

    // The next showing selects no card; the card type enables OK, and OK
    // commits the card picked before.
    dialog.setCardNum(0);
    whileShown(dialog, nullptr, [](ConfigForm& form) {
        EXPECT_EQ(form.vHostSvc->text(), "4000");
        form.vCardTyp[0]->click();
        form.okButton->click();
    });
    EXPECT_EQ(dialog.CardNum(), 6);
}

TEST(ConfigDialog, OkWithoutAnyCardInANewDialogCommitsZero)
{
    ConfigDialog dialog(nullptr);
    handOver(dialog, {.cardNumber = 0});
    whileShown(dialog, nullptr, [](ConfigForm& form) {
        form.vCardTyp[0]->click();
        form.okButton->click();
    });
    EXPECT_EQ(dialog.CardNum(), 0);
}

TEST(ConfigDialog, WindowShapePlaceAndTabOrder)
{
    QWidget owner;
    owner.setGeometry(300, 150, 400, 300);
    owner.show();
    ConfigDialog dialog(nullptr);
    handOver(dialog, {});
    whileShown(dialog, &owner, [&](ConfigForm& form) {
        EXPECT_EQ(form.windowTitle(), "Configuration");
        EXPECT_EQ(form.size(), QSize(232, 245));
        EXPECT_EQ(form.minimumSize(), form.maximumSize());
        EXPECT_EQ(form.windowFlags() & Qt::WindowType_Mask, Qt::Tool);
        EXPECT_FALSE(form.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
        // 200 and 750 twips from the owner's outer corner.
        EXPECT_EQ(form.frameGeometry().topLeft(),
                  owner.frameGeometry().topLeft() + QPoint(13, 50));
        // Card 1 top left, card 2 top right, card 8 bottom right.
        EXPECT_EQ(form.vCardNum[0]->text(), QString::fromUtf8("Card N°1"));
        EXPECT_EQ(form.vCardNum[1]->geometry().topLeft(), QPoint(80, 16));
        EXPECT_EQ(form.vCardNum[7]->geometry().topLeft(), QPoint(80, 64));
        // The font fits the places: "Card N°8" is not cut to "Card N°".
        const int room = form.vCardNum[7]->width() - form.style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth)
                         - form.style()->pixelMetric(QStyle::PM_RadioButtonLabelSpacing);
        EXPECT_LE(form.vCardNum[7]->fontMetrics().horizontalAdvance(form.vCardNum[7]->text()), room);
        EXPECT_EQ(form.notify->palette().color(QPalette::WindowText), QColor(255, 0, 0));

        // Tab from the frequency box: the IF buttons, the enabled card, the
        // enabled command buttons (no card control here, so no Search), the
        // card type, port, host.
        form.vIFInp[0]->click();  // a checked button is a tab stop like any other
        const QList<QWidget*> expected{form.vIFInp[3], form.vIFInp[2], form.vIFInp[1], form.vIFInp[0],
                                       form.vCardNum[2], form.cancelButton,
                                       form.vCardTyp[0], form.vHostSvc, form.vHostNam, form.vIFFrq};
        form.vIFFrq->setFocus();
        for (QWidget* next : expected) {
            QTest::keyClick(form.focusWidget(), Qt::Key_Tab);
            EXPECT_EQ(form.focusWidget(), next) << next->toolTip().toStdString();
        }
    });
}
