#include "ConfigDialog.h"

#include "ConfigForm.h"
#include "NumberText.h"
#include "cardctl/NetworkCardControl.h"
#include "platform/Rounding.h"
#include "platform/Twips.h"

#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

namespace config {

namespace {

// A box keeps a text only when it is the plain writing of a number within
// range; anything else is put back to the caller's value. Setting a text
// raises the box's change again, which is how a restoration is re-checked;
// setting the text already there raises nothing, which ends the chain.
// Returns false for an empty box, which is left alone.
bool checkNumberBox(QLineEdit* box, const QString& restoreText, double minimum, double maximum)
{
    if (box->text().isEmpty()) return false;
    if (standardNumberText(leadingNumber(box->text())).trimmed() != box->text())
        box->setText(restoreText);
    const double value = leadingNumber(box->text());
    if (value < minimum || value > maximum) box->setText(restoreText);
    return true;
}

// An auto-exclusive button cannot be unchecked directly.
void deselect(QRadioButton* button)
{
    button->setAutoExclusive(false);
    button->setChecked(false);
    button->setAutoExclusive(true);
}

}  // namespace

ConfigDialog::CardControlFactory ConfigDialog::networkCardControls()
{
    return [] { return std::make_unique<cardctl::NetworkCardControl>(); };
}

ConfigDialog::ConfigDialog(CardControlFactory cardControlFactory, QObject* parent)
    : QObject(parent), m_cardControlFactory(std::move(cardControlFactory))
{
}

ConfigDialog::~ConfigDialog() { Unload(); }

void ConfigDialog::ShowModal(QWidget* owner)
{
    if (m_form) return;  // one window per dialog object

    auto* form = new ConfigForm(owner);
    m_form = form;
    m_cardControl = m_cardControlFactory ? m_cardControlFactory() : nullptr;
    connectCardControl();
    connectControls();
    QPointer<QWidget> ownerGuard(owner);
    connect(form, &ConfigForm::activated, this, [this, ownerGuard] { activate(ownerGuard); });

    // A window moved before it exists is placed by its frame's corner: the
    // window manager is asked to put the frame there (activation's place).
    form->move(outerCornerFor(owner));
    form->exec();

    m_cardControl.reset();
    delete form;
}

ConfigForm* ConfigDialog::form() const { return m_form; }

void ConfigDialog::Unload()
{
    // Like the window system's close command: nothing is committed.
    if (m_form) m_form->reject();
}

void ConfigDialog::connectControls()
{
    ConfigForm* form = m_form;
    for (int i = 0; i < int(form->vCardTyp.size()); ++i)
        connect(form->vCardTyp[i], &QRadioButton::clicked, this, [this, i] { onCardTypeClicked(i); });
    for (int i = 0; i < int(form->vCardNum.size()); ++i)
        connect(form->vCardNum[i], &QRadioButton::clicked, this, [this, i] { onCardNumberClicked(i); });
    for (int i = 0; i < int(form->vIFInp.size()); ++i)
        connect(form->vIFInp[i], &QRadioButton::clicked, this, [this, i] { onIFInputClicked(i); });
    connect(form->vHostSvc, &QLineEdit::textChanged, this, &ConfigDialog::onHostPortChanged);
    connect(form->vIFFrq, &QLineEdit::textChanged, this, &ConfigDialog::onFrequencyChanged);
    connect(form->okButton, &QPushButton::clicked, this, &ConfigDialog::onOk);
    connect(form->cancelButton, &QPushButton::clicked, this, &ConfigDialog::onCancel);
    connect(form->searchButton, &QPushButton::clicked, this, &ConfigDialog::onSearch);
}

QPoint ConfigDialog::outerCornerFor(const QWidget* owner)
{
    QPoint ownerCorner;
    if (owner)
        ownerCorner = owner->frameGeometry().topLeft();
    else if (const QScreen* screen = QGuiApplication::primaryScreen())
        ownerCorner = screen->availableGeometry().topLeft();
    const double ownerLeftTwips = platform::pixelsToTwips(ownerCorner.x());
    const double ownerTopTwips = platform::pixelsToTwips(ownerCorner.y());
    return QPoint(platform::twipsToPixels(ownerLeftTwips + kOffsetLeftTwips),
                  platform::twipsToPixels(ownerTopTwips + kOffsetTopTwips));
}

void ConfigDialog::activate(QWidget* owner)
{
    ConfigForm* form = m_form;
    // Placed before it was shown already (ShowModal); a window that is
    // shown can only be put right once it is framed.
    const QPoint outerCorner = outerCornerFor(owner);
    if (form->frameGeometry().topLeft() != outerCorner) form->placeOuterCornerAt(outerCorner);

    resetCards();
    fillControls();
    // Filling raised clicks and changes that enable OK; the window always
    // opens with OK disabled.
    form->okButton->setEnabled(false);
    // Without a card control there is nothing to search with.
    form->searchButton->setEnabled(m_cardControl != nullptr);
    emit activated(form);
}

void ConfigDialog::resetCards()
{
    for (QRadioButton* button : m_form->vCardNum) {
        button->setEnabled(false);
        deselect(button);
    }
}

void ConfigDialog::fillControls()
{
    ConfigForm* form = m_form;
    if (m_hostNam.isEmpty()) m_hostNam = kDefaultHostName;
    form->vHostNam->setText(m_hostNam);

    if (m_hostSvc.isEmpty()) m_hostSvc = QString::number(kDefaultHostPort);
    form->vHostSvc->setText(m_hostSvc);

    // There is one card type; a stored index without a button of its own
    // falls back to it, as a negative one does.
    const bool cardTypeHasButton = m_cardTyp >= 0 && m_cardTyp < int(form->vCardTyp.size());
    selectCardType(cardTypeHasButton ? m_cardTyp : 0);

    // A card number without a button (above 8) selects nothing, like 0.
    if (m_cardNum >= 1 && m_cardNum <= int(form->vCardNum.size())) {
        selectCardNumber(m_cardNum - 1);
        form->vCardNum[m_cardNum - 1]->setEnabled(true);
    }

    if (m_ifInput >= 1 && m_ifInput <= int(form->vIFInp.size())) selectIFInput(m_ifInput - 1);

    if (m_ifTFreq >= 0 && m_ifTFreq <= kMaxFrequencyTranslation)
        form->vIFFrq->setText(QString::number(m_ifTFreq));
}

void ConfigDialog::selectCardType(int index)
{
    m_form->vCardTyp[index]->setChecked(true);
    onCardTypeClicked(index);
}

void ConfigDialog::selectCardNumber(int index)
{
    m_form->vCardNum[index]->setChecked(true);
    onCardNumberClicked(index);
}

void ConfigDialog::selectIFInput(int index)
{
    m_form->vIFInp[index]->setChecked(true);
    onIFInputClicked(index);
}

void ConfigDialog::onCardTypeClicked(int index)
{
    m_selCardTyp = int16_t(index);
    m_form->okButton->setEnabled(true);
}

void ConfigDialog::onCardNumberClicked(int index)
{
    m_selCardNum = int16_t(index + 1);
    m_form->okButton->setEnabled(true);
}

void ConfigDialog::onIFInputClicked(int index) { m_selIFInp = int16_t(index + 1); }

void ConfigDialog::onHostPortChanged()
{
    if (checkNumberBox(m_form->vHostSvc, m_hostSvc, 1, 65535)) m_form->okButton->setEnabled(true);
}

void ConfigDialog::onFrequencyChanged()
{
    // The frequency never enables OK.
    checkNumberBox(m_form->vIFFrq, QString::number(m_ifTFreq), 0, kMaxFrequencyTranslation);
}

void ConfigDialog::onOk()
{
    ConfigForm* form = m_form;
    m_hostNam = form->vHostNam->text();
    m_hostSvc = form->vHostSvc->text();
    m_cardTyp = m_selCardTyp;
    m_cardNum = m_selCardNum;
    m_ifInput = m_selIFInp;
    // The box holds at most 8 characters that passed the range check (or the
    // caller's own value), so the conversion cannot overflow; keep the old
    // value should it ever do so.
    m_ifTFreq = platform::toInt32(leadingNumber(form->vIFFrq->text())).value_or(m_ifTFreq);
    form->accept();
}

void ConfigDialog::onCancel()
{
    m_cardNum = -1;
    m_form->reject();
}

}  // namespace config
