#include "CombinedAudioChannel.h"

#include "DemodulatorTerms.h"

#include "rtty/audio/LiveReader.h"
#include "rtty/audio/SampleSource.h"
#include "rtty/diversity/CombinedLineCheck.h"
#include "rtty/diversity/DiversityDecoder.h"
#include "rtty/linesearch/AutoLineSearch.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace cardserver {

struct CombinedAudioChannel::Branch {
    std::unique_ptr<rtty::SampleSource> source;
    std::unique_ptr<rtty::LiveReader> reader;
    std::unique_ptr<rtty::AutoLineSearch> lineSearch;
    std::vector<float> samples;
};

namespace {

// At most this much of a live branch is taken in one go: what a reader holds.
constexpr double kMostSeconds = 4.0;
// Pipes are taken as time goes, never ahead of it; this much late audio
// (a tick that came late) is caught up at once.
constexpr double kPipeCatchUpSeconds = 0.5;


}  // namespace

CombinedAudioChannel::CombinedAudioChannel(std::vector<std::unique_ptr<rtty::SampleSource>> sources,
                                           const QString& description)
    : m_branches(sources.size()), m_description(description)
{
    for (size_t b = 0; b < sources.size(); ++b) {
        m_branches[b].source = std::move(sources[b]);
        if (m_branches[b].source->waitsForInput())
            m_branches[b].reader = std::make_unique<rtty::LiveReader>(*m_branches[b].source);
    }
    tune(LineParameters{}, ReceiverOptions{});
}

CombinedAudioChannel::~CombinedAudioChannel()
{
    for (Branch& branch : m_branches) branch.reader.reset();  // the reader threads first: they use the sources
}

QString CombinedAudioChannel::problemWith(const LineParameters& receiver, const ReceiverOptions& options) const
{
    for (const Branch& branch : m_branches) {
        if (const char* problem = rtty::parameterProblem(demodulatorParameters(receiver, options), branch.source->sampleRate()))
            return QString::fromLatin1(problem);
    }
    return {};
}

void CombinedAudioChannel::tune(const LineParameters& receiver, const ReceiverOptions& options)
{
    if (!problemWith(receiver, options).isEmpty()) return;
    const std::vector<rtty::RttyParameters> lines(m_branches.size(), demodulatorParameters(receiver, options));
    std::vector<double> rates;
    for (const Branch& branch : m_branches) rates.push_back(branch.source->sampleRate());
    if (m_decoder) m_decoder->setParameters(lines);
    else m_decoder = std::make_unique<rtty::DiversityDecoder>(rates, lines);
    m_checkedText.tuned(std::make_unique<rtty::CombinedLineCheck>(rates, lines));
}

size_t CombinedAudioChannel::readBranch(Branch& branch, double seconds, double pipeSeconds)
{
    const double rate = branch.source->sampleRate();
    if (branch.reader) {
        // A live input gives what has come in; pipes, which give as fast as
        // they are read, the same stretch each. After its end, silence.
        const double wanted = branch.source->senderWaits() ? pipeSeconds : kMostSeconds;
        branch.samples.resize(size_t(wanted * rate));
        size_t got = branch.reader->take(branch.samples.data(), branch.samples.size());
        if (got == 0 && branch.reader->drained()) {
            got = size_t(std::lround(seconds * rate));
            branch.samples.assign(got, 0.0f);
        }
        return got;
    }
    // A recording: as much as asked for (it loops).
    const auto wanted = size_t(std::lround(seconds * rate));
    branch.samples.resize(wanted);
    size_t got = 0;
    while (got < wanted) {
        const size_t n = branch.source->read(branch.samples.data() + got, wanted - got);
        if (n == 0) break;
        got += n;
    }
    std::fill(branch.samples.begin() + long(got), branch.samples.end(), 0.0f);
    return wanted;
}

