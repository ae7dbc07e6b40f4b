#include "cardserver/demod/AudioSource.h"
#include "cardserver/demod/BulletinText.h"
#include "cardserver/demod/DemoSource.h"
#include "cardserver/demod/SampleSource.h"
#include "cardserver/demod/WavSource.h"

#include <memory>

namespace rtty {

std::unique_ptr<SampleSource> openSource(const std::string& spec, const SourceOptions& options, std::string& error)
{
    if (spec.rfind("wav:", 0) == 0) {
        auto source = std::make_unique<WavSource>(spec.substr(4), options.loop, options.realTime);
        if (!source->isOpen()) {
            error = source->errorText();
            return nullptr;
        }
        return source;
    }
    if (spec.rfind("audio:", 0) == 0)
        return openAudioSource(spec.substr(6), error);
    if (spec == "demo") {
        DemoOptions demo;
        demo.realTime = options.realTime;
        auto bulletins = std::make_shared<BulletinText>();
        return std::make_unique<DemoSource>(demo, [bulletins] { return bulletins->next(); });
    }
    error = "unknown source '" + spec + "' (expected wav:PATH, audio:DEVICE or demo)";
    return nullptr;
}

}  // namespace rtty
