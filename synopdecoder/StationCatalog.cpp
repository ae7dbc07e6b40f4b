#include "synopdecoder/StationCatalog.h"

#include "synopdecoder/ProgramDirectory.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#ifndef PLUVANE_STATION_INDEX_WRITER
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace synop::builtin {
// Made at build time with the lists compiled in (BuiltInStationIndex.cpp).
extern const char kLandList[], kSupplement[], kBuoyTable[];
extern const size_t kLandListBytes, kSupplementBytes, kBuoyTableBytes;
extern const size_t kLandCount, kLineCount, kOtherLineCount;
extern const int kIndices[];
extern const StationCatalog::LineRef kLines[];
extern const StationCatalog::OtherLineRef kOtherLines[];
}  // namespace synop::builtin
#endif

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
    for (const char c : block) {
        if (c < '0' || c > '9') return -1;
        value = value * 10 + (c - '0');
    }
    for (const char c : number) {
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

void StationCatalog::loadLandStations(std::string_view text) { loadLand(text, true, false); }

void StationCatalog::loadLandSupplement(std::string_view text) { loadLand(text, false, false); }

void StationCatalog::loadLand(std::string_view text, bool replaceKnown, bool textIsStatic)
{
    if (text.size() > UINT32_MAX) return;  // no list is near that size: not one
    const std::string_view kept = textIsStatic ? text : std::string_view(landTexts_.emplace_back(text));
    const auto textId = static_cast<uint32_t>(landTextViews_.size());
    landTextViews_.push_back(kept);
    // Every run of the program reads the lists before its first report:
    // they are indexed into two arrays that become the catalog's own, with
    // no table of entries beside them (each page touched is a page fault).
    std::vector<int> readIndices;
    std::vector<LineRef> readLines;
    readIndices.reserve(kept.size() / 48);
    readLines.reserve(kept.size() / 48);
    bool sorted = true;
    forEachLine(kept, [&](std::string_view line) {
        // Twelve fields or more; only the first two, the index, are read now.
        const std::string_view fields = trim(line);
        if (fields.size() < 12 || fields[2] != ';' || fields[6] != ';' || fields.find(';') != 2) return;
        int separators = 0;  // a plain loop, which the compiler makes sixteen bytes a step
        for (const char c : fields.substr(7)) separators += c == ';';
        if (separators < 9) return;
        const std::string_view block = fields.substr(0, 2), number = fields.substr(3, 3);
        if (number.find(';') != std::string_view::npos) return;
        const int index = fiveFigures(block, number);
        const LineRef ref{textId, static_cast<uint32_t>(line.data() - kept.data()), static_cast<uint32_t>(line.size())};
        if (index >= 0) {
            if (!readIndices.empty() && index < readIndices.back()) sorted = false;
            readIndices.push_back(index);
            readLines.push_back(ref);
            return;
        }
        // A later line of the same index replaces the earlier one.
        auto [slot, added] = otherLandLines_.try_emplace(std::string(block).append(number), ref);
        if (added) ++landCount_;
        else if (replaceKnown) slot->second = ref;
    });
    // The lists come sorted; a stable sort keeps the order of one index's lines.
    if (!sorted) {
        std::vector<uint32_t> order(readIndices.size());
        for (uint32_t i = 0; i < order.size(); ++i) order[i] = i;
        std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) { return readIndices[a] < readIndices[b]; });
        std::vector<int> indices(order.size());
        std::vector<LineRef> lines(order.size());
        for (size_t i = 0; i < order.size(); ++i) {
            indices[i] = readIndices[order[i]];
            lines[i] = readLines[order[i]];
        }
        readIndices = std::move(indices);
        readLines = std::move(lines);
    }
    // Within a list the last line of an index counts, as it replaced the
    // earlier ones; a supplement takes its first, and only where no list
    // read before has the index.
    size_t kept1 = 0;
    for (size_t i = 0; i < readIndices.size();) {
        size_t last = i;
        while (last + 1 < readIndices.size() && readIndices[last + 1] == readIndices[i]) ++last;
        readIndices[kept1] = readIndices[i];
        readLines[kept1++] = replaceKnown ? readLines[last] : readLines[i];
        i = last + 1;
    }
    readIndices.resize(kept1);
    readLines.resize(kept1);
    if (landIndices_.empty()) {
        landCount_ += readIndices.size();
        ownIndices_ = std::move(readIndices);
        ownLines_ = std::move(readLines);
    } else {
        std::vector<int> indices;
        std::vector<LineRef> lines;
        indices.reserve(landIndices_.size() + readIndices.size());
        lines.reserve(landIndices_.size() + readIndices.size());
        size_t known = 0;
        for (size_t i = 0; i < readIndices.size(); ++i) {
            const int index = readIndices[i];
            while (known < landIndices_.size() && landIndices_[known] < index) {
                indices.push_back(landIndices_[known]);
                lines.push_back(landLines_[known++]);
            }
            const bool listed = known < landIndices_.size() && landIndices_[known] == index;
            indices.push_back(index);
            lines.push_back(listed && !replaceKnown ? landLines_[known] : readLines[i]);
            if (listed) ++known;
            else ++landCount_;
        }
        indices.insert(indices.end(), landIndices_.begin() + static_cast<long>(known), landIndices_.end());
        lines.insert(lines.end(), landLines_.begin() + static_cast<long>(known), landLines_.end());
        ownIndices_ = std::move(indices);
        ownLines_ = std::move(lines);
    }
    landIndices_ = ownIndices_;
    landLines_ = ownLines_;
    finishLandIndex();
}

