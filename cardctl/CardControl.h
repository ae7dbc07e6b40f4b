#pragma once
// The card control W6xXML: the only way to a card. Operations take typed
// values (the types are part of every call) and are synchronous on the UI
// thread; events are Qt signals raised on that thread, during a call or
// while the caller processes events (a pumped wait).
#include "platform/Variant.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <cstdint>

namespace cardctl {

using platform::Variant;

// Statuses of the failures the control detects itself (the server's own
// statuses are positive). Every one is non-zero and fits 16 bits, so a caller
// that narrows the status to 16 bits still sees a failure.
enum ControlStatus : int32_t {
    kStatusOk = 0,
    kHostNotFound = -1,        // the host name does not resolve
    kCannotConnect = -2,       // refused, unreachable, bad port, connect timeout
    kNoGreeting = -3,          // connected, but no greeting within the time limit
    kWrongProtocol = -4,       // the greeting names another protocol version
    kReplyTimeout = -5,        // no reply within 10 s (SearchCards: 70 s)
    kConnectionLost = -6,      // the connection dropped during the call
    kProtocolError = -7,       // garbled, oversized or ill-typed message
    kStatusOutOfRange = -8,    // the server's status does not fit 16 bits
    kServerSilent = -9,        // 15 s without any message on an open session
    kNoSession = -10,          // a card operation without an open session
};

// The server's status for "at its connection limit", sent in an ErrorReport
// before it closes a connection it cannot serve.
constexpr int32_t kServerFull = 6;

class CardControl : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~CardControl() override = default;

    virtual void SetDecoderOptions(const Variant& a1, const Variant& a2, const Variant& a3,
                                   const Variant& a4) = 0;
    virtual void SetInput(const Variant& input, const Variant& translationMode,
                          const Variant& ifFrequency, const Variant& a4) = 0;
    virtual void SetAls(const Variant& command) = 0;
    virtual void SetMode(const Variant& a1, const Variant& modeName, const Variant& speed,
                         const Variant& shift, const Variant& polarity, const Variant& a6,
                         const Variant& adoptMeasured) = 0;
    virtual void SetCentreShift(const Variant& centre, const Variant& shift) = 0;
    // Blocks until the server has reported every card (CardFound is raised
    // meanwhile). Status 0 = success. The status is 32-bit so that a value a
    // peer sends outside the 16-bit range is never mistaken for another.
    virtual int32_t SearchCards(const Variant& host, const Variant& port) = 0;
    virtual int32_t OpenCard(const Variant& host, const Variant& port, const Variant& card) = 0;
    // The text of the last failure that had this status: the server's text,
    // or the control's own, naming host, port and cause.
    virtual QString GetErrorText(const Variant& status) = 0;
    virtual void CloseCard() = 0;

signals:
    // SessionEnded's reason is non-zero when the server ended the session and
    // 0 when the connection dropped or fell silent (detail: a ControlStatus).
    // ErrorReport also carries failures of operations without a result.
    void CardFound(int16_t cardNumber, const QByteArray& cardRecord);
    void SessionStarted();
    void SessionEnded(int16_t reason, int32_t detail);
    void ErrorReport(int32_t code, const QString& text);
    void StateText(const QString& text);
    void StatusReport(int16_t card, const QString& modeName, double speed, double shift,
                      int16_t polarity, int32_t flags);
    void FrequencyReport(int16_t centreFrequency, int16_t level);
    void DataText(int16_t card, int16_t input, int32_t sequence, int32_t flags, const QString& text);
};

}  // namespace cardctl
