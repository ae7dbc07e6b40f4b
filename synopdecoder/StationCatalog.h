#pragma once
// Station names for WMO land station indices and buoy numbers, from the
// tables compiled into the library.
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace synop {

struct StationInfo {
    std::string name;
    std::string country;
    std::optional<double> lat, lon;      // degrees, north and east positive
    std::optional<int> elevationM;
};

class StationCatalog {
public:
    // The installed tables, else those compiled into the library; read once
    // on first use.
    static const StationCatalog& builtIn();

    // Table text as found in the two station lists; used by the tests too.
    void loadLandStations(std::string_view text);
    void loadBuoys(std::string_view text);

    const StationInfo* landStation(std::string_view index) const;
    const StationInfo* buoy(std::string_view id) const;
    size_t size() const { return land_.size() + buoys_.size(); }

private:
    // Looked up by a view of the report's station, without a copy.
    struct Hash {
        using is_transparent = void;
        size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };
    using Table = std::unordered_map<std::string, StationInfo, Hash, std::equal_to<>>;
    Table land_;
    Table buoys_;
};

// "52-13N" or "52-13-30N" or "008-40W" to signed degrees.
std::optional<double> parseDegrees(std::string_view text);

}  // namespace synop
