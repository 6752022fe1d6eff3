// The heap's per-thread spare block, as the shipped library links it (the
// test archive's allocator keeps none): a released block serves only a later
// request that it holds with at most a quarter of it to spare, and only a
// small one is kept. Each case runs in a thread of its own, which starts with no block
// kept and gives its block back when it ends (LeakSanitizer checks that in
// the sanitizer build, AddressSanitizer that a reused block holds the request).
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <thread>

#include "base/Memory.h"

namespace {

struct Case {
  std::size_t released;
  std::size_t asked;
  bool reused;
};

TEST(ReusableBlocks, AReleasedBlockServesOnlyARequestItHoldsWithLittleToSpare) {
  const Case cases[] = {
      {300, 300, true},  {300, 240, true},   {300, 239, false},   {300, 301, false},
      {16, 13, true},    {16, 12, false},    {4096, 4096, true},  {4096, 3276, false},
  };
  for (const Case& c : cases) {
    std::thread([&c] {
      std::size_t capacity = 0;
      void* released = exprcalc::AllocateReusable(c.released, capacity);
      ASSERT_NE(released, nullptr);
      EXPECT_EQ(capacity, c.released);
      exprcalc::ReleaseReusable(released, capacity);
      void* next = exprcalc::AllocateReusable(c.asked, capacity);
      ASSERT_NE(next, nullptr);
      EXPECT_EQ(next == released, c.reused) << c.released << " then " << c.asked;
      EXPECT_EQ(capacity, c.reused ? c.released : c.asked);
      std::memset(next, 0xA5, capacity);
      exprcalc::ReleaseReusable(next, capacity);
    }).join();
  }
}

// A block past the limit goes back to the heap at once: it does not take the
// place of the small block kept.
TEST(ReusableBlocks, ALargeBlockIsNotKept) {
  std::thread([] {
    std::size_t largeCapacity = 0;
    std::size_t smallCapacity = 0;
    void* large = exprcalc::AllocateReusable(4097, largeCapacity);
    void* small = exprcalc::AllocateReusable(300, smallCapacity);
    ASSERT_NE(large, nullptr);
    ASSERT_NE(small, nullptr);
    exprcalc::ReleaseReusable(small, smallCapacity);
    exprcalc::ReleaseReusable(large, largeCapacity);
    std::size_t capacity = 0;
    void* next = exprcalc::AllocateReusable(300, capacity);
    EXPECT_EQ(next, small);
    exprcalc::ReleaseReusable(next, capacity);
  }).join();
}

}  // namespace
