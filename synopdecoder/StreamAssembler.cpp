#include "synopdecoder/StreamAssembler.h"

#include "synopdecoder/AssemblerTokens.h"
#include "synopdecoder/GroupText.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace synop {

using namespace detail;

const char* reportFormCode(ReportForm form)
{
    switch (form) {
    case ReportForm::Land: return "AAXX";
    case ReportForm::Ship: return "BBXX";
    case ReportForm::Buoy: return "ZZYY";
    }
    return "";
}

StreamAssembler::StreamAssembler(ReportSink sink, AssemblerOptions options)
    : sink_(std::move(sink)), options_(options)
{
}

namespace {

bool isFigures(std::string_view t)
{
    for (char c : t)
        if (!((c >= '0' && c <= '9') || c == '/')) return false;
    return true;
}

enum class CharKind : unsigned char { AsIs, LineEnd, Frame, Control, Lower };

// What each byte does to the line being collected.
const std::array<CharKind, 256> kCharKinds = [] {
    std::array<CharKind, 256> kinds{};
    for (int c = 0; c < 0x20; ++c) kinds[c] = CharKind::Control;  // printed as a space
    kinds[0x7f] = CharKind::Control;
    kinds['\r'] = kinds['\n'] = CharKind::LineEnd;
    kinds[0x01] = kinds[0x03] = kinds[0x04] = CharKind::Frame;  // SOH, ETX, EOT frame a message
    for (int c = 'a'; c <= 'z'; ++c) kinds[c] = CharKind::Lower;
    return kinds;
}();

// How many of the first n bytes are taken as they are, sixteen at a time
// where the machine allows.
size_t asIsRun(const char* p, size_t n)
{
    size_t at = 0;
#if defined(__SSE2__)
    const __m128i lastControl = _mm_set1_epi8(0x1f), del = _mm_set1_epi8(0x7f);
    const __m128i lowerA = _mm_set1_epi8('a'), lettersAfterA = _mm_set1_epi8('z' - 'a');
    for (; at + 16 <= n; at += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + at));
        const __m128i control = _mm_cmpeq_epi8(_mm_min_epu8(bytes, lastControl), bytes);  // 0x00..0x1f
        const __m128i fromA = _mm_sub_epi8(bytes, lowerA);
        const __m128i lower = _mm_cmpeq_epi8(_mm_min_epu8(fromA, lettersAfterA), fromA);  // 'a'..'z'
        const __m128i other = _mm_or_si128(_mm_or_si128(control, lower), _mm_cmpeq_epi8(bytes, del));
        const auto mask = static_cast<unsigned>(_mm_movemask_epi8(other));
        if (mask) return at + static_cast<size_t>(std::countr_zero(mask));
    }
#endif
    while (at < n && kCharKinds[static_cast<unsigned char>(p[at])] == CharKind::AsIs) ++at;
    return at;
}

}  // namespace

void StreamAssembler::feed(std::string_view text)
{
    size_t i = 0;
    while (i < text.size()) {
        // Most of the text is taken as it is, a run at a time.
        const size_t limit = std::min(text.size(), i + (kMaxLineLength - line_.size()));
        const size_t run = i + asIsRun(text.data() + i, limit - i);
        // A whole line that came as it is, most lines, is taken where it
        // lies: nothing keeps a view into a line after takeLine.
        if (line_.empty() && run < limit && kCharKinds[static_cast<unsigned char>(text[run])] == CharKind::LineEnd) {
            takeLine(text.substr(i, run - i));
            i = run + 1;
            continue;
        }
        line_.append(text.data() + i, run - i);
        i = run;
        if (i < text.size() && line_.size() < kMaxLineLength) {
            const auto c = static_cast<unsigned char>(text[i++]);
            switch (kCharKinds[c]) {
            case CharKind::LineEnd:
                takeLine(line_);
                line_.clear();
                continue;
            case CharKind::Frame:
                takeLine(line_);
                line_.clear();
                endBulletin();
                continue;
            case CharKind::Control: line_.push_back(' '); break;
            case CharKind::Lower: line_.push_back(static_cast<char>(c - 'a' + 'A')); break;
            case CharKind::AsIs: break;
            }
        }
        if (line_.size() >= kMaxLineLength) {
            takeLine(line_);
            line_.clear();
        }
    }
}

void StreamAssembler::finish()
{
    takeLine(line_);
    line_.clear();
    closeReport(false);
}

void StreamAssembler::takeLine(std::string_view line)
{
    tokenize(line, tokens_);
    if (tokens_.empty()) return;
    ++lineNumber_;
    if (takeHeading(tokens_)) return;
    takeTokens(tokens_);
}

