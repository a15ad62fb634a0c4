// The floor of the benchmark: the least work any analysis of the recording must do. It opens
// the file with libsndfile and reads the first N frames of channels 1 and 2 into two arrays of
// doubles, and nothing else. Usage: wavspec-bench-floor FILE N. Exit status 0 when N frames
// were read, 1 when the file can't be opened, 2 on a short read.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include <sndfile.h>

namespace {

struct SndfileCloser {
  void operator()(SNDFILE* f) const { sf_close(f); }
};
struct FreeDeleter {
  void operator()(double* p) const { std::free(p); }
};

// Zero-filled like the program's own arrays, so both pay the same for fresh pages.
std::unique_ptr<double, FreeDeleter> Zeroed(int64_t count) {
  return std::unique_ptr<double, FreeDeleter>(
      static_cast<double*>(std::calloc(static_cast<size_t>(count), sizeof(double))));
}

// Keeps the compiler from dropping stores into memory that is never read afterwards.
void KeepWritten(const double* p) { asm volatile("" : : "r"(p) : "memory"); }

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: wavspec-bench-floor FILE N\n");
    return 1;
  }
  const int64_t n = std::strtoll(argv[2], nullptr, 10);
  if (n < 1) return 1;
  SF_INFO info{};
  std::unique_ptr<SNDFILE, SndfileCloser> file(sf_open(argv[1], SFM_READ, &info));
  if (file == nullptr || info.channels < 1) return 1;
  // Full scale +-1.0, as the program reads it.
  sf_command(file.get(), SFC_SET_NORM_DOUBLE, nullptr, SF_TRUE);

  auto ch1 = Zeroed(n);
  auto ch2 = Zeroed(n);
  if (ch1 == nullptr || ch2 == nullptr) return 1;
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
      ch1.get()[done + j] = block[static_cast<size_t>(j * channels)];
      ch2.get()[done + j] = channels > 1 ? block[static_cast<size_t>(j * channels + 1)] : 0.0;
    }
    done += got;
  }
  KeepWritten(ch1.get());
  KeepWritten(ch2.get());
  return done == n ? 0 : 2;
}
