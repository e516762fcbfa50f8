// Freed heap pages between live blocks go back to the system, and the trimming thread stops at once.
#include "core/memorytrim.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <vector>

TEST(MemoryTrim, FreedPagesInsideTheHeapGoBack)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer keeps freed blocks in its own quarantine";
#endif
    // 64 MB of picture-sized pieces below the allocator's mmap threshold, freed but for the last,
    // which pins the heap's top so that free() alone cannot give the pages back.
    std::vector<void *> blocks;
    for (int i = 0; i < 1024; ++i) {
        void *p = std::malloc(64 * 1024);
        std::memset(p, 1, 64 * 1024);
        blocks.push_back(p);
    }
    for (size_t i = 0; i + 1 < blocks.size(); ++i)
        std::free(blocks[i]);
    EXPECT_GT(MemoryTrim::TrimNow(), 32 * 1024) << "kB given back";
    std::free(blocks.back());

    const auto started = std::chrono::steady_clock::now();
    { const MemoryTrim trim(std::chrono::hours(1)); }
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1)) << "the thread stops when asked";
}
