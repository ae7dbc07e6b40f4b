#pragma once
// One card of a card server, seen: the waterfall with the tones where the
// card listens and where the line search found the signal, what the card
// reports, and the text it decodes. Clicking the waterfall retunes the
// card, A starts its Auto line search, where the server lets observers.
#include "MonitorLink.h"
#include "WaterfallView.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QQueue>

class QLabel;
class QPlainTextEdit;
class QAction;

namespace monitor {

class MonitorWindow : public QMainWindow {
    Q_OBJECT
public:
    MonitorWindow(const QString& host, quint16 port, int card, int framesPerSecond, bool verbose = false);

    WaterfallView* waterfall() const { return m_waterfall; }
    MonitorLink* link() const { return m_link; }
    QString decodedText() const;

private:
    void showStatus();
    void showLink(const QString& text);
    void tuneTo(double centreHz);
    void startAuto();
    void pickCard(const QList<int>& cards);
    void drawPendingLine();
    void log(const QString& what);

    MonitorLink* m_link;
    WaterfallView* m_waterfall;
    QPlainTextEdit* m_text;
    QLabel* m_cardLabel;
    QLabel* m_stateLabel;
    QLabel* m_lineLabel;
    QLabel* m_snrLabel;
    QLabel* m_foundLabel;
    QAction* m_autoAction;
    QQueue<cardproto::WaterfallFrame> m_pendingLines;
    QTimer m_lineClock;
    int m_framesPerSecond;
    bool m_verbose;
    QElapsedTimer m_sinceStart;

    int m_card = 0;
    bool m_held = false;
    bool m_mayTune = false;
    bool m_live = false;
    CardStatus m_status;
    double m_centre = 1500;
    int m_snr = 0;
    QString m_state;
    std::optional<Measurement> m_found;
};

}  // namespace monitor
