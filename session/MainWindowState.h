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
    // Window positions in twips. 32 bits, not 16: 32767 twips is only
    // 2184 pixels, and a wide or second screen lies further out.
    int32_t lX = 0;
    int32_t lY = 0;
    int32_t lXSynop = 0;
    int32_t lYSynop = 0;

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
