#include "cardserver/demod/AudioSource.h"
#include "cardserver/demod/BulletinText.h"
#include "cardserver/demod/DemoSource.h"
#include "cardserver/demod/SampleSource.h"
#include "cardserver/demod/WavSource.h"

#include <memory>

namespace rtty {

std::unique_ptr<SampleSource> openSource(const std::string& description, const SourceOptions& options, std::string& error)
{
    if (description.rfind("wav:", 0) == 0) {
        auto source = std::make_unique<WavSource>(description.substr(4), options.loop, options.realTime);
        if (!source->isOpen()) {
            error = source->errorText();
            return nullptr;
        }
        return source;
    }
    if (description.rfind("audio:", 0) == 0)
        return openAudioSource(description.substr(6), error);
    if (description == "demo") {
        DemoOptions demo;
        demo.realTime = options.realTime;
        auto bulletins = std::make_shared<BulletinText>();
        return std::make_unique<DemoSource>(demo, [bulletins] { return bulletins->next(); });
    }
    error = "unknown source '" + description + "' (expected wav:PATH, audio:DEVICE or demo)";
    return nullptr;
}

}  // namespace rtty
