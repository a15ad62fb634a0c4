#include "dsp/zeroed_array.h"

#include <cstdint>
#include <cstdlib>
#include <limits>

#include <sys/mman.h>

namespace {

constexpr size_t kAlignment = 64;
constexpr size_t kHugePage = size_t{2} << 20;
constexpr size_t kMappedFrom = size_t{256} << 10;

// AddressSanitizer's allocator limits and checks calloc'd blocks, not mappings, so sanitized
// builds keep to calloc.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kMapLargeArrays = false;
#else
constexpr bool kMapLargeArrays = true;
#endif

// A zero-filled anonymous mapping of whole huge pages starting on a huge-page boundary (the
// kernel only backs aligned 2 MiB ranges with huge pages); the slack before and after the
// aligned range is unmapped again. Null when the mapping fails.
void* MapHugeAligned(size_t bytes, size_t& mapped) {
  const size_t length = (bytes + kHugePage - 1) / kHugePage * kHugePage;
  if (length < bytes || length > std::numeric_limits<size_t>::max() - kHugePage) return nullptr;
  void* raw = mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) return nullptr;
  const auto start = reinterpret_cast<uintptr_t>(raw);
  const uintptr_t aligned = (start + kHugePage - 1) & ~(kHugePage - 1);
  if (aligned > start) munmap(raw, aligned - start);
  const uintptr_t end = start + length + kHugePage;
  if (end > aligned + length) munmap(reinterpret_cast<void*>(aligned + length), end - aligned - length);
  void* block = reinterpret_cast<void*>(aligned);
  madvise(block, length, MADV_HUGEPAGE);  // only advice: small pages if the system has no huge ones
  mapped = length;
  return block;
}

}  // namespace

void ZeroedBlockDeleter::operator()(void* p) const {
  if (bytes > 0) {
    munmap(p, bytes);
  } else {
    std::free(p);
  }
}

ZeroedArray AllocateZeroed(size_t count) {
  ZeroedArray array;
  if (count > (std::numeric_limits<size_t>::max() - kAlignment) / sizeof(double)) return array;
  const size_t bytes = count * sizeof(double);
  if (kMapLargeArrays && bytes >= kMappedFrom) {
    size_t mapped = 0;
    void* block = MapHugeAligned(bytes, mapped);
    if (block == nullptr) return array;
    array.block = std::unique_ptr<void, ZeroedBlockDeleter>(block, ZeroedBlockDeleter{mapped});
    array.data = static_cast<double*>(block);
    return array;
  }
  // calloc gets large blocks straight from the kernel as untouched zero pages; the extra
  // bytes let the array start on an aligned address inside the block.
  array.block.reset(std::calloc(bytes + kAlignment, 1));
  if (array.block == nullptr) return array;
  const auto address = reinterpret_cast<uintptr_t>(array.block.get());
  array.data = reinterpret_cast<double*>((address + kAlignment - 1) & ~(kAlignment - 1));
  return array;
}