bool StreamAssembler::takeHeading(const Tokens& tokens)
{
    if (tokens[0] == "ZCZC") {
        endBulletin();
        return true;
    }
    if (!isHeadingLine(tokens)) return false;
    endBulletin();
    heading_ = BulletinHeading{std::string(tokens[0]), std::string(tokens[1]), std::string(tokens[2]),
                               tokens.size() == 4 ? std::string(tokens[3]) : std::string()};
    // Upper-air, climate, aerodrome and text bulletins: their lines are
    // passed over whatever they look like, up to the next bulletin.
    if (!isSurfaceSynopticHeading(tokens[0])) mode_ = Mode::OtherForm;
    return true;
}

bool StreamAssembler::isPlainLanguage(const Tokens& tokens) const
{
    // Letters that stand for figures count as figures here; which figures
    // they are does not matter for telling a coded line from words.
    static const std::array<bool, 256> kFigureLike = [] {
        std::array<bool, 256> table{};
        for (unsigned char c : std::string_view("QWERTYUIOPX0123456789/")) table[c] = true;
        return table;
    }();
    auto figureLike = [](std::string_view t) {
        if (t.size() == 5) {  // most tokens: without a branch per byte
            const auto* p = reinterpret_cast<const unsigned char*>(t.data());
            return (kFigureLike[p[0]] & kFigureLike[p[1]] & kFigureLike[p[2]] & kFigureLike[p[3]] & kFigureLike[p[4]]) != 0;
        }
        for (unsigned char c : t)
            if (!kFigureLike[c]) return false;
        return true;
    };
    // Words must be more than half the tokens: the count stops as soon as
    // the other tokens leave too few for that.
    size_t words = 0, others = 0;
    for (const std::string_view t : tokens) {
        const bool coded = t.size() >= 3 && t.size() <= 5 && figureLike(t);
        const bool framing = !coded
            && (t == "=" || t == "NIL" || t == "NNNN" || t == "AAXX" || t == "BBXX" || t == "ZZYY");
        if (coded || framing) {
            if (++others * 2 >= tokens.size()) return false;
        } else {
            ++words;
        }
    }
    return words * 2 > tokens.size();
}

void StreamAssembler::takeTokens(Tokens& tokens)
{
    // A line of words inside a bulletin is plain language: it never starts
    // a report, and inside one it means the '=' was lost.
    if (mode_ != Mode::Idle && isPlainLanguage(tokens)) {
        closeReport(false);
        return;
    }
    // A report after a lost AAXX or BBXX line: taken when it cannot be anything else.
    if (mode_ == Mode::Idle && looksLikeShipOpening(tokens, 0)) mode_ = Mode::Ship;
    else if (mode_ == Mode::Idle && looksLikeLandReport(tokens)) mode_ = Mode::Land;
    for (size_t i = 0; i < tokens.size(); ++i) {
        const std::string_view token = tokens[i];
        // Most tokens are five-figure groups, which are none of the words
        // and markers below.
        const bool fiveFigures = isFiveFigures(token);
        if (!fiveFigures) {
            if (token == "NNNN") {
                endBulletin();
                continue;
            }
            // A marker hit by noise still counts when its neighbours leave no
            // doubt; in the text of another form only a marker as it is written.
            const bool next = i + 1 < tokens.size();
            const bool repair = mode_ != Mode::OtherForm;
            const bool land = isLandMarker(token)
                || (repair && nearly(token, "AAXX") && next && isDateGroup(ShiftCorrected(tokens[i + 1])));
            const bool ship = isShipMarker(token) || (repair && tokens.size() == 1 && nearly(token, "BBXX"));
            if (i == 0 && isOtherFormMarker(token)) {
                closeReport(false);
                mode_ = Mode::OtherForm;
                continue;
            }
            if (land || ship || isBuoyMarker(token)) {
                closeReport(false);
                if (land) {
                    mode_ = Mode::Land;
                    landDateGroup_.clear();
                    if (i + 1 < tokens.size() && isCodedGroup(ShiftCorrected(tokens[i + 1]), 5))
                        landDateGroup_ = correctShift(tokens[++i]);
                } else if (ship) {
                    mode_ = Mode::Ship;
                } else {
                    mode_ = Mode::Buoy;
                    startReport(ReportForm::Buoy);
                }
                continue;
            }
            if (token == "=") {
                if (inReport_) {
                    appendRaw("=");
                    closeReport(true);
                }
                continue;
            }
        }
        if (mode_ == Mode::Idle || mode_ == Mode::OtherForm) continue;
        if (inReport_ && i == 0 && startsNewReport(tokens, 0) && !continuesOpenReport(tokens)) closeReport(false);
        if (!inReport_) {
            if (!startsReport(tokens, i)) continue;
            startReport(mode_ == Mode::Land ? ReportForm::Land : ReportForm::Ship);
        }
        appendGroup(token, fiveFigures);
    }
}

