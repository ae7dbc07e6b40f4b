#include "synop/SynopBridge.h"

#include "platform/AnsiCodePage.h"
#include "platform/MessageBox.h"
#include "platform/Rounding.h"
#include "synopdecoder/ComponentFactory.h"

#include <QDebug>

namespace synop {
namespace {

// A position read back is kept only when the call worked and the value fits
// in the 16-bit variable; otherwise the variable keeps what it had.
void takePosition(int32_t status, int32_t twips, int16_t& variable)
{
    if (status != kStatusOk) return;
    if (const auto value = platform::toInt16(static_cast<int64_t>(twips))) variable = *value;
}

}  // namespace

ComponentFactory libraryComponentFactory()
{
    return [] {
        ComponentCreation created = createComponent(QLatin1String(kSynopComponentClassId));
        if (!created.instance) qInfo().noquote() << "SYNOP component not created:" << created.failure;
        return std::move(created.instance);
    };
}

SynopBridge::SynopBridge(ComponentFactory factory) : factory_(std::move(factory)) {}

SynopBridge::~SynopBridge() = default;

const QString& SynopBridge::unavailableMessage()
{
    static const QString text =
        QStringLiteral("Cirrulet Control (Cirrulet.dll) not found\r\nSynop decoder will not be available");
    return text;
}

void SynopBridge::Start(const QString& sAppName, int16_t iXSynop, int16_t iYSynop)
{
    // The new instance exists before the old one goes, as with an object
    // variable that is assigned a new object.
    std::unique_ptr<ISynopComponent> created = factory_ ? factory_() : nullptr;
    oSynop_ = std::move(created);
    bSynopOK_ = false;

    int32_t available = 0;
    if (oSynop_ && oSynop_->OpenDecoder(0, &available) == kStatusOk) bSynopOK_ = available != 0;
    if (!bSynopOK_) platform::showMessage(unavailableMessage(), sAppName);
    if (!bSynopOK_) return;

    // Each configuration call's failure is ignored on its own.
    oSynop_->putApplicationName(sAppName.toUtf8().constData());
    oSynop_->putWindowTop(static_cast<int32_t>(iYSynop));
    oSynop_->putWindowLeft(static_cast<int32_t>(iXSynop));
    oSynop_->putOption1(true);
    oSynop_->putOption2(true);
    oSynop_->putOption3(true);
    oSynop_->putOption4(true);
    oSynop_->putOption5(true);
}

void SynopBridge::Stop(int16_t& iXSynop, int16_t& iYSynop)
{
    if (!bSynopOK_) return;
    readPosition(iXSynop, iYSynop);
    oSynop_->CloseDecoder(0);
    bSynopOK_ = false;
}

void SynopBridge::Feed(const QString& chunk)
{
    if (!bSynopOK_) return;
    // A chunk the component refuses is lost to it alone; the stream goes on.
    const QByteArray text = platform::toAnsi(chunk);
    oSynop_->FeedText(text.constData());
}

void SynopBridge::ShutdownReadPosition(int16_t& iXSynop, int16_t& iYSynop)
{
    if (bSynopOK_) readPosition(iXSynop, iYSynop);
}

void SynopBridge::ShutdownClose()
{
    if (!oSynop_) return;
    oSynop_->CloseDecoder(0);
    oSynop_.reset();
    bSynopOK_ = false;
}

void SynopBridge::readPosition(int16_t& iXSynop, int16_t& iYSynop)
{
    int32_t left = 0;
    const int32_t leftStatus = oSynop_->getWindowLeft(&left);
    takePosition(leftStatus, left, iXSynop);
    int32_t top = 0;
    const int32_t topStatus = oSynop_->getWindowTop(&top);
    takePosition(topStatus, top, iYSynop);
}

}  // namespace synop
