#include "analysis/zeroed_array.h"

#include <cstdint>
#include <limits>

namespace {
constexpr size_t kAlignment = 64;
}

ZeroedArray AllocateZeroed(size_t count) {
  ZeroedArray array;
  if (count > (std::numeric_limits<size_t>::max() - kAlignment) / sizeof(double)) return array;
  // calloc gets large blocks straight from the kernel as untouched zero pages; the extra
  // bytes let the array start on an aligned address inside the block.
  array.block.reset(std::calloc(count * sizeof(double) + kAlignment, 1));
  if (array.block == nullptr) return array;
  const auto address = reinterpret_cast<uintptr_t>(array.block.get());
  array.data = reinterpret_cast<double*>((address + kAlignment - 1) & ~(kAlignment - 1));
  return array;
}
