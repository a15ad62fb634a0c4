// Zero-filled arrays of doubles for the run's large buffers.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};

// An array of doubles zero-filled by the allocator (fresh pages are not written, so a huge
// array costs nothing until it is used), aligned to 64 bytes for vectorised transforms.
struct ZeroedArray {
  std::unique_ptr<void, FreeDeleter> block;
  double* data = nullptr;
};

// Allocates count doubles; data is null when the memory can't be had.
ZeroedArray AllocateZeroed(size_t count);
