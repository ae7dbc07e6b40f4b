#include "MonitorWindow.h"

#include <QAction>
#include <QApplication>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QVBoxLayout>
#include <cmath>
#include <cstdio>

namespace monitor {

namespace {

QLabel* panel(QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setFrameShape(QFrame::StyledPanel);
    label->setMargin(3);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QString polarityName(bool inverted) { return inverted ? QStringLiteral("inverted") : QStringLiteral("normal"); }

}  // namespace

MonitorWindow::MonitorWindow(const QString& host, quint16 port, int card, int framesPerSecond, bool verbose)
    : m_link(new MonitorLink(host, port, this)), m_framesPerSecond(framesPerSecond), m_verbose(verbose)
{
    m_sinceStart.start();
    setWindowTitle(QStringLiteral("Pluvane monitor: %1").arg(m_link->endpoint()));

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(4, 4, 4, 4);
    auto* panels = new QHBoxLayout;
    m_cardLabel = panel(central);
    m_stateLabel = panel(central);
    m_lineLabel = panel(central);
    m_snrLabel = panel(central);
    m_foundLabel = panel(central);
    m_cardLabel->setToolTip(tr("The card observed, and whether a session holds it"));
    m_stateLabel->setToolTip(tr("What the card's decoder is doing"));
    m_lineLabel->setToolTip(tr("Mode, speed, shift, polarity and centre the card is set to (red markers)"));
    m_snrLabel->setToolTip(tr("The tones' signal-to-noise ratio the demodulator measures"));
    m_foundLabel->setToolTip(tr("What the Auto line search measured (cyan dashed markers)"));
    for (QLabel* label : {m_cardLabel, m_stateLabel, m_lineLabel, m_snrLabel}) panels->addWidget(label);
    panels->addWidget(m_foundLabel, 1);
    layout->addLayout(panels);

    auto* splitter = new QSplitter(Qt::Vertical, central);
    m_waterfall = new WaterfallView(splitter);
    m_text = new QPlainTextEdit(splitter);
    m_text->setReadOnly(true);
    m_text->setMaximumBlockCount(5000);
    m_text->setFont(QFont(QStringLiteral("monospace")));
    m_text->setFocusPolicy(Qt::ClickFocus);
    splitter->addWidget(m_waterfall);
    splitter->addWidget(m_text);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({460, 170});
    layout->addWidget(splitter, 1);
    setCentralWidget(central);

    auto* tools = addToolBar(tr("Monitor"));
    tools->setObjectName(QStringLiteral("monitorTools"));
    tools->setMovable(false);
    m_autoAction = tools->addAction(tr("&Auto"), this, &MonitorWindow::startAuto);
    m_autoAction->setShortcut(QKeySequence(Qt::Key_A));
    m_autoAction->setToolTip(tr("Auto line search: find the signal's centre, shift, speed and polarity (A)"));
    tools->addSeparator();
    auto* zoomIn = tools->addAction(tr("Zoom &in"), m_waterfall, &WaterfallView::zoomIn);
    zoomIn->setShortcuts({QKeySequence(Qt::Key_Plus), QKeySequence(Qt::Key_Equal), QKeySequence::ZoomIn});
    zoomIn->setToolTip(tr("Zoom in on the frequency axis (+, or the mouse wheel)"));
    auto* zoomOut = tools->addAction(tr("Zoom &out"), m_waterfall, &WaterfallView::zoomOut);
    zoomOut->setShortcuts({QKeySequence(Qt::Key_Minus), QKeySequence::ZoomOut});
    zoomOut->setToolTip(tr("Zoom out (-)"));
    auto* whole = tools->addAction(tr("&Whole band"), m_waterfall, &WaterfallView::showWholeBand);
    whole->setShortcut(QKeySequence(Qt::Key_0));
    whole->setToolTip(tr("Show the whole band (0)"));
    tools->addSeparator();
    auto* reconnect = tools->addAction(tr("&Reconnect"), this, [this] { m_link->reconnect(); });
    reconnect->setShortcuts({QKeySequence(Qt::Key_F5), QKeySequence(Qt::Key_R)});
    reconnect->setToolTip(tr("Connect to the card server again (F5)"));
    auto* quit = new QAction(tr("&Quit"), this);
    quit->setShortcuts({QKeySequence::Quit, QKeySequence(Qt::CTRL | Qt::Key_Q)});
    connect(quit, &QAction::triggered, this, &QWidget::close);
    addAction(quit);
    // Left and right move the centre in small steps, Shift for larger ones.
    auto nudge = [this](QKeyCombination key, double hz) {
        auto* action = new QAction(this);
        action->setShortcut(QKeySequence(key));
        connect(action, &QAction::triggered, this, [this, hz] { tuneTo(m_centre + hz); });
        addAction(action);
    };
    nudge(QKeyCombination(Qt::Key_Left), -5);
    nudge(QKeyCombination(Qt::Key_Right), 5);
    nudge(Qt::SHIFT | Qt::Key_Left, -50);
    nudge(Qt::SHIFT | Qt::Key_Right, 50);

    connect(m_waterfall, &WaterfallView::centreClicked, this, &MonitorWindow::tuneTo);
    connect(m_link, &MonitorLink::connecting, this, [this](const QString& what) {
        log(what);
        showLink(what);
    });
    connect(m_link, &MonitorLink::broken, this, [this](const QString& why) {
        log(why);
        m_live = false;
        m_pendingLines.clear();
        m_waterfall->setInactive(why + tr("\n\nPress F5 to reconnect."));
        statusBar()->showMessage(why);
        showStatus();
    });
    connect(m_link, &MonitorLink::cardsFound, this, &MonitorWindow::pickCard);
    connect(m_link, &MonitorLink::observing, this, [this](int card, bool held, bool mayTune) {
        if (!m_live) log(QStringLiteral("observing card %1").arg(card));
        m_card = card;
        m_held = held;
        m_mayTune = mayTune;
        m_live = true;
        m_waterfall->setInactive({});
        statusBar()->showMessage(mayTune ? tr("Click the waterfall to set the card's centre; A for Auto")
                                         : tr("Watching only: this server does not let observers retune its cards"));
        showStatus();
    });
    connect(m_link, &MonitorLink::statusReported, this, [this](const CardStatus& status) {
        m_status = status;
        showStatus();
    });
    // During a line search FrequencyReport carries what it measured; where
    // the card listens comes with Tuning.
    connect(m_link, &MonitorLink::frequencyReported, this, [this](double, int level) {
        if (level > 0) m_snr = level;
        showStatus();
    });
    connect(m_link, &MonitorLink::tuningReported, this, [this](const CardTuning& tuning) {
        m_centre = tuning.centre;
        m_status.shift = tuning.shift;
        m_status.baud = tuning.baud;
        m_status.inverted = tuning.inverted;
        showStatus();
    });
    connect(m_link, &MonitorLink::stateReported, this, [this](const QString& state) {
        m_state = state;
        showStatus();
    });
    connect(m_link, &MonitorLink::levelReported, this, [this](int snr) {
        m_snr = snr;
        showStatus();
    });
    connect(m_link, &MonitorLink::lineSearchReported, this, [this](const Measurement& measurement) {
        m_found = measurement;
        showStatus();
    });
    connect(m_link, &MonitorLink::notice, this, [this](const QString& text) {
        log(text);
        statusBar()->showMessage(text, 15000);
    });
    connect(m_link, &MonitorLink::textDecoded, this, [this](const QString& text) {
        QString plain = text;
        plain.remove(QLatin1Char('\r'));
        QScrollBar* bar = m_text->verticalScrollBar();
        const bool atEnd = bar->value() == bar->maximum();
        QTextCursor cursor(m_text->document());
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(plain);
        if (atEnd) bar->setValue(bar->maximum());
    });
    // Frames come a few at a time with each stretch the card decodes; the
    // waterfall moves on evenly.
    connect(m_link, &MonitorLink::spectrum, this, [this](const cardproto::WaterfallFrame& frame) {
        if (m_waterfall->linesShown() == 0 && m_pendingLines.isEmpty()) {
            log(QStringLiteral("first waterfall line"));
            m_waterfall->addFrame(frame);
            return;
        }
        m_pendingLines.enqueue(frame);
        if (!m_lineClock.isActive()) m_lineClock.start();
    });
    m_lineClock.setInterval(1000 / std::max(1, framesPerSecond));
    connect(&m_lineClock, &QTimer::timeout, this, &MonitorWindow::drawPendingLine);

    showStatus();
    resize(1000, 720);
    m_link->observe(card, framesPerSecond);
}

QString MonitorWindow::decodedText() const { return m_text->toPlainText(); }

void MonitorWindow::log(const QString& what)
{
    if (m_verbose) std::fprintf(stderr, "%.3f s: %s\n", m_sinceStart.nsecsElapsed() / 1e9, qPrintable(what));
}

void MonitorWindow::drawPendingLine()
{
    if (m_pendingLines.isEmpty()) {
        m_lineClock.stop();
        return;
    }
    // Behind by more than a stretch: catch up rather than fall further back.
    while (m_pendingLines.size() > 4) m_waterfall->addFrame(m_pendingLines.dequeue());
    m_waterfall->addFrame(m_pendingLines.dequeue());
}

void MonitorWindow::showLink(const QString& text)
{
    m_waterfall->setInactive(text);
    statusBar()->showMessage(text);
}

void MonitorWindow::showStatus()
{
    const bool known = m_live;
    m_cardLabel->setText(m_card ? tr("Card %1 · %2").arg(m_card).arg(m_held ? tr("in a session") : tr("free"))
                                : tr("No card"));
    m_stateLabel->setText(known && !m_state.isEmpty() ? m_state : QStringLiteral("–"));
    if (known && !m_status.mode.isEmpty())
        m_lineLabel->setText(tr("%1 %2 Bd · shift %3 Hz · %4 · centre %5 Hz")
                                 .arg(m_status.mode.toUpper())
                                 .arg(m_status.baud, 0, 'g', 4)
                                 .arg(m_status.shift, 0, 'f', 0)
                                 .arg(polarityName(m_status.inverted))
                                 .arg(m_centre, 0, 'f', 0));
    else m_lineLabel->setText(QStringLiteral("–"));
    m_snrLabel->setText(known ? tr("SNR %1 dB").arg(m_snr) : tr("SNR –"));
    if (m_found && m_found->found)
        m_foundLabel->setText(tr("Found: %1 Bd · shift %2 Hz · %3 · centre %4 Hz")
                                  .arg(m_found->baud, 0, 'g', 4)
                                  .arg(m_found->shift, 0, 'f', 0)
                                  .arg(polarityName(m_found->inverted))
                                  .arg(m_found->centre, 0, 'f', 0));
    else if (m_found)
        m_foundLabel->setText(tr("Line search found no line: %1").arg(m_found->heard));
    else
        m_foundLabel->setText(tr("Line search: not run (A)"));
    m_autoAction->setEnabled(known && m_mayTune);
    m_waterfall->setTuning(Tones{m_centre, m_status.shift > 0 ? m_status.shift : 425, m_status.inverted});
    if (m_found && m_found->found)
        m_waterfall->setMeasurement(Tones{m_found->centre, m_found->shift, m_found->inverted});
    else
        m_waterfall->setMeasurement(std::nullopt);
}

void MonitorWindow::tuneTo(double centreHz)
{
    if (!m_live) return;
    if (!m_mayTune) {
        statusBar()->showMessage(tr("This card server does not let observers retune its cards "
                                    "(its option --observers-may-tune)"), 10000);
        return;
    }
    centreHz = std::round(std::clamp(centreHz, 100.0, 4000.0));
    statusBar()->showMessage(tr("Centre %1 Hz asked for").arg(centreHz, 0, 'f', 0), 5000);
    m_link->setCentre(centreHz);
}

void MonitorWindow::startAuto()
{
    if (!m_live || !m_mayTune) {
        tuneTo(m_centre);  // says why not
        return;
    }
    statusBar()->showMessage(tr("Auto: the line search is listening"), 20000);
    m_link->startAuto();
}

void MonitorWindow::pickCard(const QList<int>& cards)
{
    QStringList names;
    for (int card : cards) names << tr("Card %1").arg(card);
    bool ok = false;
    const QString chosen = QInputDialog::getItem(this, tr("Pluvane monitor"),
                                                 tr("Cards of %1: which one to watch?").arg(m_link->endpoint()), names, 0,
                                                 false, &ok);
    if (!ok) {
        close();
        return;
    }
    m_link->chooseCard(cards.value(names.indexOf(chosen)));
}

}  // namespace monitor