void StationCatalog::finishLandIndex()
{
    // Where each run of a hundred indices (the first three figures) starts.
    for (size_t hundreds = 0, i = 0; hundreds < kLandHundreds + 1; ++hundreds) {
        while (i < landIndices_.size() && static_cast<size_t>(landIndices_[i]) / 100 < hundreds) ++i;
        landHundreds_[hundreds] = static_cast<uint32_t>(i);
    }
    // Entries already taken apart are found again by their line. calloc's
    // pages come from the system zeroed and are touched only where a station
    // is looked up.
    landParsed_.reset(static_cast<const StationInfo**>(std::calloc(landLines_.size() + 1, sizeof(const StationInfo*))));
    if (!landParsed_) throw std::bad_alloc();
}

std::optional<std::string_view> StationCatalog::landLine(std::string_view index, size_t* position) const
{
    if (index.size() == 5) {
        const int number = fiveFigures(index.substr(0, 2), index.substr(2));
        if (number >= 0) {
            const size_t hundreds = static_cast<size_t>(number) / 100;
            const auto first = landIndices_.begin() + landHundreds_[hundreds];
            const auto end = landIndices_.begin() + landHundreds_[hundreds + 1];
            const auto at = std::lower_bound(first, end, number);
            if (at == end || *at != number) return std::nullopt;
            *position = static_cast<size_t>(at - landIndices_.begin());
            return lineText(landLines_[*position]);
        }
    }
    const auto other = otherLandLines_.find(index);
    if (other == otherLandLines_.end()) return std::nullopt;
    return lineText(other->second);
}

const StationInfo* StationCatalog::parsedLand(const std::string_view& line) const
{
    const std::lock_guard<std::mutex> hold(parsedLock_);
    std::unique_ptr<StationInfo>& info = parsed_[line.data()];
    if (!info) info = std::make_unique<StationInfo>(parseLandLine(line));
    return info.get();
}

void StationCatalog::loadBuoys(std::string_view text) { parseBuoys(text); }

void StationCatalog::parseBuoysOnFirstUse() const
{
    if (!unparsedBuoys_.empty()) std::call_once(buoysParsed_, [this] { indexBuoys(unparsedBuoys_); });
}

