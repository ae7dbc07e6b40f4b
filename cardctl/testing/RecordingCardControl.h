#pragma once
// The card control's test double: it records every call with its arguments
// exactly as passed (types, by-reference targets and the values at the time
// of the call), returns scripted statuses and error texts, runs scripted
// actions during a call, and lets a test raise any event.
#include "cardctl/CardControl.h"

#include <QHash>
#include <QList>
#include <QStringList>
#include <functional>

namespace cardctl {

struct RecordedCall {
    QString name;
    // As passed: a by-reference argument still points at the caller's variable,
    // which may have changed or gone since; use values for what was passed.
    QList<Variant> args;
    // By-value copies taken during the call, same types.
    QList<Variant> values;

    bool isRef(int index) const { return args.at(index).isRef(); }
    const void* refTarget(int index) const { return args.at(index).refTarget(); }
    // e.g. "SetMode(Str \"\", Str \"\", I2 -1, ref R8 75, I2 -1, Str \"\", Bool false)"
    QString describe() const;
};

class RecordingCardControl : public CardControl {
    Q_OBJECT
public:
    using CardControl::CardControl;

    // Recorded calls, GetErrorText included, oldest first.
    const QList<RecordedCall>& calls() const { return m_calls; }
    RecordedCall lastCall() const;  // an empty call when nothing was recorded
    QList<RecordedCall> callsNamed(const QString& name) const;
    QStringList callNames() const;
    // Every call as RecordedCall::describe() gives it: a whole sequence in
    // one comparison.
    QStringList describedCalls() const;
    void clear() { m_calls.clear(); }

    // Status that SearchCards or OpenCard returns (default 0).
    void setResult(const QString& operation, int32_t status) { m_results[operation] = status; }
    // Text that GetErrorText returns for a status (default: empty).
    void setErrorText(int32_t status, const QString& text) { m_errorTexts[status] = text; }
    // Runs during each call of the operation, after it is recorded and before
    // it returns: a SearchCards action can raise CardFound while it "blocks".
    void onCall(const QString& operation, std::function<void()> action);
    void onCall(const QString& operation, std::function<void(const RecordedCall&)> action);

    // Event helpers; the signals themselves can be emitted directly too.
    void raiseCardFound(int16_t cardNumber, bool available);

    void SetDecoderOptions(const Variant& a1, const Variant& a2, const Variant& a3,
                           const Variant& a4) override;
    void SetInput(const Variant& input, const Variant& translationMode,
                  const Variant& ifFrequency, const Variant& a4) override;
    void SetAls(const Variant& command) override;
    void SetMode(const Variant& a1, const Variant& modeName, const Variant& speed,
                 const Variant& shift, const Variant& polarity, const Variant& a6,
                 const Variant& adoptMeasured) override;
    void SetCentreShift(const Variant& centre, const Variant& shift) override;
    int32_t SearchCards(const Variant& host, const Variant& port) override;
    int32_t OpenCard(const Variant& host, const Variant& port, const Variant& card) override;
    QString GetErrorText(const Variant& status) override;
    void CloseCard() override;

private:
    void record(const QString& name, QList<Variant> args);

    QList<RecordedCall> m_calls;
    QHash<QString, int32_t> m_results;
    QHash<int32_t, QString> m_errorTexts;
    QHash<QString, QList<std::function<void(const RecordedCall&)>>> m_actions;
};

}  // namespace cardctl
