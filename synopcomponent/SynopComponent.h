#pragma once
// The SYNOP component behind its host interface: a stream assembler and
// decoder fed with the host's teletype text, and the report window.
#include "ReportRecorder.h"
#include "SynopWindow.h"
#include "synopdecoder/StreamAssembler.h"
#include "synopcomponent/api/SynopComponentApi.h"
#include "synopdecoder/SynopDecoder.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <memory>
#include <string>

namespace synop {

class SynopComponent : public QObject, public ISynopComponent {
    Q_OBJECT
public:
    SynopComponent();
    ~SynopComponent() override;

    int32_t OpenDecoder(int32_t reserved, int32_t* available) override;
    int32_t CloseDecoder(int32_t reserved) override;
    int32_t putOption5(bool value) override;
    int32_t getWindowTop(int32_t* twips) override;
    int32_t putWindowTop(int32_t twips) override;
    int32_t getWindowLeft(int32_t* twips) override;
    int32_t putWindowLeft(int32_t twips) override;
    int32_t FeedText(const char* text) override;
    int32_t putOption2(bool value) override;
    int32_t putOption3(bool value) override;
    int32_t putOption4(bool value) override;
    int32_t putApplicationName(const char* name) override;
    int32_t putOption1(bool value) override;

    SynopWindow* window() const { return window_; }
    ReportLog* log() const { return log_.get(); }
    // Decodes what FeedText has queued; runs by itself from the event loop.
    void processPending();

    static constexpr size_t kMaxPendingBytes = 1 << 20;

private:
    void takeReport(AssembledReport&& report);
    void openLog();
    void showWindow();
    void placeWindow();
    QPoint positionTwips() const;
    void applyOptions();

    QPointer<SynopWindow> window_;
    std::unique_ptr<StreamAssembler> assembler_;
    DecoderOptions decoderOptions_;
    AssemblerOptions assemblerOptions_;
    bool open_ = false;
    bool showWindow_ = true;  // Option1
    bool listNil_ = true;     // Option5
    int32_t leftTwips_ = 0;
    int32_t topTwips_ = 0;
    bool placed_ = false;
    struct Chunk {
        std::string text;
        QDateTime receivedUtc;
    };
    std::vector<Chunk> pending_;
    size_t pendingBytes_ = 0;
    QDateTime receivingAt_;  // reception time of the chunk being decoded
    std::shared_ptr<ReportLog> log_;
    std::unique_ptr<ReportRecorder> recorder_;
    bool closedByUser_ = false;  // stays closed until the next Start
    bool processingQueued_ = false;
    QString applicationName_;
};

}  // namespace synop
