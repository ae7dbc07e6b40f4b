// The set of stored stations and times that lets storing skip the log for a
// key it has never held: a key lost from it would let a repeat or a
// correction be stored as a new report, so every key put in must be found.
#include "synoplog/StoreStaging.h"

#include <gtest/gtest.h>

using synop::sql::KeyHashSet;

TEST(KeyHashSet, FindsEveryKeyAcrossGrowthAndCollisions)
{
    KeyHashSet set;
    EXPECT_FALSE(set.contains(42));
    // Keys that fall on the same slot whatever the table's size, a zero
    // hash, and enough keys to grow the table several times.
    std::vector<uint64_t> keys = {0, 1, 1ULL << 40, 2ULL << 40, 3ULL << 40, ~0ULL};
    for (uint64_t k = 0; k < 20000; ++k) keys.push_back(k * 0x9E3779B97F4A7C15ULL + 7);
    for (const uint64_t k : keys) set.insert(k);
    for (const uint64_t k : keys) EXPECT_TRUE(set.contains(k)) << k;
    // The zero hash shares its slot with 1; inserting either again adds nothing.
    const size_t size = set.size();
    set.insert(0);
    set.insert(1ULL << 40);
    EXPECT_EQ(set.size(), size);
    EXPECT_FALSE(set.contains(5ULL << 40));
    EXPECT_FALSE(set.contains(123456789));

    set.clear();
    EXPECT_EQ(set.size(), 0u);
    EXPECT_FALSE(set.contains(1ULL << 40));
    set.insert(3ULL << 40);
    EXPECT_TRUE(set.contains(3ULL << 40));
    EXPECT_FALSE(set.contains(2ULL << 40));
}
