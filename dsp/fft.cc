#include "dsp/fft.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <memory>
#include <numbers>
#include <vector>

#include <fftw3.h>
#include <unistd.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "dsp/zeroed_array.h"

namespace {

struct PlanDestroyer {
  void operator()(fftw_plan p) const { fftw_destroy_plan(p); }
};
using Plan = std::unique_ptr<std::remove_pointer_t<fftw_plan>, PlanDestroyer>;

fftw_complex* AsComplex(double* p) { return reinterpret_cast<fftw_complex*>(p); }

// Plans only inspect the arrays' alignment and never write them.
constexpr unsigned kPlanFlags = FFTW_ESTIMATE;

// e^(i * step * j) for 0 <= j <= last, as the product of two table entries: one for the high
// bits of j, one for the low ones. Each entry comes from sin and cos of an exactly scaled
// angle, so a value is within a few ulps of the exact root at a tiny fraction of the memory
// and time of a full table.
struct Roots {
  static constexpr int kShift = 10;
  static constexpr int64_t kLow = int64_t{1} << kShift;
  std::vector<double> high, low;  // (cos, sin) pairs

  void Build(double step, int64_t last) {
    low.resize(2 * kLow);
    for (int64_t j = 0; j < kLow; ++j) {
      low[2 * j] = std::cos(step * static_cast<double>(j));
      low[2 * j + 1] = std::sin(step * static_cast<double>(j));
    }
    const int64_t highCount = (last >> kShift) + 1;
    high.resize(2 * static_cast<size_t>(highCount));
    for (int64_t i = 0; i < highCount; ++i) {
      const double angle = step * static_cast<double>(i << kShift);
      high[2 * i] = std::cos(angle);
      high[2 * i + 1] = std::sin(angle);
    }
  }
  void At(int64_t j, double& re, double& im) const {
    const double* h = &high[2 * static_cast<size_t>(j >> kShift)];
    const double* l = &low[2 * static_cast<size_t>(j & (kLow - 1))];
    re = h[0] * l[0] - h[1] * l[1];
    im = h[0] * l[1] + h[1] * l[0];
  }
};

int64_t LargestPrimeFactor(int64_t n) {
  int64_t largest = 1;
  for (int64_t p = 2; p * p <= n; ++p) {
    while (n % p == 0) {
      largest = p;
      n /= p;
    }
  }
  return n > 1 ? n : largest;
}

std::vector<int64_t> PrimeFactors(int64_t n) {
  std::vector<int64_t> factors;
  for (int64_t p = 2; p * p <= n; ++p) {
    if (n % p == 0) factors.push_back(p);
    while (n % p == 0) n /= p;
  }
  if (n > 1) factors.push_back(n);
  return factors;
}

int64_t PowMod(int64_t base, int64_t exponent, int64_t mod) {
  int64_t result = 1;
  base %= mod;
  while (exponent > 0) {
    if (exponent & 1) result = result * base % mod;
    base = base * base % mod;
    exponent >>= 1;
  }
  return result;
}

// Residues modulo n < 2^31 multiplied without a division, whose latency would otherwise set
// the pace of the loops that walk powers of a generator.
struct Modulus {
  int64_t n = 1;
  double inverse = 1.0;  // 1 / n
};

Modulus MakeModulus(int64_t n) { return {n, 1.0 / static_cast<double>(n)}; }

// a * b mod n for 0 <= a, b < n. The quotient estimated in doubles is within 2^-20 of the
// true one, so truncating it is off by at most one, which one correction either way repairs;
// a * b < 2^62 keeps the remainder exact in 64 bits.
inline int64_t MulMod(int64_t a, int64_t b, const Modulus& m) {
  const auto q = static_cast<int64_t>(static_cast<double>(a) * static_cast<double>(b) * m.inverse);
  int64_t r = a * b - q * m.n;
  r += r < 0 ? m.n : 0;
  r -= r >= m.n ? m.n : 0;
  return r;
}

// Successive powers g^j, g^(j+1), ... of a generator walked as independent chains, each
// stepping by g^kCount: the loops that walk them read or write scattered entries, and with
// one chain each access would wait for the previous product.
struct PowerChains {
  static constexpr int64_t kCount = 4;
  int64_t power[kCount];  // g^(j + c) for chain c
  int64_t stride;         // g^kCount
};

PowerChains StartPowerChains(int64_t g, const Modulus& mod) {
  PowerChains chains;
  chains.power[0] = 1;
  for (int64_t c = 1; c < PowerChains::kCount; ++c) chains.power[c] = MulMod(chains.power[c - 1], g, mod);
  chains.stride = MulMod(chains.power[PowerChains::kCount - 1], g, mod);
  return chains;
}

// A generator of the multiplicative group modulo the prime p.
int64_t PrimitiveRoot(int64_t p) {
  const std::vector<int64_t> factors = PrimeFactors(p - 1);
  for (int64_t g = 2;; ++g) {
    bool generates = true;
    for (const int64_t q : factors) {
      if (PowMod(g, (p - 1) / q, p) == 1) {
        generates = false;
        break;
      }
    }
    if (generates) return g;
  }
}

// Smallest 2^a 3^b at least n: sizes FFTW transforms fastest and plans at once.
int64_t SmoothSizeAtLeast(int64_t n) {
  int64_t best = int64_t{1} << 62;
  for (int64_t p3 = 1; p3 < best; p3 *= 3) {
    int64_t m = p3;
    while (m < n) m *= 2;
    if (m < best) best = m;
  }
  return best;
}

// FFTW aborts the process when its planner runs out of memory, so a transform whose working
// memory would not fit into half of the machine's memory is refused beforehand.
bool FitsInMemory(double bytes) {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return true;  // unknown: let the planner try
  return bytes <= static_cast<double>(pages) * static_cast<double>(pageSize) / 2;
}

enum class Method {
  halfComplex,  // even n: an n/2-point complex FFT of the samples taken in pairs
  realFftw,     // odd n without large prime factors: FFTW's real-to-complex transform
  rader,        // large prime n: Rader's convolution on FFTW transforms of (n - 1) / 2 points
  bluestein,    // any other n: Bluestein's chirp convolution on 2^a 3^b-point FFTW transforms
};

}  // namespace

