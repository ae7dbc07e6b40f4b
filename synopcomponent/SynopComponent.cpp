#include "SynopComponent.h"

#include "platform/Twips.h"
#include "synopdecoder/StationCatalog.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <cstring>

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
    if (!window_) {
        window_ = new SynopWindow;
        connect(window_, &SynopWindow::closedByUser, this, [this] { closedByUser_ = true; });
    }
    window_->setWindowTitle(applicationName_.isEmpty() ? tr("SYNOP reports") : applicationName_ + tr(" - SYNOP reports"));
    window_->setListNil(listNil_);
    closedByUser_ = false;
    openLog();
    open_ = true;
    *available = 1;
    return kStatusOk;
}

void SynopComponent::openLog()
{
    // Each Start opens the log afresh: the list shows what earlier sessions,
    // other front ends and imports stored.
    log_ = std::make_shared<ReportLog>();
    // Damage met while in use: said once on stderr and in the window, whose
    // list is read afresh from the new log once the read that met it is over.
    log_->onDamagedFileSetAside([this](const QString& message) {
        qWarning("%s", qPrintable(message));
        QMetaObject::invokeMethod(
            this,
            [this, message] {
                if (!window_) return;
                window_->setLogProblem(message);
                if (recorder_) window_->reportsStored(true, recorder_->keptReports(), recorder_->lostReports());
            },
            Qt::QueuedConnection);
    });
    recorder_ = std::make_unique<ReportRecorder>(log_);
    window_->setLog(log_);
    QString problem = log_->openingNotice();
    if (!problem.isEmpty()) qWarning("%s", qPrintable(problem));
    if (!log_->isWritable())
        problem = tr("Station log: %1; new reports are kept in memory only").arg(log_->lastError());
    window_->setLogProblem(problem);
}

int32_t SynopComponent::CloseDecoder(int32_t reserved)
{
    if (reserved != 0) return kStatusInvalidArgument;
    if (open_) processPending();
    if (assembler_) {
        receivingAt_ = QDateTime::currentDateTimeUtc();
        assembler_->finish();
        if (recorder_ && window_) {
            const auto outcome = recorder_->flush();
            window_->reportsStored(outcome.rowsReplaced, recorder_->keptReports(), recorder_->lostReports());
        }
    }
    open_ = false;
    if (window_) window_->hide();
    return kStatusOk;
}

int32_t SynopComponent::FeedText(const char* text)
{
    if (!text) return kStatusInvalidArgument;
    if (!open_) return kStatusFail;
    // Decoding waits for the event loop, so the host's text handler returns at once.
    const size_t length = std::strlen(text);
    if (length == 0) return kStatusOk;
    pending_.push_back({std::string(text, length), QDateTime::currentDateTimeUtc()});
    pendingBytes_ += length;
    if (pendingBytes_ > kMaxPendingBytes) processPending();
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
    std::vector<Chunk> chunks;
    chunks.swap(pending_);
    pendingBytes_ = 0;
    const QString source = applicationName_.isEmpty() ? QStringLiteral("SYNOP component") : applicationName_;
    for (Chunk& chunk : chunks) {
        receivingAt_ = chunk.receivedUtc;
        assembler_->feed(chunk.text);
        if (recorder_) recorder_->addText(std::move(chunk.text), chunk.receivedUtc, source);
    }
    // One transaction for the whole turn's text and reports.
    if (!recorder_ || !window_) return;
    const ReportRecorder::Outcome outcome = recorder_->flush();
    if (!outcome.problem.isEmpty())
        window_->setLogProblem(tr("Station log: %1; new reports are kept in memory").arg(outcome.problem));
    else if (outcome.recovered && outcome.lostWhileFailing > 0)
        window_->setLogProblem(tr("Station log writable again; the reports kept in memory are stored, %1 older ones "
                                  "were lost meanwhile")
                                   .arg(outcome.lostWhileFailing));
    else if (outcome.recovered)
        window_->setLogProblem(tr("Station log writable again; the reports kept in memory are stored"));
    window_->reportsStored(outcome.rowsReplaced, recorder_->keptReports(), recorder_->lostReports());
}

void SynopComponent::takeReport(AssembledReport&& report)
{
    DecodedReport decoded = decodeReport(report, decoderOptions_);
    const bool listed = !decoded.nil || listNil_;
    if (recorder_) recorder_->addReport(report, std::move(decoded), receivingAt_, decoderOptions_.plausibilityChecks);
    if (listed && showWindow_ && !closedByUser_) showWindow();
}

void SynopComponent::showWindow()
{
    if (!window_ || window_->isVisible()) return;
    placeWindow();
    window_->show();
}

void SynopComponent::placeWindow()
{
    if (!window_ || !placed_) return;
    QPoint place(platform::twipsToPixels(leftTwips_), platform::twipsToPixels(topTwips_));
    // A position saved on a screen that is gone comes back onto the nearest one.
    QScreen* screen = QGuiApplication::screenAt(place);
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) {
        window_->move(place);
        return;
    }
    const QRect room = screen->availableGeometry();
    // The frame the window manager adds: known once shown, else a title bar's worth.
    const QRect frame = window_->frameGeometry(), inner = window_->geometry();
    const QSize decoration = window_->isVisible() && frame != inner ? frame.size() - inner.size() : QSize(8, 32);
    // Below the main window the list shrinks to the room left. On a short
    // screen it gives up rows, down to a few, before the window moves up over
    // the main window it was placed under.
    const int roomBelow = room.bottom() + 1 - place.y() - decoration.height();
    int leastHeight = window_->setRowsShownAtLeast(SynopWindow::kRowsShownAtLeast);
    for (int rows = SynopWindow::kRowsShownAtLeast - 1; leastHeight > roomBelow && rows >= SynopWindow::kRowsShownOnAShortScreen; --rows)
        leastHeight = window_->setRowsShownAtLeast(rows);
    // Moving up cannot be helped then, and the list keeps all its rows.
    if (leastHeight > roomBelow) leastHeight = window_->setRowsShownAtLeast(SynopWindow::kRowsShownAtLeast);
    const QSize least = window_->minimumSizeHint().expandedTo(window_->minimumSize()).expandedTo(QSize(0, leastHeight));
    QSize size = window_->size();
    size.setWidth(std::clamp(room.right() + 1 - place.x() - decoration.width(), least.width(), size.width()));
    size.setHeight(std::clamp(roomBelow, least.height(), std::max(least.height(), size.height())));
    size = size.boundedTo(room.size() - decoration);
    place.setX(std::clamp(place.x(), room.left(), std::max(room.left(), room.right() + 1 - size.width() - decoration.width())));
    place.setY(std::clamp(place.y(), room.top(), std::max(room.top(), room.bottom() + 1 - size.height() - decoration.height())));
    window_->resize(size);
    window_->move(place);
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
            showWindow();
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
    if (window_) window_->setListNil(value);
    return kStatusOk;
}

void SynopComponent::applyOptions()
{
    if (assembler_) assembler_->setOptions(assemblerOptions_);
}

}  // namespace synop
