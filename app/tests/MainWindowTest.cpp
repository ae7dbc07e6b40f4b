#include "app/MainWindow.h"
#include "app/tests/WindowTestFixture.h"
#include "cardctl/testing/RecordingCardControl.h"
#include "config/ConfigDialog.h"
#include "config/ConfigForm.h"
#include "platform/MessageBox.h"
#include "platform/PumpedWait.h"
#include "platform/Registry.h"
#include "platform/StatusPanels.h"
#include "platform/TextBox.h"
#include "synop/tests/RecordingComponent.h"
#include "platform/testing/QtPrinters.h"
#include "settings/SettingsStore.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QPushButton>
#include <QRadioButton>
#include <functional>

using settings::ReadSetting;
using settings::SettingValue;
using settings::WriteSetting;

namespace {

const QString kApp = QStringLiteral("Pluvane");

// What the test does with the configuration dialog once it is shown.
using DialogAction = std::function<void(config::ConfigForm*)>;

class MainWindowTest : public WindowTestFixture {
protected:
    std::unique_ptr<app::MainWindow> makeWindow(DialogAction onDialog = {})
    {
        app::MainWindowParts parts;
        auto card = std::make_unique<cardctl::RecordingCardControl>();
        this->card = card.get();
        parts.cardControl = std::move(card);
        parts.configCardControls = [] { return std::make_unique<cardctl::RecordingCardControl>(); };
        parts.synopComponents = [] { return std::unique_ptr<synop::ISynopComponent>(); };
        auto window = std::make_unique<app::MainWindow>(std::move(parts));
        QObject::connect(window.get(), &app::MainWindow::configDialogCreated, [this, onDialog, w = window.get()](
                                                                                   config::ConfigDialog* dialog) {
            QObject::connect(dialog, &config::ConfigDialog::activated, [this, onDialog, w](config::ConfigForm* form) {
                ++dialogsShown;
                windowVisibleAtDialog = w->isVisible();
                QMetaObject::invokeMethod(
                    form,
                    [form, onDialog] {
                        if (onDialog)
                            onDialog(form);
                        else
                            form->cancelButton->click();
                    },
                    Qt::QueuedConnection);
            });
        });
        return window;
    }

    static void chooseCardAndConfirm(config::ConfigForm* form, int card)
    {
        form->vCardNum[card - 1]->setEnabled(true);
        form->vCardNum[card - 1]->click();
        form->vHostSvc->setText(QStringLiteral("4000"));
        form->okButton->click();
    }

    QString stored(const char* name) { return settings::settingToText(ReadSetting(kApp, name, QString("<none>"))); }
    int32_t storedNumber(const char* name) { return std::get<int32_t>(ReadSetting(kApp, name, int32_t{-99999})); }

    cardctl::RecordingCardControl* card = nullptr;
    int dialogsShown = 0;
    bool windowVisibleAtDialog = true;
};

}  // namespace

TEST_F(MainWindowTest, FirstRunOpensTheDialogBeforeTheWindowAndACancelChangesNothing)
{
    auto window = makeWindow();
    window->Load();
    EXPECT_EQ(dialogsShown, 1);
    EXPECT_FALSE(windowVisibleAtDialog);
    const auto& state = window->state();
    EXPECT_FALSE(state.bCanConnect);
    EXPECT_FALSE(window->controls().Connect->isEnabled());
    EXPECT_TRUE(window->controls().Config->isEnabled());
    EXPECT_FALSE(window->controls().Auto->isEnabled());
    EXPECT_EQ(window->tabOrder().front(), window->controls().Config);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Pluvane V%1").arg(PLUVANE_VERSION));
    EXPECT_EQ(state.iCardNumber, -1);
    EXPECT_EQ(state.lHostPort, 33234);
    EXPECT_EQ(state.iIFInput, 1);
    // The SYNOP window's default place: the same left edge, 120 twips below.
    EXPECT_EQ(state.lXSynop, state.lX);
    EXPECT_NEAR(state.lYSynop, window->topTwips() + window->outerHeightTwips() + 120, 1);
    EXPECT_FALSE(QFile::exists(hivePath()));
}

