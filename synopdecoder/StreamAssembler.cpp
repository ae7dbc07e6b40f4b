#include "synopdecoder/StreamAssembler.h"

#include "synopdecoder/GroupText.h"

namespace synop {
namespace {

bool isHeadingLine(const std::vector<std::string>& t)
{
    if (t.size() != 3 && t.size() != 4) return false;
    const std::string& ttaaii = t[0];
    if (ttaaii.size() != 6 || !isLetters(ttaaii.substr(0, 4)) || !isDigits(ttaaii.substr(4))) return false;
    if (t[1].size() != 4 || !isLetters(t[1])) return false;
    if (t[2].size() != 6 || !isDigits(t[2])) return false;
    return t.size() == 3 || (t[3].size() == 3 && isLetters(t[3]));
}

bool isLandMarker(const std::string& t) { return t == "AAXX" || t == "--//"; }
bool isShipMarker(const std::string& t) { return t == "BBXX" || t == "?\?//"; }
bool isBuoyMarker(const std::string& t) { return t == "ZZYY" || t == "++66" || t == "\"\"66"; }
// Forms that are not decoded here (SYNOP MOBIL, CLIMAT, TEMP and the like):
// their reports must not be taken for land or ship reports.
bool isOtherFormMarker(const std::string& t) { return t == "OOXX" || t == "CLIMAT" || t == "TTAA" || t == "TTBB" || t == "PPBB"; }

// YYGGiw of section 0: a day, an hour and a wind unit indicator that exist.
bool isDateGroup(const std::string& g)
{
    const int day = digitsValue(g, 0, 2);
    const int hour = digitsValue(g, 2, 2);
    const int iw = digitsValue(g, 4, 1);
    return g.size() == 5 && day >= 1 && day <= 31 && hour >= 0 && hour <= 23 && (iw == 0 || iw == 1 || iw == 3 || iw == 4);
}

// One character hit or lost: "AAMX", "AXX".
bool nearly(const std::string& t, std::string_view word)
{
    if (t.size() == word.size()) {
        int differences = 0;
        for (size_t i = 0; i < t.size(); ++i) differences += t[i] != word[i];
        return differences <= 1;
    }
    if (t.size() + 1 != word.size()) return false;
    for (size_t skip = 0; skip < word.size(); ++skip) {
        std::string shorter(word);
        shorter.erase(skip, 1);
        if (shorter == t) return true;
    }
    return false;
}

// iRixhVV: iR 0..4, ix 1..7, h and VV digits or solidi.
bool looksLikeIndicatorGroup(const std::string& g)
{
    return isCodedGroup(g, 5) && g[0] >= '0' && g[0] <= '4' && g[1] >= '1' && g[1] <= '7';
}

bool looksLikeWindGroup(const std::string& g)
{
    if (!isCodedGroup(g, 5)) return false;
    const char d = g[1];
    return d == '/' || d <= '3' || d == '9';
}

bool looksLikeCallSign(const std::string& t)
{
    if (t.size() < 3 || t.size() > 9) return false;
    bool letter = false;
    for (char c : t) {
        if (c >= 'A' && c <= 'Z') letter = true;
        else if (!(c >= '0' && c <= '9')) return false;
    }
    return letter;
}

bool isBuoyOrPlatformNumber(const std::string& t) { return t.size() == 5 && isDigits(t); }

// D....D or A1bwnbnbnb, YYGGiw, 99LaLaLa, QcLoLoLoLo: the opening of a ship
// report is distinctive enough to be taken without its BBXX line, and it
// tells a numbered ship from a land report.
bool looksLikeShipOpening(const std::vector<std::string>& t, size_t at)
{
    if (at + 3 >= t.size()) return false;
    if (!looksLikeCallSign(t[at]) && !isBuoyOrPlatformNumber(t[at])) return false;
    const std::string latitude = correctShift(t[at + 2]);
    const char quadrant = correctShift(t[at + 3])[0];
    return isDateGroup(correctShift(t[at + 1])) && isCodedGroup(latitude, 5) && latitude.rfind("99", 0) == 0
        && (quadrant == '1' || quadrant == '3' || quadrant == '5' || quadrant == '7');
}

// The framing words as a teletype stuck in figures case prints them.
std::string wordFromFigures(std::string token)
{
    if (token == ",,,,") return "NNNN";
    if (token == ",8)") return "NIL";
    if (token == "+:+:" || token == "\":\":") return "ZCZC";
    return token;
}

// Splits a line into groups; '=' and ';' end a report wherever they stand.
std::vector<std::string> tokenize(std::string_view line)
{
    std::vector<std::string> tokens;
    tokens.reserve(16);
    std::string token;
    auto flush = [&] {
        if (!token.empty()) tokens.push_back(wordFromFigures(std::move(token)));
        token.clear();
    };
    for (char c : line) {
        if (c == ' ') {
            flush();
        } else if (c == '=' || c == ';') {
            flush();
            tokens.emplace_back(1, '=');
        } else {
            token.push_back(c);
        }
    }
    flush();
    return tokens;
}

}  // namespace

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

void StreamAssembler::feed(std::string_view text)
{
    for (unsigned char c : text) {
        if (c == '\r' || c == '\n') {
            takeLine(line_);
            line_.clear();
            continue;
        }
        if (c == 0x01 || c == 0x03 || c == 0x04) {  // SOH, ETX, EOT frame a message
            takeLine(line_);
            line_.clear();
            endBulletin();
            continue;
        }
        if (c < 0x20 || c == 0x7f) c = ' ';
        if (c >= 'a' && c <= 'z') c = static_cast<unsigned char>(c - 'a' + 'A');
        line_.push_back(static_cast<char>(c));
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
    std::vector<std::string> tokens = tokenize(line);
    if (tokens.empty()) return;
    ++lineNumber_;
    if (takeHeading(tokens)) return;
    takeTokens(tokens);
}

bool StreamAssembler::takeHeading(const std::vector<std::string>& tokens)
{
    if (tokens[0] == "ZCZC") {
        endBulletin();
        return true;
    }
    if (!isHeadingLine(tokens)) return false;
    endBulletin();
    heading_ = BulletinHeading{tokens[0], tokens[1], tokens[2], tokens.size() == 4 ? tokens[3] : std::string()};
    return true;
}

bool StreamAssembler::isPlainLanguage(const std::vector<std::string>& tokens) const
{
    // Letters that stand for figures count as figures here; which figures
    // they are does not matter for telling a coded line from words.
    static constexpr std::string_view kFigureLetters = "QWERTYUIOPX0123456789/";
    size_t words = 0;
    for (const std::string& t : tokens) {
        const bool coded = t.size() >= 3 && t.size() <= 5 && t.find_first_not_of(kFigureLetters) == std::string::npos;
        const bool framing = t == "=" || t == "NIL" || t == "NNNN" || t == "AAXX" || t == "BBXX" || t == "ZZYY";
        if (!coded && !framing) ++words;
    }
    return words * 2 > tokens.size();
}

void StreamAssembler::takeTokens(std::vector<std::string>& tokens)
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
        const std::string& token = tokens[i];
        if (token == "NNNN") {
            endBulletin();
            continue;
        }
        // A marker hit by noise still counts when its neighbours leave no doubt.
        const bool next = i + 1 < tokens.size();
        const bool land = isLandMarker(token) || (nearly(token, "AAXX") && next && isDateGroup(correctShift(tokens[i + 1])));
        const bool ship = isShipMarker(token) || (nearly(token, "BBXX") && tokens.size() == 1);
        if (isOtherFormMarker(token) && i == 0) {
            closeReport(false);
            mode_ = Mode::OtherForm;
            continue;
        }
        if (land || ship || isBuoyMarker(token)) {
            closeReport(false);
            if (land) {
                mode_ = Mode::Land;
                landDateGroup_.clear();
                if (i + 1 < tokens.size() && isCodedGroup(correctShift(tokens[i + 1]), 5))
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
                current_.raw += '=';
                closeReport(true);
            }
            continue;
        }
        if (mode_ == Mode::Idle || mode_ == Mode::OtherForm) continue;
        if (inReport_ && i == 0 && startsNewReport(tokens, 0) && !continuesOpenReport(tokens)) closeReport(false);
        if (!inReport_) {
            if (!startsReport(tokens, i)) continue;
            startReport(mode_ == Mode::Land ? ReportForm::Land : ReportForm::Ship);
        }
        appendGroup(token);
    }
}

