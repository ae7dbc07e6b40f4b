#include "synopdecoder/StationCatalog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <vector>

static void initStationResources() { Q_INIT_RESOURCE(stations); }

namespace synop {
namespace {

std::vector<std::string_view> split(std::string_view line, char separator)
{
    std::vector<std::string_view> fields;
    size_t start = 0;
    while (true) {
        const size_t end = line.find(separator, start);
        fields.push_back(line.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos) return fields;
        start = end + 1;
    }
}

// The first fields of a line, without allocating: every program run reads
// thirteen thousand of them before its first report. Answers how many were found.
template <size_t N>
size_t splitInto(std::string_view line, char separator, std::string_view (&fields)[N])
{
    size_t count = 0, start = 0;
    while (count < N) {
        const size_t end = line.find(separator, start);
        fields[count++] = line.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return count;
}

std::string_view trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\r' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\r' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

template <typename Each>
void forEachLine(std::string_view text, Each each)
{
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        each(text.substr(start, end - start));
        start = end + 1;
    }
}

std::optional<double> parseNumber(std::string_view s)
{
    s = trim(s);
    // Whole numbers, most of the lists' figures, without the general parser.
    if (!s.empty() && s.size() < 10 && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        long whole = 0;
        for (const char c : s) whole = whole * 10 + (c - '0');
        return static_cast<double>(whole);
    }
    double value = 0;
    const auto result = std::from_chars(s.data(), s.data() + s.size(), value);
    if (result.ec != std::errc() || s.empty()) return std::nullopt;
    return value;
}

// The buoy table is ISO-8859-1 with HTML character references in places.
std::string latin1ToUtf8(std::string_view s)
{
    if (std::all_of(s.begin(), s.end(), [](char c) { return c != '&' && static_cast<unsigned char>(c) < 0x80; }))
        return std::string(s);
    std::string text;
    text.reserve(s.size() + 8);
    for (size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c == '&' && s.substr(i, 5) == "&amp;") {
            text += '&';
            i += 4;
        } else if (c < 0x80) {
            text += static_cast<char>(c);
        } else {
            text += static_cast<char>(0xc0 | (c >> 6));
            text += static_cast<char>(0x80 | (c & 0x3f));
        }
    }
    return text;
}

}  // namespace

std::optional<double> parseDegrees(std::string_view text)
{
    text = trim(text);
    if (text.size() < 2) return std::nullopt;
    const char hemisphere = text.back();
    if (hemisphere != 'N' && hemisphere != 'S' && hemisphere != 'E' && hemisphere != 'W') return std::nullopt;
    double degrees = 0;
    double scale = 1;
    std::string_view rest = text.substr(0, text.size() - 1);
    while (true) {
        const size_t dash = rest.find('-');
        const auto value = parseNumber(rest.substr(0, dash));
        if (!value) return std::nullopt;
        degrees += *value / scale;
        scale *= 60;
        if (dash == std::string_view::npos) break;
        rest.remove_prefix(dash + 1);
    }
    return (hemisphere == 'S' || hemisphere == 'W') ? -degrees : degrees;
}

namespace {

// 12;345;...: the index's figures as a number, or -1.
int fiveFigures(std::string_view block, std::string_view number)
{
    int value = 0;
    for (const std::string_view part : {block, number})
        for (const char c : part) {
            if (c < '0' || c > '9') return -1;
            value = value * 10 + (c - '0');
        }
    return value;
}

StationInfo parseLandLine(std::string_view line)
{
    std::string_view f[12];
    splitInto(trim(line), ';', f);
    StationInfo info;
    info.name = latin1ToUtf8(trim(f[3]));
    info.country = latin1ToUtf8(trim(f[5]));
    // A position is both figures or none: half of one, or one off the globe,
    // would put the station somewhere it is not.
    const auto lat = parseDegrees(f[7]), lon = parseDegrees(f[8]);
    if (lat && lon && std::abs(*lat) <= 90 && std::abs(*lon) <= 180) {
        info.lat = lat;
        info.lon = lon;
    }
    if (const auto elevation = parseNumber(f[11])) info.elevationM = static_cast<int>(*elevation);
    return info;
}

}  // namespace

void StationCatalog::loadLandStations(std::string_view text) { loadLand(text, true); }

void StationCatalog::loadLandSupplement(std::string_view text) { loadLand(text, false); }