bool StreamAssembler::looksLikeLandReport(const Tokens& tokens) const
{
    if (tokens.size() < 5) return false;
    const ShiftCorrected station(tokens[0]);
    if (station.size() != 5 || !isDigits(station)) return false;
    if (!looksLikeIndicatorGroup(ShiftCorrected(tokens[1])) || !looksLikeWindGroup(ShiftCorrected(tokens[2]))) return false;
    for (size_t i = 3; i < 5; ++i) {
        const ShiftCorrected g(tokens[i]);
        if (!isCodedGroup(g, 5) || g[0] < '1' || g[0] > '9') return false;
    }
    return true;
}

bool StreamAssembler::startsReport(const Tokens& tokens, size_t at) const
{
    const ShiftCorrected first(tokens[at]);
    switch (mode_) {
    case Mode::Land:
        return isCodedGroup(first, 5) && isDigits(first);
    case Mode::Ship:
        // A numbered ship cut right after its date group is still a report.
        if (isBuoyOrPlatformNumber(tokens[at]))
            return looksLikeShipOpening(tokens, at)
                || (at + 2 < tokens.size() && isDateGroup(ShiftCorrected(tokens[at + 1])) && tokens[at + 2] == "=");
        return looksLikeCallSign(tokens[at]) && at + 1 < tokens.size()
            && isCodedGroup(ShiftCorrected(tokens[at + 1]), 5);
    default:
        return false;  // buoy reports open with their own ZZYY
    }
}

bool StreamAssembler::startsNewReport(const Tokens& tokens, size_t at) const
{
    if (current_.groups.size() < 2 || at + 1 >= tokens.size()) return false;
    const ShiftCorrected next(tokens[at + 1]);
    if (mode_ == Mode::Land) {
        const ShiftCorrected first(tokens[at]);
        if (!isDigits(first) || first.size() != 5) return false;
        if (next.view() == "NIL") return true;
        if (!looksLikeIndicatorGroup(next)) return false;
        return at + 2 >= tokens.size() || looksLikeWindGroup(ShiftCorrected(tokens[at + 2]));
    }
    if (mode_ == Mode::Ship) {
        return startsReport(tokens, at) && at + 2 < tokens.size()
            && ShiftCorrected(tokens[at + 2]).view().rfind("99", 0) == 0;
    }
    return false;
}


// A line of groups that carries on the order of the open report's section
// 1 or 3 belongs to that report, even when its first groups look like a
// station index and an iRixhVV: bulletins are often broken that way, and
// taken as a new report it would be invented under a real station's index.
bool StreamAssembler::continuesOpenReport(const Tokens& tokens) const
{
    if (mode_ != Mode::Land) return false;
    const std::vector<std::string>& g = current_.groups;
    size_t start = 3;
    IndicatorOrder order;
    order.last = 0;
    for (size_t k = g.size(); k-- > 0;) {
        if (g[k] == "333") {
            start = k + 1;
            order.sectionThree = true;
            order.last = -1;
            break;
        }
        if (g[k] == "555" || g[k] == "444" || (g[k].size() == 5 && g[k].rfind("222", 0) == 0)) return false;
    }
    if (g.size() < start) return false;
    for (size_t k = start; k < g.size(); ++k) {
        if (!order.accepts(g[k])) return false;  // the open section is out of order already: no evidence
        order.take(g[k]);
    }
    size_t taken = 0;
    for (const std::string_view token : tokens) {
        if (token == "=" || token == "333" || token == "555") break;
        const ShiftCorrected group(token);
        if (!order.accepts(group)) return false;
        order.take(group);
        ++taken;
    }
    return taken > 0;
}

void StreamAssembler::startReport(ReportForm form)
{
    // Whatever storage the last report left (a sink that did not take it
    // over) is used again: no allocation per report once warm. Every member
    // of AssembledReport is set here. The reports of a bulletin share its
    // heading, which is copied only when it changed or a sink took it.
    current_.form = form;
    if (current_.heading != heading_) current_.heading = heading_;
    if (form == ReportForm::Land) current_.landDateGroup = landDateGroup_;
    else current_.landDateGroup.clear();
    current_.groups.clear();
    current_.raw.clear();
    current_.warnings.clear();
    current_.groups.reserve(32);
    rawSize_ = 0;
    inReport_ = true;
    rawLine_ = lineNumber_;
}

