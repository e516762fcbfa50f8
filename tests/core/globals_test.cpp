// The shared mutexes: created once as at start-up, and loud when one is missing.
#include "core/globals.h"

#include <gtest/gtest.h>

#include <QMutex>

TEST(SharedMutexes, CreatedOnceAndAMissingOneEndsTheProcess)
{
    QMutex *const io = pMutexIO;
    ASSERT_NE(io, nullptr) << "the test main creates them as the start-up does";
    CreateSharedMutexes();
    EXPECT_EQ(pMutexIO, io) << "existing mutexes are kept";
    EXPECT_EQ(SharedMutex(pMutex[7], "pMutex[7]"), pMutex[7]);

    // QMutexLocker(nullptr) would lock nothing; the lock sites refuse to go on instead.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(SharedMutex(nullptr, "pMutexIO"), "pMutexIO was never created");
}
