// The card search: asks the server, through the dialog's own card control,
// which cards it has, and makes the buttons of the reported cards
// selectable. It commits nothing; the user still picks a card and presses OK.
#include "ConfigDialog.h"

#include "ConfigForm.h"
#include "NumberText.h"
#include "platform/MessageBox.h"
#include "platform/MousePointer.h"
#include "platform/PumpedWait.h"
#include "platform/Rounding.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtEndian>

namespace config {

namespace {

// The notice contains this word until an event or an error replaces it.
const QString kNoticeMarker = QStringLiteral("Search");
const QString kErrorPrefix = QStringLiteral("Error: ");
const QString kApplicationTitle = QStringLiteral("Pluvane");
// Lets the user read a replaced notice before it is cleared.
constexpr int kNoticePauseMs = 1000;

// Card record: 16-bit little-endian availability flag at byte 22; a record
// too short to hold it counts as not available.
constexpr qsizetype kAvailabilityOffset = 22;

bool isAvailable(const QByteArray& cardRecord)
{
    if (cardRecord.size() < kAvailabilityOffset + 2) return false;
    return qFromLittleEndian<int16_t>(cardRecord.constData() + kAvailabilityOffset) != 0;
}

}  // namespace

void ConfigDialog::connectCardControl()
{
    cardctl::CardControl* control = m_cardControl.get();
    if (!control) return;
    connect(control, &cardctl::CardControl::CardFound, this, &ConfigDialog::onCardFound);
    connect(control, &cardctl::CardControl::ErrorReport, this,
            [this](int32_t, const QString& text) { onErrorReport(text); });
    connect(control, &cardctl::CardControl::SessionEnded, this, [this] { onSessionEnded(); });
}

void ConfigDialog::onSearch()
{
    if (!m_form || !m_cardControl || m_searching) return;
    QPointer<ConfigForm> form = m_form;
    m_searching = true;
    form->setClosingBlocked(true);

    form->notify->setText(kSearchNotice);
    platform::setMousePointer(platform::MousePointer::Hourglass);
    resetCards();
    form->okButton->setEnabled(false);
    form->cancelButton->setEnabled(false);
    form->searchButton->setEnabled(false);
    // The call below blocks the thread; paint now so that the notice and the
    // disabled buttons are on screen while it runs.
    form->repaint();

    // The boxes as typed, not the committed properties. The events below run
    // nested inside this call.
    const int32_t status = m_cardControl->SearchCards(
        platform::Variant::str(form->vHostNam->text()),
        platform::Variant::r8(leadingNumber(form->vHostSvc->text())));

    if (status != 0) {
        // The status travels as a 16-bit integer; one outside that range is
        // shown as it came instead of being cut to another number.
        QString errorText;
        if (const auto narrow = platform::toInt16(int64_t(status))) {
            int16_t iStatus = *narrow;
            errorText = m_cardControl->GetErrorText(platform::Variant::ref(&iStatus));
        } else {
            int32_t wideStatus = status;
            errorText = m_cardControl->GetErrorText(platform::Variant::ref(&wideStatus));
        }
        form->notify->setText(errorText);
        platform::showMessage(QString::number(status) + QStringLiteral(" - ") + form->notify->text(),
                              kApplicationTitle, form);
    }

    if (!form->notify->text().contains(kNoticeMarker)) platform::sleepMs(kNoticePauseMs);

    form->notify->clear();
    form->cancelButton->setEnabled(true);
    form->searchButton->setEnabled(true);
    platform::setMousePointer(platform::MousePointer::Default);
    form->setClosingBlocked(false);
    m_searching = false;
}

void ConfigDialog::onCardFound(int16_t cardNumber, const QByteArray& cardRecord)
{
    // A number without a button (outside 1..8) enables nothing.
    if (!m_form || cardNumber < 1 || cardNumber > int16_t(m_form->vCardNum.size())) return;
    if (!isAvailable(cardRecord)) return;
    selectCardNumber(cardNumber - 1);
    m_form->vCardNum[cardNumber - 1]->setEnabled(true);
}

void ConfigDialog::onErrorReport(const QString& text)
{
    if (m_form) m_form->notify->setText(kErrorPrefix + text);
}

void ConfigDialog::onSessionEnded()
{
    if (m_form) m_form->notify->clear();
}

}  // namespace config
