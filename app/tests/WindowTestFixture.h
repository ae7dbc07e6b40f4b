#pragma once
#include "platform/MessageBox.h"
#include "platform/PumpedWait.h"
#include "platform/tests/HiveFixture.h"

#include <QStringList>

// A main window test: its own hive, no real sleeps in the waits, and the
// message boxes it would show collected in `boxes` instead.
class WindowTestFixture : public HiveFixture {
protected:
    void SetUp() override
    {
        HiveFixture::SetUp();
        platform::setSleepFunction([](int) {});
        platform::setMessageBoxFunction([this](const QString& text, const QString&) { boxes << text; });
    }
    void TearDown() override
    {
        platform::setSleepFunction({});
        platform::setMessageBoxFunction({});
    }

    QStringList boxes;
};