size_t StationCatalog::size() const
{
    parseBuoysOnFirstUse();
    return landCount_ + buoys_.size() + buoyLines_.size();
}

namespace {

// The id of a line of the buoy table, in capitals; empty where the line is
// not an entry.
std::string buoyId(std::string_view line, std::string_view (&f)[7])
{
    if (line.empty() || line.front() == '#' || splitInto(line, '|', f) < 7) return {};
    std::string id(trim(f[0]));
    for (char& c : id) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return id.empty() ? std::string(1, '\0') : id;  // an entry without an id is still one
}

StationInfo parseBuoyFields(const std::string_view (&f)[7])
{
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
    return info;
}

}  // namespace

void StationCatalog::parseBuoys(std::string_view text) const
{
    forEachLine(text, [this](std::string_view line) {
        std::string_view f[7];
        std::string id = buoyId(line, f);
        if (id.empty()) return;
        if (id.front() == '\0') id.clear();
        buoys_[id] = parseBuoyFields(f);
    });
}

void StationCatalog::indexBuoys(std::string_view text) const
{
    // Ids and lines only: a run meets a few buoys of the table's fifteen
    // hundred, each taken apart on its first lookup.
    forEachLine(text, [this](std::string_view line) {
        std::string_view f[7];
        std::string id = buoyId(line, f);
        if (id.empty()) return;
        if (id.front() == '\0') id.clear();
        buoyLines_.push_back({std::move(id), line});
    });
    // A later line of an id replaces an earlier one.
    std::stable_sort(buoyLines_.begin(), buoyLines_.end(), [](const BuoyLine& a, const BuoyLine& b) { return a.id < b.id; });
    size_t kept = 0;
    for (size_t i = 0; i < buoyLines_.size(); ++i) {
        if (i + 1 < buoyLines_.size() && buoyLines_[i + 1].id == buoyLines_[i].id) continue;
        if (kept != i) buoyLines_[kept] = std::move(buoyLines_[i]);
        ++kept;
    }
    buoyLines_.resize(kept);
}

const StationInfo* StationCatalog::landStation(std::string_view index) const
{
    size_t position = landLines_.size();
    const std::optional<std::string_view> line = landLine(index, &position);
    if (!line) return nullptr;
    if (position == landLines_.size()) return parsedLand(*line);
    // Once taken apart, an entry is found without the lock.
    const std::atomic_ref<const StationInfo*> slot(landParsed_[position]);
    const StationInfo* info = slot.load(std::memory_order_acquire);
    if (!info) {
        info = parsedLand(*line);
        slot.store(info, std::memory_order_release);
    }
    return info;
}

const StationInfo* StationCatalog::buoy(std::string_view id) const
{
    parseBuoysOnFirstUse();
    const auto it = buoys_.find(id);
    if (it != buoys_.end()) return &it->second;
    const auto line = std::lower_bound(buoyLines_.begin(), buoyLines_.end(), id,
                                       [](const BuoyLine& l, std::string_view wanted) { return l.id < wanted; });
    if (line == buoyLines_.end() || line->id != id) return nullptr;
    const std::atomic_ref<const StationInfo*> slot(line->parsed);
    const StationInfo* info = slot.load(std::memory_order_acquire);
    if (!info) {
        const std::lock_guard<std::mutex> hold(parsedLock_);
        std::unique_ptr<StationInfo>& owned = parsed_[line->line.data()];
        if (!owned) {
            std::string_view f[7];
            buoyId(line->line, f);
            owned = std::make_unique<StationInfo>(parseBuoyFields(f));
        }
        info = owned.get();
        slot.store(info, std::memory_order_release);
    }
    return info;
}