struct FftPlan {
  int64_t n = 0;
  int64_t bins = 0;  // (n + 1) / 2
  Method method = Method::realFftw;
  // Arrays the plans were made for: aligned like the caller's arrays should be, never written
  // by planning, and the copies' home when the caller's arrays are aligned otherwise.
  ZeroedArray inputBuffer, spectrumBuffer;
  Plan main;
  Roots roots;  // twiddles of the method; for Bluestein the chirp's roots e^(i pi r / n)
  // Rader: g generates the nonzero residues modulo n, gInverse is its inverse; k = (n - 1)/2.
  // Every transform is one complex plan forward or backward, of half = k/2 points for even k
  // (folded), of k points for odd k, so FFTW keeps one set of tables. splitRoots are the
  // twiddles of the real transforms of k points made from the k/2-point ones. For odd k
  // negaSpectrum holds both kernels' spectra.
  int64_t g = 0, gInverse = 0, k = 0, half = 0;
  bool folded = false;
  Plan negaForward, negaBackward;
  ZeroedArray cyclicSpectrum, negaSpectrum;
  Roots splitRoots;
  // Bluestein: m-point work array and the chirp's spectrum.
  int64_t m = 0;
  ZeroedArray work, chirpSpectrum;
};

namespace {

// Complex product (ar + i ai)(br + i bi) into (r, i).
inline void Multiply(double ar, double ai, double br, double bi, double& r, double& i) {
  r = ar * br - ai * bi;
  i = ar * bi + ai * br;
}

// j^2 mod 2n for j = 0, 1, 2, ... kept exactly by (j + 1)^2 = j^2 + 2j + 1, for the chirp
// e^(i pi j^2 / n) of Bluestein's algorithm.
struct SquareWalk {
  int64_t j = 0, square = 0, twoN = 0;
};

inline void NextSquare(SquareWalk& walk) {
  walk.square += 2 * walk.j + 1;  // both terms are below 2n
  if (walk.square >= walk.twoN) walk.square -= walk.twoN;
  ++walk.j;
}

#if defined(__SSE2__)
const __m128d kNegateHigh = _mm_castsi128_pd(_mm_set_epi64x(INT64_MIN, 0));
const __m128d kNegateLow = _mm_castsi128_pd(_mm_set_epi64x(0, INT64_MIN));

// (xr + i xi)(yr + i yi) as [xr yr - xi yi, xr yi + xi yr]: Multiply's products and sums.
inline __m128d ComplexProduct(__m128d x, __m128d y) {
  const __m128d straight = _mm_mul_pd(_mm_unpacklo_pd(x, x), y);                   // [xr yr, xr yi]
  const __m128d crossed = _mm_mul_pd(_mm_unpackhi_pd(x, x), _mm_shuffle_pd(y, y, 1));  // [xi yi, xi yr]
  return _mm_add_pd(straight, _mm_xor_pd(crossed, kNegateLow));
}
#endif

bool PrepareHalfComplex(FftPlan& h) {
  const int64_t m = h.n / 2;
  h.main.reset(fftw_plan_dft_1d(static_cast<int>(m), AsComplex(h.inputBuffer.data),
                                AsComplex(h.spectrumBuffer.data), FFTW_FORWARD, kPlanFlags));
  // Twiddles e^(-2 pi i j / n) = e^(-i pi j / m) for j up to m / 2.
  h.roots.Build(-std::numbers::pi / static_cast<double>(m), m / 2);
  return h.main != nullptr;
}

// The m-point complex transform Z of z[j] = x[2j] + i x[2j+1] holds the transforms of the
// even and odd samples, E[p] = (Z[p] + conj Z[m-p]) / 2 and O[p] = (Z[p] - conj Z[m-p]) / 2i;
// the 2m-point real transform is X[p] = E[p] + t^p O[p] and X[m-p] = conj(E[p] - t^p O[p]),
// t = e^(-i pi / m). Turns Z into X[0 ... m-1] in place, with the real X[m] in place of the
// imaginary part of X[0], which is 0. roots holds t^p for p up to m / 2.
void SplitHalfComplex(double* s, int64_t m, const Roots& roots) {
  const double z0 = s[0], z1 = s[1];
  s[0] = z0 + z1;
  s[1] = z0 - z1;
  // In runs of kLow indices that share one entry of the high table, so that the inner loop
  // reads the low table straight through.
  for (int64_t base = 0; base <= m / 2; base += Roots::kLow) {
    const double* h = &roots.high[2 * static_cast<size_t>(base >> Roots::kShift)];
    const double hr = h[0], hi = h[1];
    const int64_t first = base == 0 ? 1 : base;
    const int64_t last = std::min(base + Roots::kLow - 1, m / 2);
    const double* low = roots.low.data() - 2 * base;
#if defined(__SSE2__)
    // The same operations as below, two lanes at a time, so the bins are the same to the bit
    // (signed zeros included).
    const __m128d hh = _mm_set_pd(hi, hr);
    for (int64_t p = first; p <= last; ++p) {
      double* zp = s + 2 * p;
      double* zq = s + 2 * (m - p);
      const __m128d vp = _mm_loadu_pd(zp);                           // [a, b]
      const __m128d vq = _mm_xor_pd(_mm_loadu_pd(zq), kNegateHigh);  // [c, -d]
      const __m128d e = _mm_mul_pd(_mm_set1_pd(0.5), _mm_add_pd(vp, vq));
      const __m128d diff = _mm_sub_pd(vp, vq);                       // [a - c, b + d]
      const __m128d o = _mm_mul_pd(_mm_set_pd(-0.5, 0.5), _mm_shuffle_pd(diff, diff, 1));
      const __m128d t = ComplexProduct(hh, _mm_loadu_pd(low + 2 * p));
      const __m128d product = ComplexProduct(t, o);
      _mm_storeu_pd(zq, _mm_xor_pd(_mm_sub_pd(e, product), kNegateHigh));
      _mm_storeu_pd(zp, _mm_add_pd(e, product));
    }
#else
    for (int64_t p = first; p <= last; ++p) {
      double* zp = s + 2 * p;
      double* zq = s + 2 * (m - p);
      const double a = zp[0], b = zp[1], c = zq[0], d = zq[1];
      const double er = 0.5 * (a + c), ei = 0.5 * (b - d);
      const double orr = 0.5 * (b + d), oi = -0.5 * (a - c);
      const double lr = low[2 * p], li = low[2 * p + 1];
      const double tr = hr * lr - hi * li, ti = hr * li + hi * lr;
      double pr, pi;
      Multiply(tr, ti, orr, oi, pr, pi);
      zq[0] = er - pr;
      zq[1] = -(ei - pi);
      zp[0] = er + pr;
      zp[1] = ei + pi;
    }
#endif
  }
}

// The inverse of SplitHalfComplex up to a factor: from the bins Y[0 ... m] of a real
// sequence y of 2m points (Y[m] packed as above), makes Z' in place so that the m-point
// inverse complex transform of Z' is 2m (y[2j] + i y[2j+1]). With A = Y[p] + conj Y[m-p] and
// B = (Y[p] - conj Y[m-p]) conj(t^p): Z'[p] = A + iB and Z'[m-p] = conj A + i conj B.
void MergeHalfComplex(double* s, int64_t m, const Roots& roots) {
  const double y0 = s[0], ym = s[1];
  s[0] = y0 + ym;
  s[1] = y0 - ym;
  for (int64_t p = 1; 2 * p <= m; ++p) {
    double* yp = s + 2 * p;
    double* yq = s + 2 * (m - p);
    const double a = yp[0], b = yp[1], c = yq[0], d = yq[1];
    const double ar = a + c, ai = b - d;
    double tr, ti, br, bi;
    roots.At(p, tr, ti);
    Multiply(a - c, b + d, tr, -ti, br, bi);
    yq[0] = ar + bi;
    yq[1] = br - ai;
    yp[0] = ar - bi;
    yp[1] = ai + br;
  }
}

// Even n: the n/2-point complex transform of the samples taken in pairs, split into bins.
void TransformHalfComplex(const FftPlan& h, double* x, double* s) {
  const int64_t m = h.n / 2;
  fftw_execute_dft(h.main.get(), AsComplex(x), AsComplex(s));
  SplitHalfComplex(s, m, h.roots);
  s[1] = 0.0;  // the imaginary part of bin 0; bin m, the last one packed there, is not reported
}

bool PrepareRealFftw(FftPlan& h) {
  h.main.reset(fftw_plan_dft_r2c_1d(static_cast<int>(h.n), h.inputBuffer.data,
                                    AsComplex(h.spectrumBuffer.data), kPlanFlags));
  return h.main != nullptr;
}

// Rader: for the prime n and a generator g, X[g^p] - x[0] = sum over q of a[q] b[p-q] modulo
// n - 1, with a[q] = x[g^-q] and b[j] = e^(-2 pi i g^j / n). As g^k = -1, b's real part has
// period k = (n - 1) / 2 and its imaginary part changes sign after k values, and the outputs
// p and p + k are conjugate bins. So half of the outputs come from a cyclic convolution of
// length k of u = a[q] + a[q+k] with Re b (the real parts) and a negacyclic one of
// v = a[q] - a[q+k] with Im b (the imaginary parts).
//
// Even k: the negacyclic product is a cyclic one after twisting by theta^j, theta =
// e^(i pi / k); the twisted v is folded into k/2 complex values (v[j] + i v[j+k/2]), and the
// real transforms of the cyclic half are made from complex ones of k/2 points too, so that
// every transform is one k/2-point plan, forward or backward, out of place between the
// halves of the caller's two arrays.
//
// Odd k: with signs (-1)^j on v and on Im b the negacyclic product becomes a cyclic one, so
// both halves are cyclic convolutions of real sequences of k points, done together by one
// complex transform of u + i v', forward and backward.

// The kernel's values b[j] = e^(-2 pi i g^j / n) for j = 0, 1, 2, ..., from a two-level table
// of e^(-2 pi i r / n): a few ulps, at a fraction of the time of k sines and cosines.
struct KernelWalk {
  Roots roots;
  Modulus mod;
  int64_t g = 0;
  int64_t power = 1;  // g^j
};

KernelWalk StartKernel(const FftPlan& h) {
  KernelWalk walk;
  walk.roots.Build(-2 * std::numbers::pi / static_cast<double>(h.n), h.n - 1);
  walk.mod = MakeModulus(h.n);
  walk.g = h.g;
  return walk;
}

// b[j] into (re, im), then on to j + 1.
inline void NextKernelValue(KernelWalk& walk, double& re, double& im) {
  walk.roots.At(walk.power, re, im);
  walk.power = MulMod(walk.power, walk.g, walk.mod);
}

// The forward complex plan of size points from one array to another (or the same) and the
// backward one back.
bool PlanComplexPair(FftPlan& h, int64_t size, double* from, double* to) {
  const int sizeInt = static_cast<int>(size);
  h.negaForward.reset(fftw_plan_dft_1d(sizeInt, AsComplex(from), AsComplex(to), FFTW_FORWARD, kPlanFlags));
  h.negaBackward.reset(fftw_plan_dft_1d(sizeInt, AsComplex(to), AsComplex(from), FFTW_BACKWARD, kPlanFlags));
  return h.negaForward && h.negaBackward;
}

bool PrepareRaderEven(FftPlan& h) {
  if (!PlanComplexPair(h, h.half, h.spectrumBuffer.data, h.inputBuffer.data)) return false;
  // Twiddles of the k-point real transforms: e^(-2 pi i p / k) for p up to k / 4.
  h.splitRoots.Build(-2 * std::numbers::pi / static_cast<double>(h.k), h.half / 2);
  h.roots.Build(std::numbers::pi / static_cast<double>(h.k), h.half);

  // The cyclic kernel's spectrum holds k/2 bins, the real bin k/2 packed beside the real bin 0.
  h.cyclicSpectrum = AllocateZeroed(static_cast<size_t>(h.k));
  h.negaSpectrum = AllocateZeroed(2 * static_cast<size_t>(h.half));
  ZeroedArray real = AllocateZeroed(static_cast<size_t>(h.k));
  ZeroedArray twisted = AllocateZeroed(static_cast<size_t>(h.k));
  if (!h.cyclicSpectrum.data || !h.negaSpectrum.data || !real.data || !twisted.data) return false;
  // Imaginary parts folded: entry j % half gets value j, in its real part for j < half and in
  // its imaginary part after that; then twisted by theta^j.
  double* t = twisted.data;
  KernelWalk kernel = StartKernel(h);
  for (int64_t j = 0; j < h.k; ++j) {
    double im;
    NextKernelValue(kernel, real.data[j], im);
    if (j < h.half) {
      t[2 * j] = im;
    } else {
      t[2 * (j - h.half) + 1] = im;
    }
  }
  for (int64_t j = 0; j < h.half; ++j) {
    double tr, ti;
    h.roots.At(j, tr, ti);
    Multiply(t[2 * j], t[2 * j + 1], tr, ti, t[2 * j], t[2 * j + 1]);
  }
  double* cs = h.cyclicSpectrum.data;
  double* nega = h.negaSpectrum.data;
  fftw_execute_dft(h.negaForward.get(), AsComplex(real.data), AsComplex(cs));
  SplitHalfComplex(cs, h.half, h.splitRoots);
  fftw_execute_dft(h.negaForward.get(), AsComplex(t), AsComplex(nega));
  // The inverse transforms are unnormalised; their scale goes into the stored spectra.
  const double cyclicScale = 1.0 / static_cast<double>(h.k);
  for (int64_t j = 0; j < h.k; ++j) cs[j] *= cyclicScale;
  const double negaScale = 1.0 / static_cast<double>(h.half);
  for (int64_t j = 0; j < 2 * h.half; ++j) nega[j] *= negaScale;
  return true;
}

// For odd k the two kernels' spectra share one array laid out like the transform they
// multiply: entry 0 holds the real bins 0 of both, entry p (0 < p <= (k-1)/2) the cyclic
// kernel's bin p, and entry k - p the sign-changed imaginary kernel's bin p.
bool PrepareRaderOdd(FftPlan& h) {
  if (!PlanComplexPair(h, h.k, h.inputBuffer.data, h.spectrumBuffer.data)) return false;

  h.negaSpectrum = AllocateZeroed(2 * static_cast<size_t>(h.k));
  ZeroedArray packed = AllocateZeroed(2 * static_cast<size_t>(h.k));
  if (!h.negaSpectrum.data || !packed.data) return false;
  KernelWalk kernel = StartKernel(h);
  for (int64_t j = 0; j < h.k; ++j) {
    double im;
    NextKernelValue(kernel, packed.data[2 * j], im);
    packed.data[2 * j + 1] = j % 2 == 0 ? im : -im;
  }
  double* w = h.negaSpectrum.data;
  fftw_execute_dft(h.negaForward.get(), AsComplex(packed.data), AsComplex(w));
  // The transform W of (c + i d) holds C[p] = (W[p] + conj W[k-p]) / 2 and
  // D[p] = (W[p] - conj W[k-p]) / 2i; the backward transform's scale 1/k goes in too.
  const double scale = 1.0 / static_cast<double>(h.k);
  w[0] *= scale;
  w[1] *= scale;
  for (int64_t p = 1; 2 * p < h.k; ++p) {
    double* wp = w + 2 * p;
    double* wq = w + 2 * (h.k - p);
    const double a = wp[0], b = wp[1], c = wq[0], d = wq[1];
    wp[0] = 0.5 * scale * (a + c);
    wp[1] = 0.5 * scale * (b - d);
    wq[0] = 0.5 * scale * (b + d);
    wq[1] = 0.5 * scale * (c - a);
  }
  return true;
}

bool PrepareRader(FftPlan& h) {
  h.k = (h.n - 1) / 2;
  h.folded = h.k % 2 == 0;
  h.half = h.folded ? h.k / 2 : h.k;
  h.g = PrimitiveRoot(h.n);
  h.gInverse = PowMod(h.g, h.n - 2, h.n);
  return h.folded ? PrepareRaderEven(h) : PrepareRaderOdd(h);
}

// The cyclic half for even k: u in s[0, k) is transformed out of place into x[0, k), multiplied
// by the kernel's spectrum and transformed back into s[0, k).
void CyclicHalfFolded(const FftPlan& h, double* x, double* s) {
  const int64_t half = h.half;
  fftw_execute_dft(h.negaForward.get(), AsComplex(s), AsComplex(x));
  SplitHalfComplex(x, half, h.splitRoots);
  const double* cs = h.cyclicSpectrum.data;
  x[0] *= cs[0];  // bins 0 and k/2 are real
  x[1] *= cs[1];
  for (int64_t j = 1; j < half; ++j) {
    Multiply(x[2 * j], x[2 * j + 1], cs[2 * j], cs[2 * j + 1], x[2 * j], x[2 * j + 1]);
  }
  MergeHalfComplex(x, half, h.splitRoots);
  fftw_execute_dft(h.negaBackward.get(), AsComplex(x), AsComplex(s));
}

// The negacyclic half for even k: v in s[k, 2k) is folded and twisted into x[0, k),
// transformed into x[k, 2k), multiplied, transformed back into x[0, k), and untwisted into
// s[k, 2k).
void NegacyclicHalfFolded(const FftPlan& h, double* x, double* s) {
  const int64_t k = h.k, half = h.half;
  double* v = s + k;
  for (int64_t j = 0; j < half; ++j) {
    double tr, ti;
    h.roots.At(j, tr, ti);
    Multiply(v[j], v[j + half], tr, ti, x[2 * j], x[2 * j + 1]);
  }
  double* y = x + k;
  fftw_execute_dft(h.negaForward.get(), AsComplex(x), AsComplex(y));
  const double* ns = h.negaSpectrum.data;
  for (int64_t j = 0; j < half; ++j) {
    Multiply(y[2 * j], y[2 * j + 1], ns[2 * j], ns[2 * j + 1], y[2 * j], y[2 * j + 1]);
  }
  fftw_execute_dft(h.negaBackward.get(), AsComplex(y), AsComplex(x));
  for (int64_t j = 0; j < half; ++j) {
    double tr, ti;
    h.roots.At(j, tr, ti);
    Multiply(x[2 * j], x[2 * j + 1], tr, -ti, v[j], v[j + half]);
  }
}

// Both halves for odd k: u + i v' (v' = (-1)^j v) from s into x, transformed into s; there
// its spectrum W splits into U[p] = (W[p] + conj W[k-p]) / 2 and V'[p] = (W[p] - conj W[k-p])
// / 2i, and P = U C, Q = V' D (the kernels' spectra) recombine as P + iQ at p and
// conj P + i conj Q at k - p; the backward transform into x gives Re c and (-1)^j Im c, which
// go back to s[0, k) and s[k, 2k).
void ConvolveOdd(const FftPlan& h, double* x, double* s) {
  const int64_t k = h.k;
  for (int64_t j = 0; j < k; ++j) {
    x[2 * j] = s[j];
    x[2 * j + 1] = j % 2 == 0 ? s[k + j] : -s[k + j];
  }
  fftw_execute_dft(h.negaForward.get(), AsComplex(x), AsComplex(s));
  const double* kernel = h.negaSpectrum.data;
  s[0] *= kernel[0];  // the bins 0 of both are real
  s[1] *= kernel[1];
  for (int64_t p = 1; 2 * p < k; ++p) {
    double* wp = s + 2 * p;
    double* wq = s + 2 * (k - p);
    const double a = wp[0], b = wp[1], c = wq[0], d = wq[1];
    double pr, pi, qr, qi;
    Multiply(0.5 * (a + c), 0.5 * (b - d), kernel[2 * p], kernel[2 * p + 1], pr, pi);
    Multiply(0.5 * (b + d), 0.5 * (c - a), kernel[2 * (k - p)], kernel[2 * (k - p) + 1], qr, qi);
    wp[0] = pr - qi;
    wp[1] = pi + qr;
    wq[0] = pr + qi;
    wq[1] = qr - pi;
  }
  fftw_execute_dft(h.negaBackward.get(), AsComplex(s), AsComplex(x));
  for (int64_t j = 0; j < k; ++j) {
    s[j] = x[2 * j];
    s[k + j] = j % 2 == 0 ? x[2 * j + 1] : -x[2 * j + 1];
  }
}

void TransformRader(const FftPlan& h, double* x, double* s) {
  const int64_t n = h.n, k = h.k;
  const Modulus mod = MakeModulus(n);
  // a[q] = x[g^-q] into s, then u and v in place of its two halves.
  const double x0 = x[0];
  double sum = x0;
  PowerChains from = StartPowerChains(h.gInverse, mod);
  for (int64_t q = 0; q < 2 * k; q += PowerChains::kCount) {
    for (int64_t c = 0; c < PowerChains::kCount && q + c < 2 * k; ++c) {
      s[q + c] = x[from.power[c]];
      sum += s[q + c];
      from.power[c] = MulMod(from.power[c], from.stride, mod);
    }
  }
  for (int64_t q = 0; q < k; ++q) {
    const double a = s[q], b = s[q + k];
    s[q] = a + b;
    s[q + k] = a - b;
  }
  if (h.folded) {
    CyclicHalfFolded(h, x, s);
    NegacyclicHalfFolded(h, x, s);
  } else {
    ConvolveOdd(h, x, s);
  }
  // s[0, k) holds Re c, s[k, 2k) Im c; bin g^p gets x[0] + c[p], or its conjugate the mirror bin.
  std::memcpy(x, s, 2 * static_cast<size_t>(k) * sizeof(double));
  s[0] = sum;
  s[1] = 0.0;
  PowerChains to = StartPowerChains(h.g, mod);
  for (int64_t p = 0; p < k; p += PowerChains::kCount) {
    for (int64_t c = 0; c < PowerChains::kCount && p + c < k; ++c) {
      const int64_t bin = to.power[c];
      const double re = x0 + x[p + c], im = x[k + p + c];
      if (bin <= k) {
        s[2 * bin] = re;
        s[2 * bin + 1] = im;
      } else {
        s[2 * (n - bin)] = re;
        s[2 * (n - bin) + 1] = -im;
      }
      to.power[c] = MulMod(bin, to.stride, mod);
    }
  }
}

// Bluestein: X[k] = conj w[k] * sum over j of (x[j] conj w[j]) w[k-j], w[j] = e^(i pi j^2 / n),
// a linear convolution computed cyclically on m >= n + bins - 1 points, enough for the bins
// below (n + 1) / 2.
bool PrepareBluestein(FftPlan& h) {
  const int64_t n = h.n;
  h.m = SmoothSizeAtLeast(n + h.bins - 1);
  h.work = AllocateZeroed(2 * static_cast<size_t>(h.m));
  h.chirpSpectrum = AllocateZeroed(2 * static_cast<size_t>(h.m));
  if (!h.work.data || !h.chirpSpectrum.data) return false;
  if (!PlanComplexPair(h, h.m, h.work.data, h.work.data)) return false;  // in place
  // The chirp's values e^(i pi r / n) for the residues r = j^2 mod 2n, from a two-level table.
  h.roots.Build(std::numbers::pi / static_cast<double>(n), 2 * n - 1);
  double* c = h.chirpSpectrum.data;  // zero-filled: the chirp leaves a gap in the middle
  SquareWalk walk{0, 0, 2 * n};
  for (; walk.j < n; NextSquare(walk)) {
    double re, im;
    h.roots.At(walk.square, re, im);
    if (walk.j < h.bins) {
      c[2 * walk.j] = re;
      c[2 * walk.j + 1] = im;
    }
    if (walk.j > 0) {
      c[2 * (h.m - walk.j)] = re;
      c[2 * (h.m - walk.j) + 1] = im;
    }
  }
  fftw_execute_dft(h.negaForward.get(), AsComplex(c), AsComplex(c));
  const double scale = 1.0 / static_cast<double>(h.m);
  for (int64_t j = 0; j < 2 * h.m; ++j) c[j] *= scale;
  return true;
}

void TransformBluestein(const FftPlan& h, const double* x, double* s) {
  const int64_t n = h.n;
  double* w = h.work.data;
  for (SquareWalk walk{0, 0, 2 * n}; walk.j < n; NextSquare(walk)) {
    double cr, ci;
    h.roots.At(walk.square, cr, ci);
    w[2 * walk.j] = x[walk.j] * cr;
    w[2 * walk.j + 1] = -x[walk.j] * ci;
  }
  std::memset(w + 2 * n, 0, 2 * static_cast<size_t>(h.m - n) * sizeof(double));
  fftw_execute_dft(h.negaForward.get(), AsComplex(w), AsComplex(w));
  const double* c = h.chirpSpectrum.data;
  for (int64_t j = 0; j < h.m; ++j) {
    Multiply(w[2 * j], w[2 * j + 1], c[2 * j], c[2 * j + 1], w[2 * j], w[2 * j + 1]);
  }
  fftw_execute_dft(h.negaBackward.get(), AsComplex(w), AsComplex(w));
  for (SquareWalk walk{0, 0, 2 * n}; walk.j < h.bins; NextSquare(walk)) {
    const int64_t j = walk.j;
    double cr, ci;
    h.roots.At(walk.square, cr, ci);
    Multiply(w[2 * j], w[2 * j + 1], cr, -ci, s[2 * j], s[2 * j + 1]);
  }
}

// Working memory per point of each method beyond the caller's arrays: the plans' tables
// (FFTW's run up to about 16 bytes per point of their size) and the stored spectra.
double WorkingBytes(Method method, int64_t n, int64_t m) {
  const double points = static_cast<double>(n);
  switch (method) {
    case Method::halfComplex: return 16.0 * points;
    case Method::realFftw: return 24.0 * points;
    case Method::rader: return 28.0 * points;
    case Method::bluestein: return 48.0 * static_cast<double>(m) + 16.0 * points;
  }
  return 0.0;
}

Method ChooseMethod(int64_t n) {
  const bool smooth = LargestPrimeFactor(n) <= kMaxFftwPrimeFactor;
  if (n % 2 == 0 && smooth) return Method::halfComplex;
  if (smooth) return Method::realFftw;
  if (LargestPrimeFactor(n) == n && LargestPrimeFactor((n - 1) / 2) <= kMaxFftwPrimeFactor) {
    return Method::rader;
  }
  return Method::bluestein;
}

bool Misaligned(const double* p, const double* reference) {
  return fftw_alignment_of(const_cast<double*>(p)) != fftw_alignment_of(const_cast<double*>(reference));
}

}  // namespace

