#pragma once
// What storing keeps in memory between statements, internal to the log.
//
// A batch's new reports are held here and written together when the batch
// commits, so that a repeat heard in the same batch is counted into the row
// before it is written, and deciding what a report is (new, a repeat, a
// correction, another reading) asks SQLite nothing for a station and time
// the log has never held, and asks once a batch for one it holds. The keys
// of the log's stations and times are kept from batch to batch; what
// another connection writes meanwhile, SQLite's data_version tells at the
// start of each batch, and its keys are added.
#include "synopdecoder/Report.h"
#include "synopdecoder/StationPlace.h"

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace synop::sql {

// A station and time (or a station without a usable time) of one form.
struct IdentityKey {
    std::string station;
    char form = 'A';                  // the form code's first letter: A, B or Z
    std::optional<int64_t> observed;  // ms since 1970, UTC

    bool operator==(const IdentityKey&) const = default;
    uint64_t hash() const;
};

struct IdentityKeyHash {
    size_t operator()(const IdentityKey& key) const { return static_cast<size_t>(key.hash()); }
};

// One stored or staged reading of a station and time, as far as deciding
// about the next one needs it.
struct Reading {
    int64_t id = 0;
    std::string groups;
    bool current = true;
    int rank = 0;  // 0 first issue, 1 CCA/AAA, 2 CCB, ...
    std::optional<BulletinHeading> heading;
    int64_t receivedMs = 0;
    int staged = -1;  // its place among the staged rows; -1 once written
};

// A new report of the open batch, not yet written.
struct StagedRow {
    int64_t id = 0;
    std::string form, station;
    std::optional<int64_t> observedMs;
    int64_t receivedMs = 0, lastHeardMs = 0;
    int timesHeard = 1;
    std::optional<BulletinHeading> heading;
    std::string dateGroup, groups, raw, assemblyWarnings;
    bool plausibilityChecks = true;
    bool nil = false;
    int64_t warningCount = 0;
    StationPlace place;
    int64_t supersededBy = 0;
};

// A set of 64-bit hashes in one open-addressed array: a lookup touches one
// place of memory where a node-based set touched two or three, and the set
// is freed in one piece. Zero marks a free slot; the hash 0 is kept as 1,
// which at worst makes two keys share a hash (a look at the log, no more).
class KeyHashSet {
public:
    bool contains(uint64_t hash) const
    {
        if (slots_.empty()) return false;
        hash = hash ? hash : 1;
        for (size_t at = hash & mask_;; at = (at + 1) & mask_) {
            if (slots_[at] == hash) return true;
            if (slots_[at] == 0) return false;
        }
    }
    void insert(uint64_t hash)
    {
        hash = hash ? hash : 1;
        if ((count_ + 1) * 2 > slots_.size()) grow();
        size_t at = hash & mask_;
        for (; slots_[at] != 0; at = (at + 1) & mask_)
            if (slots_[at] == hash) return;
        slots_[at] = hash;
        ++count_;
    }
    size_t size() const { return count_; }
    void clear()
    {
        slots_.clear();
        slots_.shrink_to_fit();
        count_ = 0;
        mask_ = 0;
    }

private:
    void grow()
    {
        std::vector<uint64_t> old = std::move(slots_);
        slots_.assign(old.empty() ? 1024 : old.size() * 2, 0);
        mask_ = slots_.size() - 1;
        count_ = 0;
        for (const uint64_t hash : old)
            if (hash) insert(hash);
    }

    std::vector<uint64_t> slots_;
    size_t count_ = 0;
    size_t mask_ = 0;
};

struct StoreStaging {
    // The readings of each dated station and time met in this batch: the
    // stored ones as read from the log, then those added since.
    std::unordered_map<IdentityKey, std::vector<Reading>, IdentityKeyHash> readings;
    // Staged readings of undated reports (whose stored ones are always read
    // from the log, within the repeat window of their reception).
    std::unordered_map<IdentityKey, std::vector<Reading>, IdentityKeyHash> undatedStaged;
    std::vector<StagedRow> rows;
    // Repeats of rows written before this batch, counted up together when
    // it is written rather than by a statement for each.
    struct HeardAgain {
        int64_t id = 0, times = 0, lastMs = 0;
    };
    std::vector<HeardAgain> heardAgain;
    std::unordered_map<int64_t, size_t> heardAgainAt;
    // Kept from report to report so that deciding allocates nothing.
    std::string groupsText;
    std::vector<const Reading*> ordered;
    int64_t nextId = 1;
    int64_t knownUpToId = 0;  // every row up to this id has its key in `storedKeys`
    std::optional<int64_t> dataVersion;

    // The hashes of every station and time in the log, once loading them
    // is cheaper than asking for each report: a key not among them is new
    // without a look at the log. A hash shared by chance only costs a look.
    bool keysLoaded = false;
    KeyHashSet storedKeys;
    int64_t lookups = 0;  // looks at the log since the keys were last dropped

    // Everything here may be out of date: another connection wrote, a batch
    // was rolled back, or the connection changed.
    void forget()
    {
        readings.clear();
        undatedStaged.clear();
        rows.clear();
        heardAgain.clear();
        heardAgainAt.clear();
        keysLoaded = false;
        storedKeys.clear();
        lookups = 0;
        knownUpToId = 0;
        dataVersion.reset();
    }
};

}  // namespace synop::sql