bool StreamAssembler::looksLikeLandReport(const std::vector<std::string>& tokens) const
{
    if (tokens.size() < 5) return false;
    const std::string station = correctShift(tokens[0]);
    if (station.size() != 5 || !isDigits(station)) return false;
    if (!looksLikeIndicatorGroup(correctShift(tokens[1])) || !looksLikeWindGroup(correctShift(tokens[2]))) return false;
    for (size_t i = 3; i < 5; ++i) {
        const std::string g = correctShift(tokens[i]);
        if (!isCodedGroup(g, 5) || g[0] < '1' || g[0] > '9') return false;
    }
    return true;
}

bool StreamAssembler::startsReport(const std::vector<std::string>& tokens, size_t at) const
{
    const std::string first = correctShift(tokens[at]);
    switch (mode_) {
    case Mode::Land:
        return isCodedGroup(first, 5) && isDigits(first);
    case Mode::Ship:
        if (isBuoyOrPlatformNumber(tokens[at])) return looksLikeShipOpening(tokens, at);
        return looksLikeCallSign(tokens[at]) && at + 1 < tokens.size()
            && isCodedGroup(correctShift(tokens[at + 1]), 5);
    default:
        return false;  // buoy reports open with their own ZZYY
    }
}

bool StreamAssembler::startsNewReport(const std::vector<std::string>& tokens, size_t at) const
{
    if (current_.groups.size() < 2 || at + 1 >= tokens.size()) return false;
    const std::string next = correctShift(tokens[at + 1]);
    if (mode_ == Mode::Land) {
        const std::string first = correctShift(tokens[at]);
        if (!isDigits(first) || first.size() != 5) return false;
        if (next == "NIL") return true;
        if (!looksLikeIndicatorGroup(next)) return false;
        return at + 2 >= tokens.size() || looksLikeWindGroup(correctShift(tokens[at + 2]));
    }
    if (mode_ == Mode::Ship) {
        return startsReport(tokens, at) && at + 2 < tokens.size()
            && correctShift(tokens[at + 2]).rfind("99", 0) == 0;
    }
    return false;
}

