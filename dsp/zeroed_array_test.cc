#include "dsp/zeroed_array.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>

namespace {

// Sizes on both sides of the switch from calloc to mapped 2 MiB pages, one whole page, and
// one that ends a double past it (where an unrounded mapping length would cut the array short).
constexpr size_t kCounts[] = {0, 1, 7, 32767, 32768, 32769, 262144, 262145, 1 << 20};

TEST(ZeroedArrayTest, ZeroFilledAlignedAndWritableToTheEnd) {
  for (const size_t count : kCounts) {
    SCOPED_TRACE("count " + std::to_string(count));
    ZeroedArray a = AllocateZeroed(count);
    ASSERT_NE(a.data, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(a.data) % 64, 0u);
    size_t nonzero = 0;
    for (size_t i = 0; i < count; ++i) nonzero += a.data[i] != 0.0;
    EXPECT_EQ(nonzero, 0u);
    // Every entry can be written and read back; a short block would fault or corrupt the heap.
    for (size_t i = 0; i < count; ++i) a.data[i] = static_cast<double>(i);
    size_t changed = 0;
    for (size_t i = 0; i < count; ++i) changed += a.data[i] != static_cast<double>(i);
    EXPECT_EQ(changed, 0u);
  }
}

// Releasing an array and allocating again gives zeros, not the old values: released memory
// that came back to the caller unzeroed would leak one run's samples into the next array.
TEST(ZeroedArrayTest, FreshArraysAreZeroAfterARelease) {
  for (const size_t count : {size_t{1000}, size_t{1} << 18}) {
    SCOPED_TRACE("count " + std::to_string(count));
    {
      ZeroedArray a = AllocateZeroed(count);
      ASSERT_NE(a.data, nullptr);
      for (size_t i = 0; i < count; ++i) a.data[i] = 1.5;
    }
    ZeroedArray b = AllocateZeroed(count);
    ASSERT_NE(b.data, nullptr);
    size_t nonzero = 0;
    for (size_t i = 0; i < count; ++i) nonzero += b.data[i] != 0.0;
    EXPECT_EQ(nonzero, 0u);
  }
}

// Counts whose size in bytes overflows are refused instead of wrapping to a small block.
TEST(ZeroedArrayTest, RefusesCountsWhoseSizeOverflows) {
  const size_t max = std::numeric_limits<size_t>::max();
  for (const size_t count : {max, max / 8, max / 8 - 7}) {
    SCOPED_TRACE(count);
    EXPECT_EQ(AllocateZeroed(count).data, nullptr);
  }
}

}  // namespace