TEST_F(MainWindowTest, AStartUpDialogConfirmedWithACardStoresAllSixValues)
{
    auto window = makeWindow([](config::ConfigForm* form) { chooseCardAndConfirm(form, 3); });
    window->Load();
    EXPECT_TRUE(window->state().bCanConnect);
    EXPECT_TRUE(window->controls().Connect->isEnabled());
    EXPECT_EQ(stored("HostName"), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(storedNumber("HostPort"), 4000);
    EXPECT_EQ(storedNumber("CardType"), 0);
    EXPECT_EQ(storedNumber("CardNumber"), 3);
    EXPECT_EQ(storedNumber("IF-Input"), 1);
    EXPECT_EQ(storedNumber("IF-Freqs"), 0);
    EXPECT_EQ(window->state().sHostName, QStringLiteral("127.0.0.1"));  // no NUL kept on the held name
    EXPECT_EQ(storedNumber("X"), -99999);  // positions wait for shutdown
}

TEST_F(MainWindowTest, OnlyCardNumbersOneToEightCountAsConfigured)
{
    for (const int32_t number : {8, 1, 0, -1, 9, 70000}) {
        SCOPED_TRACE(number);
        dialogsShown = 0;
        WriteSetting(kApp, "CardNumber", number);
        auto window = makeWindow();
        window->Load();
        const bool configured = number >= 1 && number <= 8;
        EXPECT_EQ(dialogsShown, configured ? 0 : 1);
        EXPECT_EQ(window->state().bCanConnect, configured);
        EXPECT_EQ(window->controls().Connect->isEnabled(), configured);
        EXPECT_EQ(window->tabOrder().front(), configured ? window->controls().Connect : window->controls().Config);
    }
}

TEST_F(MainWindowTest, StoredValuesOutside16BitsCountAsMissingButPositionsAreKept)
{
    WriteSetting(kApp, "CardNumber", int32_t{2});
    WriteSetting(kApp, "IF-Input", int32_t{65539});
    WriteSetting(kApp, "CardType", int32_t{-40000});
    WriteSetting(kApp, "X-Synop", int32_t{40000});
    WriteSetting(kApp, "Y-Synop", int32_t{-40000});
    auto window = makeWindow();
    window->Load();
    EXPECT_EQ(window->state().iIFInput, 1);
    EXPECT_EQ(window->state().iCardType, -1);
    EXPECT_EQ(window->state().lXSynop, 40000);
    EXPECT_EQ(window->state().lYSynop, -40000);
}

TEST_F(MainWindowTest, ClosingStoresThePositionsAndTheNextStartUsesThem)
{
    WriteSetting(kApp, "CardNumber", int32_t{8});
    {
        auto window = makeWindow();
        window->Load();
        window->show();
        window->move(150, 120);
        window->close();
    }
    EXPECT_EQ(storedNumber("X"), 150 * 15);
    EXPECT_EQ(storedNumber("Y"), 120 * 15);
    const int32_t synopY = storedNumber("Y-Synop");
    EXPECT_GT(synopY, 0);

    auto again = makeWindow();
    again->Load();
    EXPECT_EQ(again->pos(), QPoint(150, 120));
    EXPECT_EQ(again->state().lYSynop, synopY);
}

TEST_F(MainWindowTest, AStoredPlaceOffEveryScreenIsNotApplied)
{
    WriteSetting(kApp, "CardNumber", int32_t{8});
    WriteSetting(kApp, "X", int32_t{-30000});
    WriteSetting(kApp, "Y", int32_t{-30000});
    auto window = makeWindow();
    window->Load();
    EXPECT_GT(window->pos().x(), -1000);
    EXPECT_GT(window->pos().y(), -1000);
}

TEST_F(MainWindowTest, QuitWithASessionOpenWritesThePositionsFirstThenClosesTheSession)
{
    WriteSetting(kApp, "CardNumber", int32_t{8});
    auto window = makeWindow();
    window->Load();
    window->controls().Connect->click();
    emit card->SessionStarted();
    QString xWhenClosing;
    card->onCall("CloseCard", [&] { xWhenClosing = QString::number(storedNumber("X")); });
    window->controls().Cancel->click();
    EXPECT_EQ(card->callNames().last(), QStringLiteral("CloseCard"));
    EXPECT_NE(xWhenClosing, QStringLiteral("-99999"));
    EXPECT_FALSE(window->isVisible());
}

TEST_F(MainWindowTest, ConfirmingThroughTheConfigButtonEnablesConnectAtOnce)
{
    int choice = 0;
    auto window = makeWindow([&choice](config::ConfigForm* form) {
        if (choice == 0)
            form->cancelButton->click();
        else
            chooseCardAndConfirm(form, choice);
    });
    window->Load();
    ASSERT_FALSE(window->controls().Connect->isEnabled());
    const config::ConfigDialog* firstDialog = window->configDialog();
    ASSERT_NE(firstDialog, nullptr);
    choice = 5;
    window->controls().Config->click();
    EXPECT_TRUE(window->controls().Connect->isEnabled());
    EXPECT_EQ(window->state().iCardNumber, 5);
    EXPECT_EQ(window->state().lHostPort, 4000);
    EXPECT_EQ(dialogsShown, 2);
    EXPECT_EQ(window->configDialog(), firstDialog);  // one instance, reused
}

TEST_F(MainWindowTest, TabLeavesTheTextAreaForAutoAndTypesNothingIntoIt)
{
    WriteSetting(kApp, "CardNumber", int32_t{8});
    auto window = makeWindow();
    window->Load();
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    window->controls().Connect->click();
    emit card->SessionStarted();
    ASSERT_TRUE(window->controls().Auto->isEnabled());
    auto* text = window->controls().Text;
    text->setText(QStringLiteral("AAXX"));
    text->setFocus();
    ASSERT_TRUE(text->hasFocus());
    QTest::keyClick(text, Qt::Key_Tab);
    EXPECT_EQ(text->text(), QStringLiteral("AAXX"));
    EXPECT_TRUE(window->controls().Auto->hasFocus());
}

TEST_F(MainWindowTest, ControlsCarryTheDesignsCaptionsTooltipsAndPlaces)
{
    WriteSetting(kApp, "CardNumber", int32_t{8});
    auto window = makeWindow();
    const auto& c = window->controls();
    // The design texts, before start-up's refresh empties the State panel.
    QStringList designTexts;
    for (int number = 1; number <= 6; ++number) designTexts << c.StatusBar->panelText(number);
    EXPECT_EQ(designTexts, (QStringList{"Mode", "Speed", "Shift", "Polar", "Freq", "State"}));
    window->Load();
    struct Control {
        QWidget* widget;
        QString caption, toolTip;
        int left, top, width, height;
    };
    const QList<Control> design = {
        {c.Connect, "&Connect", "Connect to the Wavecom card", 260, 10, 1120, 280},
        {c.Auto, "&Auto", "Force BAUDOT mode with ALS", 1400, 10, 660, 280},
        {c.Config, "Confi&g.", "Configure connexion parameters", 3160, 10, 765, 280},
        {c.Cancel, "&Quit", "Quit the application", 3960, 10, 645, 280},
        // The window is the design's 4635 twips wide, or wider where the
        // status panels need room for their texts; the text area spans it.
        {c.Text, QString(), "Data stream decoded by the Wavecom card", 0, 320, window->width() * 15, 795},
    };
    EXPECT_GE(window->width() * 15, 4635 - 15);
    for (const Control& d : design) {
        SCOPED_TRACE(d.toolTip.toStdString());
        if (auto* button = qobject_cast<QPushButton*>(d.widget)) {
            EXPECT_EQ(button->text(), d.caption);
        }
        EXPECT_EQ(d.widget->toolTip(), d.toolTip);
        // Twips to pixels may round each edge by up to one pixel (15 twips).
        const QRect g = d.widget->geometry();
        EXPECT_NEAR(g.x() * 15, d.left, 15);
        EXPECT_NEAR(g.y() * 15, d.top, 15);
        EXPECT_NEAR(g.width() * 15, d.width, 30);
        EXPECT_NEAR(g.height() * 15, d.height, 30);
    }
    EXPECT_TRUE(c.Connect->font().bold());
    EXPECT_FALSE(c.Auto->font().bold());
    EXPECT_EQ(c.Text->palette().color(QPalette::Base), QColor(255, 255, 192));
    EXPECT_EQ(c.StatusBar->geometry().bottom(), window->height() - 1);
    EXPECT_EQ(c.StatusBar->width(), window->width());

    struct Panel {
        QString toolTip;
        int widthTwips;
    };
    const QList<Panel> panels = {
        {"Mode. Force to BAUDOT if clicked", 820},
        {"Speed. Set to either 50 or 75 if clicked ", 680},
        {"Shift: Set to either 425 or 850 if clicked ", 680},
        {"Polarity: Set to either Norm or Inv  if clicked ", 600},
        {"Center frequency", 620},
        {"Decoding state", 1440},
    };
    ASSERT_GE(c.StatusBar->count(), 6);
    for (int number = 1; number <= 6; ++number) {
        SCOPED_TRACE(number);
        const Panel& d = panels[number - 1];
        EXPECT_EQ(c.StatusBar->panelToolTip(number), d.toolTip);
        EXPECT_GE(c.StatusBar->panelWidthTwips(number), d.widthTwips);
    }
}

TEST_F(MainWindowTest, QuitWithTheSynopComponentRunningReadsItsPlaceStoresItThenClosesCardAndComponent)
{
    WriteSetting(kApp, "CardNumber", int32_t{8});
    auto script = std::make_shared<synop::testing::ComponentScript>();
    script->left = 2220;
    script->top = 4440;
    app::MainWindowParts parts;
    auto control = std::make_unique<cardctl::RecordingCardControl>();
    card = control.get();
    parts.cardControl = std::move(control);
    parts.configCardControls = [] { return std::make_unique<cardctl::RecordingCardControl>(); };
    parts.synopComponents = [script] { return std::make_unique<synop::testing::RecordingComponent>(script); };
    app::MainWindow window(std::move(parts));
    window.Load();
    window.show();
    window.controls().Connect->click();
    emit card->SessionStarted();
    ASSERT_TRUE(window.synopBridge().bSynopOK());
    card->onCall("CloseCard", [&] {
        script->log.push_back("CloseCard, X-Synop stored " + std::to_string(storedNumber("X-Synop")));
    });
    script->log.clear();

    window.controls().Cancel->click();
    EXPECT_EQ(script->log, (std::vector<std::string>{"WindowLeft()", "WindowTop()", "CloseCard, X-Synop stored 2220",
                                                     "CloseDecoder(0)", "release #1"}));
    EXPECT_EQ(storedNumber("Y-Synop"), 4440);
    EXPECT_FALSE(window.synopBridge().hasInstance());
}

TEST_F(MainWindowTest, TheDialogsCloseBoxTakesBackAndStoresTheValuesHandedIn)
{
    WriteSetting(kApp, "CardNumber", int32_t{4});
    WriteSetting(kApp, "HostPort", int32_t{4100});
    auto window = makeWindow([](config::ConfigForm* form) {
        form->vHostSvc->setText(QStringLiteral("5000"));  // typed, never confirmed
        form->close();
    });
    window->Load();
    window->controls().Config->click();
    EXPECT_EQ(dialogsShown, 1);
    EXPECT_EQ(window->state().lHostPort, 4100);
    EXPECT_EQ(window->state().iCardNumber, 4);
    // Written although nothing changed: the close box counts as a confirmation
    // of what was handed in.
    EXPECT_EQ(stored("HostName"), window->state().sHostName);
    EXPECT_EQ(storedNumber("HostPort"), 4100);
    EXPECT_EQ(storedNumber("IF-Input"), 1);
}
