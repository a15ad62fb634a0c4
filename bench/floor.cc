// The floor of the benchmark: the least work any analysis of the recording must do. It opens
// the file with libsndfile and reads the first N frames of channels 1 and 2 into two arrays of
// doubles, and nothing else. Usage: wavspec-bench-floor FILE N [huge]. The arrays come from
// calloc, as the least a program would write; with "huge" they come from the program's own
// allocator, which maps large arrays in 2 MiB pages. Exit status 0 when N frames were read,
// 1 when the file can't be opened, 2 on a short read.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <sndfile.h>

#include "dsp/zeroed_array.h"

namespace {

struct SndfileCloser {
  void operator()(SNDFILE* f) const { sf_close(f); }
};

// Zero-filled arrays, both ways; calloc'd blocks are freed through the same deleter.
ZeroedArray Zeroed(int64_t count, bool huge) {
  if (huge) return AllocateZeroed(static_cast<size_t>(count));
  ZeroedArray array;
  array.block.reset(std::calloc(static_cast<size_t>(count), sizeof(double)));
  array.data = static_cast<double*>(array.block.get());
  return array;
}

// Keeps the compiler from dropping stores into memory that is never read afterwards.
void KeepWritten(const double* p) { asm volatile("" : : "r"(p) : "memory"); }

}  // namespace

int main(int argc, char* argv[]) {
  const bool huge = argc == 4 && std::strcmp(argv[3], "huge") == 0;
  if (argc != 3 && !huge) {
    std::fprintf(stderr, "usage: wavspec-bench-floor FILE N [huge]\n");
    return 1;
  }
  const int64_t n = std::strtoll(argv[2], nullptr, 10);
  if (n < 1) return 1;
  SF_INFO info{};
  std::unique_ptr<SNDFILE, SndfileCloser> file(sf_open(argv[1], SFM_READ, &info));
  if (file == nullptr || info.channels < 1) return 1;
  // Full scale +-1.0, as the program reads it.
  sf_command(file.get(), SFC_SET_NORM_DOUBLE, nullptr, SF_TRUE);

  ZeroedArray ch1 = Zeroed(n, huge);
  ZeroedArray ch2 = Zeroed(n, huge);
  if (ch1.data == nullptr || ch2.data == nullptr) return 1;
  // Interleaved frames are read in blocks that stay in cache and split into the two channels.
  const int64_t channels = info.channels;
  constexpr int64_t kBlockFrames = 4096;
  std::vector<double> block(static_cast<size_t>(kBlockFrames * channels));
  int64_t done = 0;
  while (done < n) {
    const int64_t want = n - done < kBlockFrames ? n - done : kBlockFrames;
    const int64_t got = sf_readf_double(file.get(), block.data(), want);
    if (got <= 0) break;
    for (int64_t j = 0; j < got; ++j) {
      ch1.data[done + j] = block[static_cast<size_t>(j * channels)];
      ch2.data[done + j] = channels > 1 ? block[static_cast<size_t>(j * channels + 1)] : 0.0;
    }
    done += got;
  }
  KeepWritten(ch1.data);
  KeepWritten(ch2.data);
  return done == n ? 0 : 2;
}
