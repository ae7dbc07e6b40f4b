#pragma once
// Station names for WMO land station indices and buoy numbers, from the
// tables compiled into the library.
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
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
    size_t size() const { return landCount_ + buoys_.size(); }

private:
    // Looked up by a view of the report's station, without a copy.
    struct Hash {
        using is_transparent = void;
        size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };
    using Table = std::unordered_map<std::string, StationInfo, Hash, std::equal_to<>>;
    // The land list has some thirteen thousand lines and a run looks up a
    // few hundred stations: lines are found by index when the list is read
    // and taken apart on their first lookup.
    const std::string_view* landLine(std::string_view index) const;
    void loadLand(std::string_view text, bool replaceKnown);
    std::deque<std::string> landTexts_;                // every text loaded, which the lines view
    std::vector<std::string_view> landLines_;          // by five-figure index; empty: none
    std::unordered_map<std::string, std::string_view, Hash, std::equal_to<>> otherLandLines_;  // other indices
    size_t landCount_ = 0;
    mutable std::mutex parsedLock_;
    mutable std::unordered_map<const char*, std::unique_ptr<StationInfo>> parsed_;  // by line
    Table buoys_;
};

// "52-13N" or "52-13-30N" or "008-40W" to signed degrees.
std::optional<double> parseDegrees(std::string_view text);

}  // namespace synop
