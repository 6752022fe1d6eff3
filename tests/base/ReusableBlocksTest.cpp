// The heap's per-thread spare block, as the shipped library links it (the
// test archive's allocator keeps none), against a model of the rule: a
// released block of at most 4 KiB is kept in place of the one kept before,
// and serves the next request that it holds with at most a quarter of it to
// spare. The series runs in a thread of its own, which gives its block back
// when it ends (LeakSanitizer checks that in the sanitizer build,
// AddressSanitizer that a reused block holds the request).
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <thread>

#include "base/Memory.h"

TEST(ReusableBlocks, AKeptBlockServesTheRequestsItHoldsWithLittleToSpare) {
  // Each request is released at once; the large ones never displace the kept block.
  const std::size_t sizes[] = {300, 300, 240, 239, 301, 5000, 301, 16, 13, 12, 4096, 3276, 4097, 4096, 4096};
  std::thread([&sizes] {
    void* kept = nullptr;  // the model's slot
    std::size_t keptSize = 0;
    for (const std::size_t size : sizes) {
      std::size_t capacity = 0;
      void* block = exprcalc::AllocateReusable(size, capacity);
      ASSERT_NE(block, nullptr);
      const bool fits = kept != nullptr && keptSize >= size && keptSize - size <= size / 4;
      EXPECT_EQ(block == kept, fits) << size << " after " << keptSize;
      EXPECT_EQ(capacity, fits ? keptSize : size);
      std::memset(block, 0xA5, capacity);
      if (fits) kept = nullptr;
      exprcalc::ReleaseReusable(block, capacity);
      if (capacity <= 4096) {
        kept = block;
        keptSize = capacity;
      }
    }
  }).join();
}
