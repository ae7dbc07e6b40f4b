#pragma once
// The main window's variables: connection settings, session state and the
// decoder status last reported. The main window owns one instance; the
// session handlers and start-up/shutdown read and write it.
#include <QString>
#include <cstdint>

namespace session {

struct MainWindowState {
    QString sAppName;
    QString sHostName;
    int32_t lHostPort = 0;
    int16_t iCardType = 0;
    int16_t iCardNumber = 0;
    int16_t iIFInput = 0;
    int32_t lIFFreqs = 0;
    int16_t iX = 0;
    int16_t iY = 0;
    int16_t iXSynop = 0;
    int16_t iYSynop = 0;

    bool bCanConnect = false;
    bool bConnected = false;
    bool bSessionUp = false;
    bool bModeBusy = false;

    QString sMode;  // as the card reported it; empty until the first report
    double dSpeed = 0;
    double dShift = 0;
    int16_t iPolarity = 0;
};

}  // namespace session