namespace {

bool isRepeatableInSectionThree(int id) { return id == 5 || id == 8 || id == 9; }

// Group indicators rise through sections 1 and 3; after 55SSS or 553SS the
// radiation groups 0 to 6 start again from 0.
struct IndicatorOrder {
    bool sectionThree = false;
    int last = -1;
    int lastRadiation = 7;  // 7: not after a sunshine group

    bool isRadiation(int id) const { return lastRadiation < 7 && id <= 6 && id > lastRadiation; }
    bool accepts(const std::string& g) const
    {
        const int id = digitsValue(g, 0, 1);
        if (!isCodedGroup(g, 5) || id < 0) return false;
        if (isRadiation(id)) return true;
        return id > last || (sectionThree && id == last && isRepeatableInSectionThree(id));
    }
    void take(const std::string& g)
    {
        const int id = digitsValue(g, 0, 1);
        if (isRadiation(id)) {
            lastRadiation = id;
            return;
        }
        lastRadiation = sectionThree && id == 5 && g[1] == '5' ? -1 : 7;
        last = id;
    }
};

}  // namespace

// A line of groups that carries on the order of the open report's section
// 1 or 3 belongs to that report, even when its first groups look like a
// station index and an iRixhVV: bulletins are often broken that way, and
// taken as a new report it would be invented under a real station's index.
bool StreamAssembler::continuesOpenReport(const std::vector<std::string>& tokens) const
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
    for (const std::string& token : tokens) {
        if (token == "=" || token == "333" || token == "555") break;
        const std::string group = correctShift(token);
        if (!order.accepts(group)) return false;
        order.take(group);
        ++taken;
    }
    return taken > 0;
}

void StreamAssembler::startReport(ReportForm form)
{
    current_ = AssembledReport{};
    current_.form = form;
    current_.heading = heading_;
    if (form == ReportForm::Land) current_.landDateGroup = landDateGroup_;
    inReport_ = true;
    rawLine_ = lineNumber_;
}

void StreamAssembler::appendGroup(const std::string& token)
{
    if (!current_.raw.empty()) current_.raw += (rawLine_ == lineNumber_) ? ' ' : '\n';
    rawLine_ = lineNumber_;
    current_.raw += token;

    // A ship's call sign is letters by nature; every other group is figures.
    const bool callSign = current_.form == ReportForm::Ship && current_.groups.empty();
    std::string group = token;
    if (options_.correctShiftErrors && !callSign) {
        group = correctShift(token);
        if (group != token)
            current_.warnings.push_back("group " + token + " read as " + group + " (letters/figures shift)");
    }
    // Two or three groups whose separating space was lost.
    if (!callSign && (group.size() == 10 || group.size() == 15) && isCodedGroup(group, group.size())) {
        current_.warnings.push_back("groups " + group + " ran together, read as " + std::to_string(group.size() / 5) + " groups");
        for (size_t at = 0; at + 5 < group.size(); at += 5) current_.groups.push_back(group.substr(at, 5));
        group = group.substr(group.size() - 5);
    }
    current_.groups.push_back(std::move(group));
    if (current_.groups.size() >= kMaxReportGroups) {
        current_.warnings.push_back("report cut after " + std::to_string(kMaxReportGroups) + " groups");
        closeReport(true);
    }
}

void StreamAssembler::closeReport(bool terminated)
{
    if (!inReport_) return;
    inReport_ = false;
    AssembledReport report = std::move(current_);
    current_ = AssembledReport{};
    if (report.groups.empty()) return;
    if (!terminated) report.warnings.push_back("report not ended by '='");
    if (options_.dropDuplicates && isDuplicate(report)) {
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

bool StreamAssembler::isDuplicate(const AssembledReport& report)
{
    std::string key = reportFormCode(report.form);
    key += ' ';
    key += report.landDateGroup;
    for (const std::string& g : report.groups) {
        key += ' ';
        key += g;
    }
    if (!seen_.insert(key).second) return true;
    seenOrder_.push_back(std::move(key));
    if (seenOrder_.size() > kDuplicateMemory) {
        seen_.erase(seenOrder_.front());
        seenOrder_.pop_front();
    }
    return false;
}

}  // namespace synop
