// Zero-filled arrays of doubles for the run's large buffers.
#pragma once

#include <cstddef>
#include <memory>

// Releases a block from AllocateZeroed: mapped blocks (bytes > 0) are unmapped, others freed.
struct ZeroedBlockDeleter {
  size_t bytes = 0;
  void operator()(void* p) const;
};

// An array of doubles zero-filled by the allocator (fresh pages are not written, so a huge
// array costs nothing until it is used), aligned to 64 bytes for vectorised transforms.
struct ZeroedArray {
  std::unique_ptr<void, ZeroedBlockDeleter> block;
  double* data = nullptr;
};

// Allocates count doubles; data is null when the memory can't be had. Arrays of 256 KiB and
// more come in 2 MiB pages where the system has them: a fresh page costs the same time
// whatever its size, so this faults them in hundreds of times fewer steps, for at most
// 2 MiB of unused memory per array.
ZeroedArray AllocateZeroed(size_t count);
