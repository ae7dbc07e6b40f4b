#pragma once
// The main window's handlers for the card session: the Connect press and
// the session's start and end, the decoder mode control and status panels,
// and the decoded text stream.
#include "MainWindowControls.h"
#include "MainWindowState.h"

#include <QObject>
#include <functional>

namespace session {

// Where the handlers hand over to the SYNOP decoder bridge.
struct SynopHooks {
    std::function<void()> start;
    std::function<void()> stop;
    std::function<void(const QString& chunk)> feed;
};

class SessionHandlers : public QObject {
    Q_OBJECT
public:
    SessionHandlers(MainWindowState& state, const MainWindowControls& controls, SynopHooks synop,
                    QObject* parent = nullptr);

    // Connection lifecycle.
    void ConnectClick();
    bool SetSession(bool bOpen);
    void UpdateControls();
    void SessionStarted();
    void SessionEnded(int16_t reason);

    // Decoder mode control and status display.
    void AutoClick();
    void PanelClick(int panelNumber);
    void StateText(const QString& text);
    void StatusReport(const QString& modeName, double speed, double shift, int16_t polarity);
    void FrequencyReport(int16_t centreFrequency);

    // Decoded text stream.
    void DataText(const QString& chunk);

private:
    void connectControlEvents();
    void runAutoSequence();
    void setPanel(int number, const QString& text);

    MainWindowState& m_state;
    MainWindowControls m_controls;
    SynopHooks m_synop;
};

}  // namespace session
