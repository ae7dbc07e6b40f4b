// The repeat filter against a plain model of what it must decide (sets and
// maps of joined keys, a queue for the oldest), on many reports drawn from a
// small pool so that exact repeats, faded copies, corrections and reports
// forgotten and seen again all happen, with a small memory that is full
// most of the time.
#include "synopdecoder/RepeatFilter.h"

#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <random>
#include <set>

namespace synop {
namespace {

class ModelFilter {
public:
    explicit ModelFilter(size_t capacity) : capacity_(capacity) {}
    bool isRepeat(const AssembledReport& r)
    {
        std::string station = std::string(reportFormCode(r.form)) + ' ' + r.landDateGroup + ' '
            + (r.groups.empty() ? std::string() : r.groups.front());
        std::string whole = station;
        for (size_t i = 1; i < r.groups.size(); ++i) whole += ' ' + r.groups[i];
        if (seen_.count(whole)) return true;
        if (r.heading) station += ' ' + r.heading->ttaaii + ' ' + r.heading->cccc + ' ' + r.heading->yygggg;
        const bool correction = r.heading && !r.heading->bbb.empty() && r.heading->bbb[0] == 'C';
        const auto earlier = byStation_.find(station);
        if (r.heading && !correction && earlier != byStation_.end() && r.groups.size() > 1 && faded(r.groups, earlier->second))
            return true;
        seen_.insert(whole);
        byStation_[station] = whole;
        order_.emplace_back(whole, station);
        if (order_.size() > capacity_) {
            const auto& [oldWhole, oldStation] = order_.front();
            seen_.erase(oldWhole);
            const auto e = byStation_.find(oldStation);
            if (e != byStation_.end() && e->second == oldWhole) byStation_.erase(e);
            order_.pop_front();
        }
        return false;
    }

private:
    // Every group of five or three figures of the later copy appears in the
    // earlier one's words, in order.
    static bool faded(const std::vector<std::string>& later, const std::string& earlier)
    {
        std::vector<std::string> words;
        for (size_t at = 0; at <= earlier.size();) {
            const size_t end = std::min(earlier.find(' ', at), earlier.size());
            words.push_back(earlier.substr(at, end - at));
            at = end + 1;
        }
        size_t w = 0;
        for (const std::string& g : later) {
            const bool sound = (g.size() == 5 || g.size() == 3) && g.find_first_not_of("0123456789/") == std::string::npos;
            if (!sound) continue;
            while (w < words.size() && words[w] != g) ++w;
            if (w++ >= words.size()) return false;
        }
        return true;
    }
    size_t capacity_;
    std::set<std::string> seen_;
    std::map<std::string, std::string> byStation_;
    std::deque<std::pair<std::string, std::string>> order_;
};

TEST(RepeatFilter, DecidesAsThePlainModelWhileItsMemoryTurnsOver)
{
    // Memories that fill while the indexes grow (the draw has some ten
    // thousand different reports), as well as ones that turn over at once.
    for (const size_t capacity : {1, 3, 9, 16, 100, 2000}) {
        std::mt19937 random(static_cast<unsigned>(capacity));
        auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
        RepeatFilter filter(capacity);
        ModelFilter model(capacity);
        const std::vector<std::string> pool = {"11111", "22222", "333", "1/2//", "46///", "8TT55", "99123"};
        size_t repeats = 0;
        for (int n = 0; n < 20000; ++n) {
            AssembledReport r;
            r.form = pick(5) == 0 ? ReportForm::Ship : ReportForm::Land;
            if (r.form == ReportForm::Land) r.landDateGroup = pick(4) == 0 ? "" : "0" + std::to_string(1 + pick(2)) + "001";
            r.groups.push_back("0" + std::to_string(1000 + pick(4)));  // the station
            for (int g = pick(4); g > 0; --g) r.groups.push_back(pool[static_cast<size_t>(pick(pick(3) ? 3 : static_cast<int>(pool.size())))]);
            if (pick(3) != 0) {
                r.heading = BulletinHeading{"SMXX" + std::to_string(10 + pick(2)), "XXXX", "011200", ""};
                if (pick(6) == 0) r.heading->bbb = pick(2) ? "CCA" : "RRA";
            }
            const bool expected = model.isRepeat(r);
            ASSERT_EQ(filter.isRepeat(r), expected) << "capacity " << capacity << ", report " << n;
            repeats += expected;
        }
        // The draw is meant to give both answers often, whatever the memory.
        EXPECT_GT(repeats, 100u) << capacity;
        EXPECT_LT(repeats, 18000u) << capacity;
    }
}

}  // namespace
}  // namespace synop
