#pragma once
// Remembers the reports passed on, so that the reports of a repeated
// bulletin are passed on once: also when a fade cost the repeat some of its
// groups, since such a copy tells nothing the first did not.
//
// The memory is a ring of the last reports passed on with two hash indexes
// over it. They grow with the reports passed on up to the ring's capacity
// and no further: checking a report allocates nothing once the ring is full,
// which matters as every report of a stream goes through here, and a short
// stream or one file does not pay for the whole memory up front.
#include "synopdecoder/Report.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace synop {

class RepeatFilter {
public:
    explicit RepeatFilter(size_t capacity);

    // True when the report was passed on before, whole or with more groups;
    // otherwise it is remembered as passed on.
    bool isRepeat(const AssembledReport& report);

private:
    struct Entry {
        std::string whole;    // form, date group and every group, joined by spaces
        std::string station;  // form, date group, station and heading: one bulletin's report of a station
        uint64_t wholeHash = 0, stationHash = 0;
    };

    // Ring slots by hash: linear probing, -1 for an empty cell; a slot's
    // hash is read from its entry, so that erasing can shift cells back.
    class SlotIndex {
    public:
        explicit SlotIndex(size_t capacity);
        // The cell holding a slot whose key is `key`, or -1.
        long find(uint64_t hash, const std::string& key, const std::vector<Entry>& ring, bool byStation) const;
        void insert(uint64_t hash, int slot);
        void set(long cell, int slot) { cells_[static_cast<size_t>(cell)] = slot; }
        int at(long cell) const { return cells_[static_cast<size_t>(cell)]; }
        void erase(long cell, const std::vector<Entry>& ring, bool byStation);
        size_t cells() const { return cells_.size(); }

    private:
        std::vector<int> cells_;
        size_t mask_;
    };

    void forgetOldest();
    // Indexes sized for `entries`, holding the ring's entries as they are.
    void rebuildIndexes(size_t entries);

    size_t capacity_;
    std::vector<Entry> ring_;  // grows to capacity_, then turns over
    size_t next_ = 0;  // the slot the next report passed on takes; the oldest once the ring is full
    size_t used_ = 0;
    SlotIndex wholes_, stations_;
    std::string whole_, station_;  // the report's keys, built in place
};

}  // namespace synop