#ifndef PLUVANE_STATION_INDEX_WRITER
bool StationCatalog::adoptBuiltInIndex(std::string_view list, std::string_view supplement)
{
    using namespace builtin;
    if (!landTextViews_.empty() || list.size() != kLandListBytes || supplement.size() != kSupplementBytes) return false;
    const std::string_view texts[] = {list, supplement};
    // The index and the texts come from the same files of the same build;
    // a line that does not start with its own index would say otherwise.
    for (const size_t i : {size_t{0}, kLineCount / 2, kLineCount - 1}) {
        if (kLineCount == 0) break;
        const LineRef& line = kLines[i];
        if (line.text > 1 || line.offset + size_t{line.length} > texts[line.text].size()) return false;
        const std::string_view fields = trim(texts[line.text].substr(line.offset, line.length));
        if (fields.size() < 6 || fiveFigures(fields.substr(0, 2), fields.substr(3, 3)) != kIndices[i]) return false;
    }
    landTextViews_.assign(std::begin(texts), std::end(texts));
    landIndices_ = std::span<const int>(kIndices, kLineCount);
    landLines_ = std::span<const LineRef>(kLines, kLineCount);
    for (size_t i = 0; i < kOtherLineCount; ++i) otherLandLines_.emplace(kOtherLines[i].index, kOtherLines[i].line);
    landCount_ = kLandCount;
    finishLandIndex();
    indexMadeAtBuildTime_ = true;
    return true;
}

namespace {

// share/pluvane beside the program's bin/ (or libexec/), where the lists
// are installed; empty when the program's own path is unknown.
std::string installedDataDir()
{
    const std::string program = programDirectory();
    return program.empty() ? std::string() : program + "../" PLUVANE_RELATIVE_DATADIR "/";
}

// A list as the catalog reads it: a view of the text built into the
// program, or a copy of an installed file's.
struct ListText {
    std::string owned;
    std::string_view builtIn;
    bool isStatic() const { return owned.empty() && !builtIn.empty(); }
    std::string_view view() const { return isStatic() ? builtIn : std::string_view(owned); }
};

// An installed list wins over the one built in, so that a newer list from
// WMO or NDBC can be dropped in without a rebuild. As installed with the
// program it is the one built in, which comes indexed: compared where it
// lies in the page cache, it is not copied.
ListText readList(const std::string& dataDir, const char* name, std::string_view builtInText)
{
    ListText text{{}, builtInText};
    if (dataDir.empty()) return text;
    const int fd = ::open((dataDir + name).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return text;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
        const auto size = static_cast<size_t>(info.st_size);
        void* mapped = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
        if (mapped != MAP_FAILED) {
            const std::string_view installed(static_cast<const char*>(mapped), size);
            if (installed != builtInText) text.owned.assign(installed);
            ::munmap(mapped, size);
        }
    }
    ::close(fd);
    return text;
}

}  // namespace

const StationCatalog& StationCatalog::builtIn()
{
    // Made in place, never moved: its lines view its own texts. Kept to the
    // end of the process.
    static const StationCatalog& catalog = *[] {
        auto* made = new StationCatalog;
        StationCatalog& c = *made;
        const std::string dataDir = installedDataDir();
        const ListText land = readList(dataDir, "nsd_bbsss.txt", {builtin::kLandList, builtin::kLandListBytes});
        // Stations opened or renumbered since the land list's snapshot.
        const ListText supplement = readList(dataDir, "isd_stations.txt", {builtin::kSupplement, builtin::kSupplementBytes});
        // The lists built in come with their index; others are read through.
        if (!land.isStatic() || !supplement.isStatic() || !c.adoptBuiltInIndex(land.view(), supplement.view())) {
            c.loadLand(land.view(), true, land.isStatic());
            c.loadLand(supplement.view(), false, supplement.isStatic());
        }
        // Most runs meet few buoys or none: their table is read when one comes.
        const ListText buoys = readList(dataDir, "ndbc_station_table.txt", {builtin::kBuoyTable, builtin::kBuoyTableBytes});
        if (buoys.isStatic()) c.unparsedBuoys_ = buoys.view();
        else c.loadBuoys(buoys.view());
        return made;
    }();
    return catalog;
}

#endif

}  // namespace synop
