#pragma once
// Waiting for the event loop in GoogleTest tests. QtTest's QTRY_* macros
// only return from the test function when they time out, which GoogleTest
// counts as a pass; these fail the test instead.
#include <QTest>
#include <gtest/gtest.h>

#define WAIT_FOR_TRUE(condition, timeoutMs)                                                      \
    ASSERT_TRUE(QTest::qWaitFor([&] { return static_cast<bool>(condition); }, timeoutMs))      \
        << "waited " << (timeoutMs) << " ms for " #condition

#define WAIT_FOR_EQ(actual, expected, timeoutMs)                                                 \
    do {                                                                                         \
        (void)QTest::qWaitFor([&] { return (actual) == (expected); }, timeoutMs);                \
        ASSERT_EQ(actual, expected) << "after waiting " << (timeoutMs) << " ms";                 \
    } while (false)