FftHandle FFT_start(int32_t n) {
  if (n < 1) return nullptr;
  auto handle = std::make_unique<FftPlan>();
  FftPlan& h = *handle;
  h.n = n;
  h.bins = (static_cast<int64_t>(n) + 1) / 2;
  h.method = n == 1 ? Method::realFftw : ChooseMethod(n);
  const int64_t m = h.method == Method::bluestein ? SmoothSizeAtLeast(h.n + h.bins - 1) : 0;
  if (!FitsInMemory(WorkingBytes(h.method, n, m))) return nullptr;
  h.inputBuffer = AllocateZeroed(static_cast<size_t>(n));
  h.spectrumBuffer = AllocateZeroed(2 * static_cast<size_t>(h.bins));
  if (!h.inputBuffer.data || !h.spectrumBuffer.data) return nullptr;
  bool ready = false;
  switch (h.method) {
    case Method::halfComplex: ready = PrepareHalfComplex(h); break;
    case Method::realFftw: ready = PrepareRealFftw(h); break;
    case Method::rader: ready = PrepareRader(h); break;
    case Method::bluestein: ready = PrepareBluestein(h); break;
  }
  return ready ? handle.release() : nullptr;
}

void FFT_TransformRealToComplex(FftHandle handle, double* input, double* spectrum) {
  if (handle == nullptr || input == nullptr || spectrum == nullptr) return;
  const FftPlan& h = *handle;
  // The plans run on arrays aligned like the handle's own; others go through those.
  double* x = input;
  if (Misaligned(input, h.inputBuffer.data)) {
    x = h.inputBuffer.data;
    std::memcpy(x, input, static_cast<size_t>(h.n) * sizeof(double));
  }
  double* s = Misaligned(spectrum, h.spectrumBuffer.data) ? h.spectrumBuffer.data : spectrum;
  switch (h.method) {
    case Method::halfComplex: TransformHalfComplex(h, x, s); break;
    case Method::realFftw: fftw_execute_dft_r2c(h.main.get(), x, AsComplex(s)); break;
    case Method::rader: TransformRader(h, x, s); break;
    case Method::bluestein: TransformBluestein(h, x, s); break;
  }
  if (s != spectrum) std::memcpy(spectrum, s, 2 * static_cast<size_t>(h.bins) * sizeof(double));
}

void FFT_stop(FftHandle handle) { delete handle; }