QString CombinedAudioChannel::advance(double seconds)
{
    // Pipes give as fast as they are read: they are taken as real time (or
    // the card's clock, if faster) goes, the same stretch from each, so that
    // none runs ahead of the others or of the air.
    const double allowed = m_pipePace.allowance(seconds);
    double pipeSeconds = allowed;
    for (Branch& branch : m_branches)
        if (branch.reader && branch.source->senderWaits() && !branch.reader->drained())
            pipeSeconds = std::min(pipeSeconds, double(branch.reader->available()) / branch.source->sampleRate());
    m_pipePace.took(pipeSeconds, pipeSeconds < allowed);
    rtty::CombinedLineCheck* const check =
        m_decoder ? m_checkedText.listening(m_decoder->state() != rtty::DecodeState::NoSignal) : nullptr;
    double longest = 0;
    const size_t tapped = m_decoder ? size_t(std::max(0, m_decoder->strongestBranch())) : 0;
    for (size_t b = 0; b < m_branches.size(); ++b) {
        Branch& branch = m_branches[b];
        const size_t got = readBranch(branch, seconds, pipeSeconds);
        if (got == 0) continue;
        if (m_tap && b == tapped) m_tap->samplesDecoded(branch.samples.data(), got, branch.source->sampleRate());
        if (m_decoder) m_decoder->process(int(b), branch.samples.data(), got);
        if (branch.lineSearch) branch.lineSearch->process(branch.samples.data(), got);
        if (check) check->process(int(b), branch.samples.data(), got);
        longest = std::max(longest, double(got) / branch.source->sampleRate());
    }
    std::string text;
    if (m_decoder) m_decoder->decode(text);
    text = m_checkedText.pass(std::move(text), longest);
    return QString::fromLatin1(text.data(), qsizetype(text.size()));
}

void CombinedAudioChannel::startLineSearch()
{
    m_lineSearchFinding.clear();
    for (Branch& branch : m_branches)
        branch.lineSearch = std::make_unique<rtty::AutoLineSearch>(branch.source->sampleRate());
}

std::optional<LineParameters> CombinedAudioChannel::lineSearchResult(bool finish)
{
    if (!m_branches.front().lineSearch) return std::nullopt;
    // The clearest receiver's finding: the one whose search found the line
    // in the most looks (a strong signal is found in every look, a weak or
    // fading one now and then), the first listed among equals; with the
    // decoder framing, its strongest receiver's first.
    std::vector<int> order;
    for (int b = 0; b < int(m_branches.size()); ++b) order.push_back(b);
    const bool framing = m_decoder && m_decoder->state() != rtty::DecodeState::NoSignal
                         && m_decoder->state() != rtty::DecodeState::Searching;
    std::stable_sort(order.begin(), order.end(), [&](int x, int y) {
        const int looksX = m_branches[size_t(x)].lineSearch->measurements();
        const int looksY = m_branches[size_t(y)].lineSearch->measurements();
        if (framing && (looksX > 0) == (looksY > 0))
            return m_decoder->report(x).signalToNoise > m_decoder->report(y).signalToNoise;
        return looksX > looksY;
    });
    std::optional<rtty::AlsResult> found;
    for (int b : order) {
        rtty::AutoLineSearch& search = *m_branches[size_t(b)].lineSearch;
        if (finish) search.finish();
        if (!found && search.result().determined) found = search.result();
    }
    if (finish) {
        m_lineSearchFinding = QString::fromStdString(m_branches[size_t(order.front())].lineSearch->mostLikeALine().reason);
        for (Branch& branch : m_branches) branch.lineSearch.reset();
    }
    if (!found) return std::nullopt;
    return LineParameters{std::round(found->centreHz), std::round(found->shiftHz), found->baud, found->inverted};
}

ChannelState CombinedAudioChannel::state() const
{
    if (!m_decoder) return ChannelState::Search;
    if (m_checkedText.mistuned()) return ChannelState::Mistuned;
    return channelState(m_decoder->state());
}

int CombinedAudioChannel::level() const
{
    // The strongest receiver's.
    return m_decoder ? signalLevel(m_decoder->report(m_decoder->strongestBranch()).signalToNoise) : 0;
}

QString CombinedAudioChannel::describe() const
{
    return QStringLiteral("%1 combined as RTTY audio").arg(m_description);
}

}  // namespace cardserver