void StationCatalog::loadLand(std::string_view text, bool replaceKnown)
{
    const std::string& kept = landTexts_.emplace_back(text);
    if (landLines_.empty()) landLines_.resize(100000);
    forEachLine(kept, [this, replaceKnown](std::string_view line) {
        // Twelve fields or more; only the first two, the index, are read now.
        const std::string_view fields = trim(line);
        if (std::count(fields.begin(), fields.end(), ';') < 11 || fields.find(';') != 2 || fields[6] != ';') return;
        const std::string_view block = fields.substr(0, 2), number = fields.substr(3, 3);
        if (number.find(';') != std::string_view::npos) return;
        // A later line of the same index replaces the earlier one.
        const int index = fiveFigures(block, number);
        std::string_view* slot = nullptr;
        if (index >= 0) slot = &landLines_[static_cast<size_t>(index)];
        else slot = &otherLandLines_[std::string(block).append(number)];
        if (slot->empty()) ++landCount_;
        else if (!replaceKnown) return;
        *slot = line;
    });
}

const std::string_view* StationCatalog::landLine(std::string_view index) const
{
    const std::string_view* line = nullptr;
    if (index.size() == 5 && !landLines_.empty()) {
        const int number = fiveFigures(index.substr(0, 2), index.substr(2));
        if (number >= 0) line = &landLines_[static_cast<size_t>(number)];
    }
    if (!line) {
        const auto other = otherLandLines_.find(index);
        if (other != otherLandLines_.end()) line = &other->second;
    }
    return line && !line->empty() ? line : nullptr;
}

void StationCatalog::loadBuoys(std::string_view text)
{
    forEachLine(text, [this](std::string_view line) {
        if (line.empty() || line.front() == '#') return;
        const auto f = split(line, '|');
        if (f.size() < 7) return;
        StationInfo info;
        info.name = latin1ToUtf8(trim(f[4]));
        info.country = latin1ToUtf8(trim(f[1]));
        // "44.794 N 87.313 W (...)"
        const auto parts = split(trim(f[6].substr(0, f[6].find('('))), ' ');
        if (parts.size() >= 4) {
            const auto lat = parseNumber(parts[0]);
            const auto lon = parseNumber(parts[2]);
            if (lat && lon) {
                info.lat = parts[1] == "S" ? -*lat : *lat;
                info.lon = parts[3] == "W" ? -*lon : *lon;
            }
        }
        std::string id(trim(f[0]));
        for (char& c : id) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        buoys_[id] = std::move(info);
    });
}

const StationInfo* StationCatalog::landStation(std::string_view index) const
{
    const std::string_view* line = landLine(index);
    if (!line) return nullptr;
    const std::lock_guard<std::mutex> hold(parsedLock_);
    std::unique_ptr<StationInfo>& info = parsed_[line->data()];
    if (!info) info = std::make_unique<StationInfo>(parseLandLine(*line));
    return info.get();
}

const StationInfo* StationCatalog::buoy(std::string_view id) const
{
    const auto it = buoys_.find(id);
    return it == buoys_.end() ? nullptr : &it->second;
}

const StationCatalog& StationCatalog::builtIn()
{
    // Made in place, never moved: its lines view its own texts. Kept to the
    // end of the process.
    static const StationCatalog& catalog = *[] {
        initStationResources();
        auto* made = new StationCatalog;
        StationCatalog& c = *made;
        // An installed list (share/pluvane beside the program's bin/) wins
        // over the one built in, so that a newer list from WMO or NDBC can
        // be dropped in without a rebuild.
        auto read = [](const char* name) {
            const QString fileName = QString::fromLatin1(name);
            QStringList candidates;
            if (QCoreApplication::instance())
                candidates << QDir(QCoreApplication::applicationDirPath())
                                  .filePath(QStringLiteral("../" PLUVANE_RELATIVE_DATADIR "/") + fileName);
            candidates << QStringLiteral(":/synop/") + fileName;
            for (const QString& path : candidates) {
                QFile file(path);
                if (file.open(QIODevice::ReadOnly)) return file.readAll().toStdString();
            }
            return std::string();
        };
        c.loadLandStations(read("nsd_bbsss.txt"));
        // Stations opened or renumbered since the land list's snapshot.
        c.loadLandSupplement(read("isd_stations.txt"));
        c.loadBuoys(read("ndbc_station_table.txt"));
        return made;
    }();
    return catalog;
}

}  // namespace synop
