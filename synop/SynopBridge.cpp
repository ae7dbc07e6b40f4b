#include "synop/SynopBridge.h"

#include "platform/AnsiCodePage.h"
#include "platform/MessageBox.h"
#include "platform/Rounding.h"
#include "synopcomponent/api/ComponentFactory.h"

#include <QDebug>

namespace synop {
namespace {

// A position read back is kept only when the call worked; otherwise the
// variable keeps what it had. The variables are as wide as the component's
// positions, so that a window on a wide or second screen keeps its place.
void takePosition(int32_t status, int32_t twips, int32_t& variable)
{
    if (status == kStatusOk) variable = twips;
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

void SynopBridge::Start(const QString& sAppName, int32_t lXSynop, int32_t lYSynop)
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
    oSynop_->putWindowTop(lYSynop);
    oSynop_->putWindowLeft(lXSynop);
    oSynop_->putOption1(true);
    oSynop_->putOption2(true);
    oSynop_->putOption3(true);
    oSynop_->putOption4(true);
    oSynop_->putOption5(true);
}

void SynopBridge::Stop(int32_t& lXSynop, int32_t& lYSynop)
{
    if (!bSynopOK_) return;
    readPosition(lXSynop, lYSynop);
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

void SynopBridge::ShutdownReadPosition(int32_t& lXSynop, int32_t& lYSynop)
{
    if (bSynopOK_) readPosition(lXSynop, lYSynop);
}

void SynopBridge::ShutdownClose()
{
    if (!oSynop_) return;
    oSynop_->CloseDecoder(0);
    oSynop_.reset();
    bSynopOK_ = false;
}

void SynopBridge::readPosition(int32_t& lXSynop, int32_t& lYSynop)
{
    int32_t left = 0;
    const int32_t leftStatus = oSynop_->getWindowLeft(&left);
    takePosition(leftStatus, left, lXSynop);
    int32_t top = 0;
    const int32_t topStatus = oSynop_->getWindowTop(&top);
    takePosition(topStatus, top, lYSynop);
}

}  // namespace synop