namespace {

bool isMarkerFigures(std::string_view t) { return t == "333" || t == "444" || t == "555"; }

// Where a lost space joined groups: five-figure groups run together, or a
// group run into a section marker.
std::vector<size_t> mergedGroupLengths(std::string_view group)
{
    if (!isFigures(group)) return {};
    if (group.size() == 10) return {5, 5};
    if (group.size() == 15) return {5, 5, 5};
    if (group.size() == 8 && isMarkerFigures(group.substr(5))) return {5, 3};
    if (group.size() == 8 && isMarkerFigures(group.substr(0, 3))) return {3, 5};
    return {};
}

// A token in letters case, whole or in five-figure pieces run together.
std::string shiftCorrected(std::string_view token)
{
    if (token.size() != 10 && token.size() != 15) return correctShift(token);
    std::string figures;
    for (size_t at = 0; at < token.size(); at += 5) figures += correctShift(token.substr(at, 5));
    return figures;
}

}  // namespace

// The report's text is collected in an area of the assembler's own, kept
// from report to report, and handed on in one piece: most pieces are five
// figures and a space, copied without a call.
inline void StreamAssembler::appendRaw(std::string_view piece)
{
    if (rawSize_ + piece.size() > rawText_.size()) rawText_.resize(std::max(2 * rawText_.size(), rawSize_ + piece.size()));
    char* const at = rawText_.data() + rawSize_;
    if (piece.size() == 5) {
        std::memcpy(at, piece.data(), 4);
        at[4] = piece[4];
    } else if (piece.size() == 1) {
        at[0] = piece[0];
    } else {
        std::memcpy(at, piece.data(), piece.size());
    }
    rawSize_ += piece.size();
}

inline void StreamAssembler::appendGroup(std::string_view token, bool fiveFigures)
{
    if (rawSize_ > 0) appendRaw(rawLine_ == lineNumber_ ? " " : "\n");
    rawLine_ = lineNumber_;
    appendRaw(token);

    // A ship's call sign is letters by nature; every other group is figures.
    const bool callSign = current_.form == ReportForm::Ship && current_.groups.empty();
    // Five figures, the common case, need no repair; their length known
    // here lets the copy be made without a call.
    if (fiveFigures) current_.groups.emplace_back(token.data(), token.data() + 5);
    else if (callSign) current_.groups.emplace_back(token);
    else appendRepairedGroup(token);
    if (current_.groups.size() >= kMaxReportGroups) cutReport();
}

void StreamAssembler::cutReport()
{
    current_.warnings.push_back("report cut after " + std::to_string(kMaxReportGroups) + " groups");
    closeReport(true);
}

void StreamAssembler::appendRepairedGroup(std::string_view token)
{
    // Section markers and groups of other lengths, most of what comes here:
    // no letter to read back, and too short to be groups run together.
    if (token.size() < 8 && !hasCapital(token)) {
        current_.groups.emplace_back(token);
        return;
    }
    std::string group(token);
    if (options_.correctShiftErrors) {
        group = shiftCorrected(token);
        if (group != token)
            current_.warnings.push_back("group " + std::string(token) + " read as " + group + " (letters/figures shift)");
    }
    const std::vector<size_t> lengths = mergedGroupLengths(group);
    if (lengths.empty()) {
        current_.groups.push_back(std::move(group));
        return;
    }
    current_.warnings.push_back("groups " + group + " ran together, read as " + std::to_string(lengths.size())
                                + " groups");
    size_t at = 0;
    for (size_t length : lengths) {
        current_.groups.push_back(group.substr(at, length));
        at += length;
    }
}

void StreamAssembler::closeReport(bool terminated)
{
    if (!inReport_) return;
    inReport_ = false;
    AssembledReport& report = current_;  // made afresh by the next startReport
    if (report.groups.empty()) return;
    report.raw.assign(rawText_.data(), rawSize_);
    if (!terminated) report.warnings.push_back("report not ended by '='");
    if (options_.dropDuplicates && repeats_.isRepeat(report)) {
        ++duplicatesDropped_;
        return;
    }
    sink_(std::move(report));
}

void StreamAssembler::endBulletin()
{
    closeReport(false);
    mode_ = Mode::Idle;
    heading_.reset();
    landDateGroup_.clear();
}

}  // namespace synop
