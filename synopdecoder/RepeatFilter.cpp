#include "synopdecoder/RepeatFilter.h"

#include "synopdecoder/GroupText.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <string_view>
#include <utility>

namespace synop {
namespace {

bool wellFormed(const std::string& g) { return (g.size() == 5 || g.size() == 3) && isCodedGroup(g, g.size()); }

// Every sound group of the later copy stands in the earlier one, in the
// same order: what differs was lost or garbled on the way. The earlier copy
// is its key, the groups joined by spaces.
bool isFadedCopy(const std::vector<std::string>& later, std::string_view earlier)
{
    size_t at = 0;
    for (const std::string& g : later) {
        if (!wellFormed(g)) continue;
        while (true) {
            if (at >= earlier.size()) return false;
            const size_t end = std::min(earlier.find(' ', at), earlier.size());
            const bool same = earlier.substr(at, end - at) == g;
            at = end + 1;
            if (same) break;
        }
    }
    return true;
}

uint64_t hashOf(const std::string& key) { return std::hash<std::string_view>{}(key); }

}  // namespace

RepeatFilter::SlotIndex::SlotIndex(size_t capacity)
{
    size_t size = 16;
    while (size < 2 * capacity) size *= 2;  // at most half full: short probes
    cells_.assign(size, -1);
    mask_ = size - 1;
}

long RepeatFilter::SlotIndex::find(uint64_t hash, const std::string& key, const std::vector<Entry>& ring,
                                   bool byStation) const
{
    for (size_t cell = hash & mask_; cells_[cell] >= 0; cell = (cell + 1) & mask_) {
        const Entry& e = ring[static_cast<size_t>(cells_[cell])];
        if (byStation ? e.stationHash == hash && e.station == key : e.wholeHash == hash && e.whole == key)
            return static_cast<long>(cell);
    }
    return -1;
}

void RepeatFilter::SlotIndex::insert(uint64_t hash, int slot)
{
    size_t cell = hash & mask_;
    while (cells_[cell] >= 0) cell = (cell + 1) & mask_;
    cells_[cell] = slot;
}

void RepeatFilter::SlotIndex::erase(long cell, const std::vector<Entry>& ring, bool byStation)
{
    // Cells after the hole move back into it unless that would put them
    // before their home cell: every key stays reachable from its home.
    size_t hole = static_cast<size_t>(cell);
    for (size_t at = (hole + 1) & mask_; cells_[at] >= 0; at = (at + 1) & mask_) {
        const Entry& e = ring[static_cast<size_t>(cells_[at])];
        const size_t home = (byStation ? e.stationHash : e.wholeHash) & mask_;
        if (((at - home) & mask_) >= ((at - hole) & mask_)) {
            cells_[hole] = cells_[at];
            hole = at;
        }
    }
    cells_[hole] = -1;
}

RepeatFilter::RepeatFilter(size_t capacity)
    : capacity_(std::max<size_t>(capacity, 1)), wholes_(std::min<size_t>(capacity_, 8)),
      stations_(std::min<size_t>(capacity_, 8))
{
}

void RepeatFilter::rebuildIndexes(size_t entries)
{
    SlotIndex wholes(entries), stations(entries);
    // Slots in the order they were filled: a station's cell ends on its
    // latest copy, as it did in the smaller index.
    for (size_t slot = 0; slot < ring_.size(); ++slot) {
        const Entry& e = ring_[slot];
        wholes.insert(e.wholeHash, static_cast<int>(slot));
        const long cell = stations.find(e.stationHash, e.station, ring_, true);
        if (cell >= 0) stations.set(cell, static_cast<int>(slot));
        else stations.insert(e.stationHash, static_cast<int>(slot));
    }
    wholes_ = std::move(wholes);
    stations_ = std::move(stations);
}

void RepeatFilter::forgetOldest()
{
    const int oldest = static_cast<int>(next_);
    const Entry& e = ring_[next_];
    if (const long cell = wholes_.find(e.wholeHash, e.whole, ring_, false); cell >= 0) wholes_.erase(cell, ring_, false);
    // The station's entry may be a later copy's by now: that one stays.
    const long cell = stations_.find(e.stationHash, e.station, ring_, true);
    if (cell >= 0 && stations_.at(cell) == oldest) stations_.erase(cell, ring_, true);
}

bool RepeatFilter::isRepeat(const AssembledReport& report)
{
    // The whole key, "AAXX 08061 10015 41480 ...", made in one piece; the
    // station's key is its beginning up to the first group.
    const std::string_view form = reportFormCode(report.form);
    size_t size = form.size() + 2 + report.landDateGroup.size();
    for (const std::string& g : report.groups) size += g.size() + 1;
    whole_.clear();
    whole_.resize(size - (report.groups.empty() ? 0 : 1));
    char* at = whole_.data();
    auto put = [&at](std::string_view text) {
        std::memcpy(at, text.data(), text.size());
        at += text.size();
    };
    put(form);
    *at++ = ' ';
    put(report.landDateGroup);
    *at++ = ' ';
    size_t stationLength = whole_.size();
    for (size_t i = 0; i < report.groups.size(); ++i) {
        if (i) *at++ = ' ';
        put(report.groups[i]);
        if (i == 0) stationLength = static_cast<size_t>(at - whole_.data());
    }
    station_.assign(whole_, 0, stationLength);
    const uint64_t wholeHash = hashOf(whole_);
    if (wholes_.find(wholeHash, whole_, ring_, false) >= 0) return true;
    // A faded copy is known by its bulletin: the same heading again. Without
    // a heading, two reports of a station may be two observations. A
    // correction (BBB = CCx) may well leave groups out on purpose.
    if (report.heading) {
        const BulletinHeading& h = *report.heading;
        station_.append(" ").append(h.ttaaii).append(" ").append(h.cccc).append(" ").append(h.yygggg);
    }
    const uint64_t stationHash = hashOf(station_);
    const long earlier = stations_.find(stationHash, station_, ring_, true);
    const bool correction = report.heading && !report.heading->bbb.empty() && report.heading->bbb[0] == 'C';
    if (report.heading && !correction && earlier >= 0 && report.groups.size() > 1
        && isFadedCopy(report.groups, ring_[static_cast<size_t>(stations_.at(earlier))].whole))
        return true;

    if (used_ == capacity_) {
        forgetOldest();
    } else {
        // Still filling, so nothing was forgotten yet and slots are in the
        // order they were filled. The indexes stay at most half full.
        if (2 * (used_ + 1) > wholes_.cells()) rebuildIndexes(std::min(capacity_, 2 * (used_ + 1)));
        ring_.emplace_back();
        ++used_;
    }
    const int slot = static_cast<int>(next_);
    Entry& e = ring_[next_];
    e.whole.assign(whole_);
    e.station.assign(station_);
    e.wholeHash = wholeHash;
    e.stationHash = stationHash;
    wholes_.insert(wholeHash, slot);
    // The station's last copy passed on is this one now (looked up again:
    // forgetting the oldest may have moved cells).
    const long cell = stations_.find(stationHash, station_, ring_, true);
    if (cell >= 0) stations_.set(cell, slot);
    else stations_.insert(stationHash, slot);
    next_ = (next_ + 1) % capacity_;
    return false;
}

}  // namespace synop
