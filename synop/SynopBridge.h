#pragma once
// The main window's only way to the SYNOP component: creating and
// configuring it when a session opens, handing it the decoded text, reading
// its window position back and closing it. Runs on the UI thread; has no
// window or thread of its own.
#include "synopcomponent/api/SynopComponentApi.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

namespace synop {

// Makes one new component instance, or none when it cannot be created.
using ComponentFactory = std::function<std::unique_ptr<ISynopComponent>()>;

// Loads the component's shared library and creates it by class id.
ComponentFactory libraryComponentFactory();

class SynopBridge {
public:
    explicit SynopBridge(ComponentFactory factory = libraryComponentFactory());
    ~SynopBridge();

    SynopBridge(const SynopBridge&) = delete;
    SynopBridge& operator=(const SynopBridge&) = delete;

    // Creates a new instance (releasing the previous one), opens it, warns
    // when it is not available, and otherwise configures it. Positions in twips.
    void Start(const QString& sAppName, int32_t lXSynop, int32_t lYSynop);
    // Reads the window position back and closes the decoder; keeps the instance.
    void Stop(int32_t& lXSynop, int32_t& lYSynop);
    // One chunk of decoded text, exactly as the card delivered it.
    void Feed(const QString& chunk);
    // Shutdown, first step: the window position, while the component runs.
    void ShutdownReadPosition(int32_t& lXSynop, int32_t& lYSynop);
    // Shutdown, after the card session is closed (the caller runs it only
    // when it was connected): close the decoder and release the instance.
    void ShutdownClose();

    bool bSynopOK() const { return bSynopOK_; }
    bool hasInstance() const { return oSynop_ != nullptr; }

    static const QString& unavailableMessage();

private:
    void readPosition(int32_t& lXSynop, int32_t& lYSynop);

    ComponentFactory factory_;
    std::unique_ptr<ISynopComponent> oSynop_;
    bool bSynopOK_ = false;
};

}  // namespace synop
