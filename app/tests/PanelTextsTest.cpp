// Every text the session writes into the status panels shows whole in the
// main window at the size it opens with (no text is cut but the State
// panel's own, which the session shortens itself).
#include "app/MainWindow.h"
#include "cardctl/testing/RecordingCardControl.h"
#include "platform/PumpedWait.h"
#include "platform/StatusPanels.h"
#include "platform/tests/HiveFixture.h"
#include "session/SessionHandlers.h"
#include "settings/SettingsStore.h"

#include <QLabel>
#include <QSet>

namespace {

class PanelTexts : public HiveFixture {
protected:
    void SetUp() override
    {
        HiveFixture::SetUp();
        settings::WriteSetting(QStringLiteral("Pluvane"), "CardNumber", int32_t{1});
        app::MainWindowParts parts;
        auto card = std::make_unique<cardctl::RecordingCardControl>();
        // "ALS Off" stands in its panel only during the call that stops ALS.
        card->onCall(QStringLiteral("SetAls"), [this] { collect(); });
        parts.cardControl = std::move(card);
        parts.configCardControls = [] { return std::make_unique<cardctl::RecordingCardControl>(); };
        parts.synopComponents = [] { return std::unique_ptr<synop::ISynopComponent>(); };
        window = std::make_unique<app::MainWindow>(std::move(parts));
        window->Load();
        window->show();
        // Texts shown only inside a wait are seen there.
        platform::setSleepFunction([this](int) { collect(); });
        collect();
    }
    void TearDown() override { platform::setSleepFunction({}); }

    void collect()
    {
        for (int panel = 1; panel <= 6; ++panel) written[panel] << window->controls().StatusBar->panelText(panel);
    }

    std::unique_ptr<app::MainWindow> window;
    QHash<int, QSet<QString>> written;
};

}  // namespace

TEST_F(PanelTexts, EveryTextTheSessionWritesShowsWholeAtTheOpeningSize)
{
    session::SessionHandlers& handlers = window->handlers();
    // The card server's mode names, state texts and the range of what it reports.
    for (const char* mode : {"no-mode", "baudot"})
        for (const double speed : {45.45, 50.0, 74.99, 100.0, 300.557})
            for (const double shift : {85.0, 170.5, 425.0, 850.0, 1000.5}) {
                handlers.StatusReport(QString::fromLatin1(mode), speed, shift, -1);
                collect();
                handlers.StatusReport(QString::fromLatin1(mode), speed, shift, 0);
                collect();
            }
    for (const int16_t frequency : {int16_t{-32768}, int16_t{2100}, int16_t{32767}}) {
        handlers.FrequencyReport(frequency);
        collect();
    }
    for (const char* state : {"ALS", "IDLE", "NOSIGNAL", "SYNC", "SEARCH", "TRAFFIC", "A LONGER STATE"}) {
        handlers.StateText(QString::fromLatin1(state));
        collect();
    }
    // A session: its start notice, the Auto sequence, a Mode click, both ends.
    window->state().bConnected = true;
    handlers.StatusReport(QStringLiteral("baudot"), 50, 425, 0);
    handlers.SessionStarted();
    collect();
    handlers.AutoClick();
    collect();
    handlers.PanelClick(1);
    collect();
    for (const int16_t reason : {int16_t{1}, int16_t{0}}) {
        window->state().bSessionUp = true;
        handlers.SessionEnded(reason);
        collect();
    }
    for (const char* expected : {"Setting Input", "QUIT: Server", "QUIT: Error"})
        ASSERT_TRUE(written[5].contains(expected) || written[6].contains(expected)) << expected;
    ASSERT_TRUE(written[2].contains("ALS Off"));

    const QList<QLabel*> panels = window->controls().StatusBar->findChildren<QLabel*>(Qt::FindDirectChildrenOnly);
    ASSERT_EQ(panels.size(), 6);
    for (int number = 1; number <= 6; ++number) {
        QLabel* panel = panels.at(number - 1);
        const int right = panel->mapTo(window.get(), QPoint(panel->width(), 0)).x();
        EXPECT_LE(right, window->width()) << "panel " << number << " reaches beyond the window";
        for (const QString& text : written[number]) {
            const int room = panel->contentsRect().width() - panel->indent();
            EXPECT_LE(panel->fontMetrics().horizontalAdvance(text), room)
                << "panel " << number << " cuts \"" << text.toStdString() << "\"";
        }
    }
}
