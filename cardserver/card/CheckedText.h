#pragma once
// The text of an audio input between tuning and the line check's word.
// A line set wrong decodes what looks like traffic, so the text of the first
// seconds after tuning waits for the check (at most kHoldSeconds); a line the
// check finds wrong gives no text at all, and the input says MISTUNED.
// A line the line search has just measured on this input (Auto adopted it)
// is no guess: its text flows at once, and only a check that later finds it
// wrong stops it. Shared by the single and the combined audio input; Check
// is the line check of one receiver or of several.
#include "rtty/linesearch/LineCheck.h"

#include <memory>
#include <string>

namespace cardserver {

template <class Check>
class CheckedText {
public:
    // The text of the first seconds after tuning waits this long at most
    // (the line search looks after 3 s of audio, then every 2 s).
    static constexpr double kHoldSeconds = 6.0;
    // The check listens this long after tuning, and after it only while the
    // decoder hears a signal.
    static constexpr double kCheckAlwaysSeconds = 60.0;

    void tuned(std::unique_ptr<Check> check)
    {
        m_check = std::move(check);
        m_mistuned = false;
        m_measured = false;
        m_sinceTune = 0;
        m_held.clear();
    }
    // The line tuned last was measured on this input.
    void measured() { m_measured = true; }
    // The check that should hear the next audio, if any.
    Check* listening(bool decoderHearsSignal) const
    {
        return m_check && (m_sinceTune < kCheckAlwaysSeconds || decoderHearsSignal) ? m_check.get() : nullptr;
    }
    bool mistuned() const { return m_mistuned; }

    // After `seconds` more audio, takes what the decoder printed and gives
    // what may be shown.
    std::string pass(std::string text, double seconds)
    {
        m_sinceTune += seconds;
        if (m_check && m_check->verdict() == rtty::LineCheck::Verdict::Wrong) {
            m_mistuned = true;
            m_held.clear();
            m_check.reset();
        } else if (m_check && m_check->verdict() == rtty::LineCheck::Verdict::Fits) {
            m_check.reset();
        }
        if (m_mistuned) return {};
        m_held += text;
        if (m_check && !m_measured && m_sinceTune < kHoldSeconds) return {};
        std::string out;
        out.swap(m_held);
        return out;
    }

private:
    std::unique_ptr<Check> m_check;
    bool m_mistuned = false;
    bool m_measured = false;
    double m_sinceTune = 0;
    std::string m_held;
};

}  // namespace cardserver
