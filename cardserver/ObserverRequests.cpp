// A connection that observes a card: it watches without holding, may ask
// for spectrum frames, and retunes only when the server allows observers to.
#include "CardServer.h"
#include "ClientConnection.h"
#include "Log.h"

#include <QTcpSocket>

namespace cardserver {

using cardproto::Message;

namespace {

bool isTuning(const QString& op)
{
    return op == QLatin1String("SetCentreShift") || op == QLatin1String("SetMode") || op == QLatin1String("SetAls");
}

bool isCardOperation(const QString& op)
{
    return isTuning(op) || op == QLatin1String("SetInput") || op == QLatin1String("SetDecoderOptions");
}

}  // namespace

bool ClientConnection::handleObserverRequest(const Message& request)
{
    const QString& op = request.operation;
    if (op == QLatin1String("ObserveCard")) {
        const OperationResult result = observeCard(request);
        if (result.status != 0) m_server->clientLog().warning(m_host, QStringLiteral("ObserveCard by %1 refused: %2").arg(m_peer, result.text));
        // The reply first, then what the card is doing.
        m_handling = true;
        if (result.status == 0) {
            m_observed->addObserver(this, m_server->observersMayTune());
            m_heartbeat.start();
        }
        m_handling = false;
        reply(request.id, result, true);
        for (const Message& event : std::exchange(m_deferred, {})) send(event);
        return true;
    }
    if (op == QLatin1String("SetSpectrum")) {
        const auto rate = request.args.size() == 1 && request.args[0].isInteger() ? request.args[0].integer : -1;
        if (rate < 0 || rate > CardObservers::kMaxSpectrumRate) {
            reply(request.id, {kBadRequest, QStringLiteral("SetSpectrum takes one integer, frames a second from 0 to %1")
                                                .arg(CardObservers::kMaxSpectrumRate)}, false);
        } else if (!m_observed) {
            reply(request.id, {kNoCardOpen, QStringLiteral("SetSpectrum: this connection observes no card")}, false);
        } else {
            m_spectrumRate = int(rate);
            reply(request.id, OperationResult::ok(), false);
        }
        return true;
    }
    if (!m_observed) return false;
    if (op == QLatin1String("OpenCard")) {
        reply(request.id, {kCardInUse, QStringLiteral("This connection observes card %1; open a card on a connection of its own")
                                           .arg(m_observed->number())}, true);
        return true;
    }
    if (op == QLatin1String("CloseCard")) {
        stopObserving();
        m_heartbeat.stop();
        m_idleUntil.setRemainingTime(m_server->limits().idleMs);
        reply(request.id, OperationResult::ok(), false);
        return true;
    }
    if (!isCardOperation(op)) return false;
    if (!m_server->observersMayTune() || !isTuning(op)) {
        const QString why = m_server->observersMayTune()
                                ? QStringLiteral("%1: an observer may retune card %2, not change its input or decoder options")
                                : QStringLiteral("%1: observers may not change card %2 on this server (see --observers-may-tune)");
        m_server->clientLog().warning(m_host, QStringLiteral("%1 by observer %2 refused").arg(op, m_peer));
        reply(request.id, {kObserverMayNotTune, why.arg(op).arg(m_observed->number())}, false);
        return true;
    }
    using Operation = OperationResult (Card::*)(const Card::Args&);
    const Operation operation = op == QLatin1String("SetCentreShift") ? &Card::setCentreShift
                                : op == QLatin1String("SetMode")      ? &Card::setMode
                                                                      : &Card::setAls;
    m_handling = true;
    const OperationResult result = (m_observed->*operation)(request.args);
    m_handling = false;
    if (result.status != 0)
        m_server->clientLog().warning(m_host, QStringLiteral("Card %1: %2 by observer %3 refused: %4").arg(m_observed->number()).arg(op, m_peer, result.text));
    else
        m_server->clientLog().line(m_host, QStringLiteral("Card %1: %2 by observer %3").arg(m_observed->number()).arg(op, m_peer));
    reply(request.id, result, false);
    for (const Message& event : std::exchange(m_deferred, {})) send(event);
    return true;
}

OperationResult ClientConnection::observeCard(const Message& request)
{
    if (request.args.size() != 1 || !request.args[0].isInteger())
        return {kBadRequest, QStringLiteral("ObserveCard takes the card number")};
    const int number = int(request.args[0].integer);
    if (m_card)
        return {kCardInUse, QStringLiteral("This connection holds card %1; observe on a connection of its own").arg(m_card->number())};
    if (m_observed) return {kCardInUse, QStringLiteral("This connection observes card %1 already").arg(m_observed->number())};
    Card* card = m_server->card(number);
    if (!card) return {kCardNotInstalled, QStringLiteral("Card %1 is not installed").arg(number)};
    m_observed = card;
    m_server->clientLog().line(m_host, QStringLiteral("Card %1 observed by %2").arg(number).arg(m_peer));
    return OperationResult::ok();
}

void ClientConnection::stopObserving()
{
    if (!m_observed) return;
    m_observed->removeObserver(this);
    m_server->clientLog().line(m_host, QStringLiteral("Card %1 no longer observed by %2%3")
                .arg(m_observed->number())
                .arg(m_peer)
                .arg(m_framesDropped ? QStringLiteral(" (%1 spectrum frames dropped: it read too slowly)").arg(m_framesDropped)
                                     : QString()));
    m_observed = nullptr;
    m_spectrumRate = 0;
    m_framesDropped = 0;
}

void ClientConnection::sendFrame(const Message& frame)
{
    if (m_closing || m_handling) return;
    // Frames are the bulk of an observer's output and the first to go when
    // it reads slowly; its reports and text still go out.
    if (m_socket->bytesToWrite() > kFrameBacklogBytes) {
        ++m_framesDropped;
        return;
    }
    send(frame);
}

}  // namespace cardserver
