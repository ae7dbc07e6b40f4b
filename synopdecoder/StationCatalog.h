#pragma once
// Station names for WMO land station indices and buoy numbers, from the
// tables compiled into the library.
#include <array>
#include <atomic>
#include <cstdlib>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace synop {

struct StationInfo {
    std::string name;
    std::string country;
    std::optional<double> lat, lon;      // degrees, north and east positive
    std::optional<int> elevationM;
};

class StationCatalog {
public:
    StationCatalog() = default;
    StationCatalog(const StationCatalog&) = delete;  // its lines view its own texts
    StationCatalog& operator=(const StationCatalog&) = delete;

    // The installed tables, else those compiled into the library; read once
    // on first use.
    static const StationCatalog& builtIn();

    // Table text as found in the two station lists; used by the tests too.
    void loadLandStations(std::string_view text);
    // A list in the land list's format for the stations it lacks: read after
    // it, a line is taken only for an index that no list read before has.
    void loadLandSupplement(std::string_view text);
    void loadBuoys(std::string_view text);

    // Safe to call from several threads at once.
    const StationInfo* landStation(std::string_view index) const;
    const StationInfo* buoy(std::string_view id) const;
    size_t size() const;
    // Whether the land lists' index was made at build time (the lists built
    // in) rather than by reading them through.
    bool indexMadeAtBuildTime() const { return indexMadeAtBuildTime_; }

    // Where a land station's line lies: which of the texts read, and where
    // in it. The lists built in have theirs made at build time.
    struct LineRef {
        uint32_t text;
        uint32_t offset;
        uint32_t length;
    };
    struct OtherLineRef {
        const char* index;  // not five figures
        LineRef line;
    };

private:
    friend struct StationIndexWriter;  // writes the built-in lists' index at build time
    // Looked up by a view of the report's station, without a copy.
    struct Hash {
        using is_transparent = void;
        size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };
    using Table = std::unordered_map<std::string, StationInfo, Hash, std::equal_to<>>;
    // The land list has some thirteen thousand lines and a run looks up a
    // few hundred stations: the lines are indexed by their five figures
    // when the list is read (a sorted table, not an entry per possible
    // index) and taken apart on their first lookup.
    std::optional<std::string_view> landLine(std::string_view index, size_t* position) const;
    std::string_view lineText(const LineRef& line) const { return landTextViews_[line.text].substr(line.offset, line.length); }
    void loadLand(std::string_view text, bool replaceKnown, bool textIsStatic);
    // The index made at build time, taken over when the texts are the lists
    // built in; false, and nothing changed, when they are not.
    bool adoptBuiltInIndex(std::string_view list, std::string_view supplement);
    void finishLandIndex();
    const StationInfo* parsedLand(const std::string_view& line) const;
    std::deque<std::string> landTexts_;                // every text loaded but the built-in ones, which the lines view
    std::vector<std::string_view> landTextViews_;      // every land text read, by LineRef::text
    std::span<const int> landIndices_;                 // five-figure indices, ascending
    std::span<const LineRef> landLines_;               // the line of each of landIndices_
    std::vector<int> ownIndices_;                      // what the two above view, unless made at build time
    std::vector<LineRef> ownLines_;
    static constexpr size_t kLandHundreds = 1000;
    std::array<uint32_t, kLandHundreds + 1> landHundreds_{};  // by an index's first three figures: its first place in landIndices_
    struct FreeMemory {
        void operator()(const StationInfo** p) const { std::free(p); }
    };
    std::unique_ptr<const StationInfo*[], FreeMemory> landParsed_;  // each of landLines_ once taken apart (atomic_ref)
    std::unordered_map<std::string, LineRef, Hash, std::equal_to<>> otherLandLines_;  // other indices
    size_t landCount_ = 0;
    bool indexMadeAtBuildTime_ = false;
    mutable std::mutex parsedLock_;
    mutable std::unordered_map<const char*, std::unique_ptr<StationInfo>> parsed_;  // by line; owns what landParsed_ points to
    void parseBuoys(std::string_view text) const;
    void indexBuoys(std::string_view text) const;
    void parseBuoysOnFirstUse() const;
    struct BuoyLine {
        std::string id;  // in capitals
        std::string_view line;
        mutable const StationInfo* parsed = nullptr;  // once taken apart (atomic_ref)
    };
    mutable std::vector<BuoyLine> buoyLines_;  // the built-in table's entries by id, taken apart on lookup
    std::string_view unparsedBuoys_;  // a built-in table, read on the first buoy looked up
    mutable std::once_flag buoysParsed_;
    mutable Table buoys_;  // tables loaded whole
};

// "52-13N" or "52-13-30N" or "008-40W" to signed degrees.
std::optional<double> parseDegrees(std::string_view text);

}  // namespace synop
