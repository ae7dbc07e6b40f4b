#include "SynopComponent.h"

#include "platform/Twips.h"
#include "synopdecoder/StationCatalog.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

namespace synop {

SynopComponent::SynopComponent() = default;

SynopComponent::~SynopComponent() { delete window_.data(); }

int32_t SynopComponent::OpenDecoder(int32_t reserved, int32_t* available)
{
    if (!available) return kStatusInvalidArgument;
    *available = 0;
    if (reserved != 0) return kStatusInvalidArgument;
    // The window needs a widget application; the decoder needs its tables.
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()) || StationCatalog::builtIn().size() == 0) return kStatusOk;
    assembler_ = std::make_unique<StreamAssembler>([this](AssembledReport&& r) { takeReport(std::move(r)); },
                                                   assemblerOptions_);
    if (!window_) window_ = new SynopWindow;
    window_->setWindowTitle(applicationName_.isEmpty() ? tr("SYNOP reports") : applicationName_ + tr(" - SYNOP reports"));
    open_ = true;
    *available = 1;
    return kStatusOk;
}

int32_t SynopComponent::CloseDecoder(int32_t reserved)
{
    if (reserved != 0) return kStatusInvalidArgument;
    if (open_) processPending();
    if (assembler_) assembler_->finish();
    open_ = false;
    if (window_) window_->hide();
    return kStatusOk;
}

int32_t SynopComponent::FeedText(const char* text)
{
    if (!text) return kStatusInvalidArgument;
    if (!open_) return kStatusFail;
    // Decoding waits for the event loop, so the host's text handler returns at once.
    pending_ += text;
    if (pending_.size() > kMaxPendingBytes) processPending();
    if (!processingQueued_) {
        processingQueued_ = true;
        QTimer::singleShot(0, this, [this] { processPending(); });
    }
    return kStatusOk;
}

void SynopComponent::processPending()
{
    processingQueued_ = false;
    if (!assembler_ || pending_.empty()) return;
    std::string text;
    text.swap(pending_);
    assembler_->feed(text);
}

void SynopComponent::takeReport(AssembledReport&& report)
{
    DecodedReport decoded = decodeReport(report, decoderOptions_);
    if (decoded.nil && !listNil_) return;
    if (!window_) return;
    window_->addReport(std::move(decoded));
    if (showWindow_ && !window_->isVisible()) {
        placeWindow();
        window_->show();
    }
}

void SynopComponent::placeWindow()
{
    if (!window_ || !placed_) return;
    const QPoint place(platform::twipsToPixels(leftTwips_), platform::twipsToPixels(topTwips_));
    window_->move(place);
    // Placed below the main window, the list should not run off the screen:
    // shrink it (never below a usable size) to the room left from its place.
    if (QScreen* screen = QGuiApplication::screenAt(place)) {
        const QRect room = screen->availableGeometry();
        const QSize fits(std::max(480, room.right() - place.x() - 16), std::max(240, room.bottom() - place.y() - 40));
        window_->resize(window_->size().boundedTo(fits));
    }
}

QPoint SynopComponent::positionTwips() const
{
    // Twips that fall between pixels are answered as given until the window
    // moves; the window keeps its place while hidden, so a user who closed
    // it is still answered with where they left it.
    const QPoint given(leftTwips_, topTwips_);
    if (!window_) return given;
    const QPoint pixels = window_->pos();
    if (placed_ && pixels == QPoint(platform::twipsToPixels(leftTwips_), platform::twipsToPixels(topTwips_))) return given;
    return pixels * platform::kTwipsPerPixel;
}

int32_t SynopComponent::getWindowTop(int32_t* twips)
{
    if (!twips) return kStatusInvalidArgument;
    *twips = positionTwips().y();
    return kStatusOk;
}

int32_t SynopComponent::getWindowLeft(int32_t* twips)
{
    if (!twips) return kStatusInvalidArgument;
    *twips = positionTwips().x();
    return kStatusOk;
}

int32_t SynopComponent::putWindowTop(int32_t twips)
{
    topTwips_ = twips;
    placed_ = true;
    placeWindow();
    return kStatusOk;
}

int32_t SynopComponent::putWindowLeft(int32_t twips)
{
    leftTwips_ = twips;
    placed_ = true;
    placeWindow();
    return kStatusOk;
}

int32_t SynopComponent::putApplicationName(const char* name)
{
    if (!name) return kStatusInvalidArgument;
    applicationName_ = QString::fromUtf8(name);
    if (window_) window_->setWindowTitle(applicationName_ + tr(" - SYNOP reports"));
    return kStatusOk;
}

int32_t SynopComponent::putOption1(bool value)
{
    showWindow_ = value;
    if (window_ && open_) {
        if (value) {
            placeWindow();
            window_->show();
        } else {
            window_->hide();
        }
    }
    return kStatusOk;
}

int32_t SynopComponent::putOption2(bool value)
{
    assemblerOptions_.dropDuplicates = value;
    applyOptions();
    return kStatusOk;
}

int32_t SynopComponent::putOption3(bool value)
{
    decoderOptions_.plausibilityChecks = value;
    return kStatusOk;
}

int32_t SynopComponent::putOption4(bool value)
{
    assemblerOptions_.correctShiftErrors = value;
    applyOptions();
    return kStatusOk;
}

int32_t SynopComponent::putOption5(bool value)
{
    listNil_ = value;
    return kStatusOk;
}

void SynopComponent::applyOptions()
{
    if (assembler_) assembler_->setOptions(assemblerOptions_);
}

}  // namespace synop
