#pragma once
#include "cardctl/testing/RecordingCardControl.h"
#include "platform/MessageBox.h"
#include "platform/MousePointer.h"
#include "platform/PumpedWait.h"
#include "platform/StatusPanels.h"
#include "platform/TextBox.h"
#include "session/SessionHandlers.h"

#include <QPushButton>
#include <QWidget>
#include "platform/testing/QtPrinters.h"

#include <gtest/gtest.h>
#include <memory>

// A bare window with the controls the handlers drive, the recording card
// control, an observed message box and a sleep that only counts.
class SessionFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        window = std::make_unique<QWidget>();
        controls.window = window.get();
        controls.Connect = new QPushButton(QStringLiteral("&Connect"), window.get());
        controls.Auto = new QPushButton(QStringLiteral("&Auto"), window.get());
        controls.Config = new QPushButton(QStringLiteral("Confi&g."), window.get());
        controls.Cancel = new QPushButton(QStringLiteral("&Quit"), window.get());
        controls.Text = new platform::TextBox(window.get());
        controls.StatusBar = new platform::StatusPanels(
            {{"Mode", "", 820, {}}, {"Speed", "", 680, {}}, {"Shift", "", 680, {}}, {"Polar", "", 600, {}},
             {"Freq", "", 620, {}}, {"State", "", 1440, {}}},
            window.get());
        controls.W6xXML = card = new cardctl::RecordingCardControl(window.get());
        state.sAppName = QStringLiteral("Pluvane");
        state.sHostName = QStringLiteral("127.0.0.1");
        state.lHostPort = 33234;
        state.iCardNumber = 1;
        state.iIFInput = 2;
        state.lIFFreqs = 455000;
        state.bCanConnect = true;
        session::SynopHooks hooks;
        hooks.start = [this] { synopCalls << QStringLiteral("start"); };
        hooks.stop = [this] { synopCalls << QStringLiteral("stop"); };
        hooks.feed = [this](const QString& chunk) { fed << chunk; };
        handlers = std::make_unique<session::SessionHandlers>(state, controls, hooks);
        platform::setSleepFunction([this](int ms) {
            sleeps += 1;
            sleptMs += ms;
        });
        platform::setMessageBoxFunction([this](const QString& text, const QString& caption) {
            boxes << text;
            boxCaptions << caption;
            pointerDuringBox = platform::mousePointer();
        });
    }
    void TearDown() override
    {
        platform::setSleepFunction({});
        platform::setMessageBoxFunction({});
        platform::setMousePointer(platform::MousePointer::Default);
    }

    QString panel(int number) const { return controls.StatusBar->panelText(number); }

    std::unique_ptr<QWidget> window;
    session::MainWindowControls controls;
    cardctl::RecordingCardControl* card = nullptr;
    session::MainWindowState state;
    std::unique_ptr<session::SessionHandlers> handlers;
    QStringList synopCalls;
    QStringList fed;
    QStringList boxes;
    QStringList boxCaptions;
    platform::MousePointer pointerDuringBox = platform::MousePointer::Default;
    int sleeps = 0;
    int sleptMs = 0;
};
