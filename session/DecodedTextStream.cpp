// The text the card decodes: shown in the text area, which starts afresh
// once it holds more than 1024 characters, and handed to the SYNOP decoder.
#include "SessionHandlers.h"

#include "platform/TextBox.h"

namespace session {

namespace {
constexpr int kTextAreaBound = 1024;

QString withCrLfLineEnds(QString chunk)
{
    chunk.remove(QLatin1Char('\r'));
    chunk.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return chunk;
}
}  // namespace

void SessionHandlers::DataText(const QString& chunk)
{
    if (m_state.bModeBusy) return;
    platform::TextBox* area = m_controls.Text;
    const int length = area->textLength();
    if (length > kTextAreaBound) {
        area->setSelStart(0);
        area->setSelLength(length);
    }
    area->setSelText(withCrLfLineEnds(chunk));
    if (m_synop.feed) m_synop.feed(chunk);
}

}  // namespace session
