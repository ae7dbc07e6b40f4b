#include "NaiveDecoder.h"

#include <regex>
#include <sstream>
#include <vector>

namespace bench {

NaiveCounts naiveDecode(const std::string& text)
{
    static const std::regex station(R"(^\d{5}$)");
    static const std::regex temperature(R"(^1([01])(\d{3})$)");
    static const std::regex pressure(R"(^4(\d{4})$)");
    static const std::regex wind(R"(^(\d|/)(\d\d)(\d\d)$)");
    NaiveCounts counts;
    std::string buffer;
    buffer.reserve(text.size());
    for (char c : text) buffer.push_back(c == '\r' || c == '\n' ? ' ' : c);
    std::stringstream reports(buffer);
    std::string report;
    bool land = false;
    while (std::getline(reports, report, '=')) {
        std::istringstream groups(report);
        std::vector<std::string> g;
        for (std::string s; groups >> s;) {
            if (s == "AAXX") {
                land = true;
                g.clear();
                groups >> s;  // YYGGiw
                continue;
            }
            if (s == "NNNN") land = false;
            g.push_back(s);
        }
        if (!land || g.size() < 3 || !std::regex_match(g[0], station)) continue;
        ++counts.reports;
        std::smatch m;
        std::regex_match(g[2], m, wind);
        for (size_t i = 3; i < g.size() && g[i] != "333"; ++i) {
            if (std::regex_match(g[i], m, temperature)) {
                ++counts.temperatures;
            } else {
                std::regex_match(g[i], m, pressure);
            }
        }
    }
    return counts;
}

}  // namespace bench
