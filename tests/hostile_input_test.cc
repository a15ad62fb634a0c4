// The catalogue of hostile and unusual recordings and options: each row makes its file, runs
// wavspec on it as a separate process with a time limit, and checks the exit status, the
// console text and the report (or that no report was left). A hang, a crash or a sanitizer
// report fails its row.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "fuzz/fuzz_inputs.h"
#include "tests/process.h"
#include "tests/riff_builder.h"
#include "tests/temp_dir.h"

namespace {

// Generous against a loaded machine and sanitizer builds; the runs take well under a second.
constexpr double kTimeLimitSeconds = 30;
const std::string kWav = "rec.wav";
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitizedBuild = true;  // the program under test is built the same way
#else
constexpr bool kSanitizedBuild = false;
#endif

// In a sanitized build AddressSanitizer writes the shadow of every block as it is allocated (and
// again when freed), so the gigabytes of a huge N cost tens of seconds there. Blocks above 1 GiB
// then fail instead, as in the fuzz build, which runs the program's out-of-memory path.
std::vector<std::string> SanitizerEnvironment() {
  if (!kSanitizedBuild) return {};
  const char* inherited = std::getenv("ASAN_OPTIONS");
  std::string options = inherited != nullptr ? inherited : "";
  if (!options.empty()) options += ":";
  return {"ASAN_OPTIONS=" + options + "allocator_may_return_null=1:max_allocation_size_mb=1024"};
}

// Standard error without the sanitizer's note of each block it refused under those options.
std::string WithoutRefusedBlockNotes(const std::string& err) {
  std::string kept;
  size_t start = 0;
  while (start < err.size()) {
    size_t end = err.find('\n', start);
    end = end == std::string::npos ? err.size() : end + 1;
    const std::string line = err.substr(start, end - start);
    if (!(kSanitizedBuild && line.starts_with("==") &&
          line.find("==WARNING: AddressSanitizer failed to allocate 0x") != std::string::npos)) {
      kept += line;
    }
    start = end;
  }
  return kept;
}

enum class Outcome {
  report,      // status 0 and a report
  refused,     // status 1, "Can't open or unknown format", nothing else on the console
  shortRead,   // status 2, the header text then "Can't read N samles"
  nonFinite,   // status 2, the header text then "Non-finite sample values in: rec.wav"
  message,     // the status given, and exactly the console text given
  hugeSize,    // status 2 with the short-read message, or 254 (out of memory) with no message
};

enum class Plain { yes, no, any };

// A number the report must show after its label, e.g. {"CONST1=", 50, 1e-6}.
struct Figure {
  std::string label;
  double value;
  double tolerance;
};

struct Row {
  std::string group;
  std::string name;
  std::function<std::string()> bytes;
  std::vector<std::string> options;
  Outcome outcome;
  Plain plain = Plain::any;
  std::vector<Figure> figures = {};
  std::vector<std::string> reportHas = {};    // substrings of the report; "^..." its start
  std::vector<std::string> reportLacks = {};  // substrings it must not hold
  int status = 0;                             // for Outcome::message
  std::string console = {};                   // for Outcome::message
  int32_t frames = 0;                         // N for Outcome::shortRead / hugeSize
};

// --- recordings -----------------------------------------------------------------------------

// Channel 1 at +0.5 and channel 2 at -0.25 of full scale: CONST1 50 and CONST2 25 percent.
std::string DcData(int64_t frames) { return ConstantPcm16(frames, 16384, -8192); }
const std::string kFmt16 = Chunk("fmt ", FmtPayload(MakeFmt(1, 2, 44100, 16)));
const std::vector<Figure> kDcFigures = {{"CONST1=", 50, 1e-6}, {"CONST2=", 25, 1e-6}};

std::string WavWithFmt(const FmtFields& f, const std::string& data) {
  return RiffFile(Chunk("fmt ", FmtPayload(f)) + Chunk("data", data));
}

// One frame of two samples, each sample the given bytes.
std::string Frames(int64_t frames, const std::string& left, const std::string& right) {
  std::string out;
  for (int64_t i = 0; i < frames; ++i) out += left + right;
  return out;
}

std::string FloatWav(const std::vector<float>& interleaved) {
  std::string data;
  for (float v : interleaved) data += LeFloat(v);
  return WavWithFmt(MakeFmt(3, 2, 44100, 32), data);
}

// 64 frames of float DC (a, b), with one frame replaced by (x, y) at index at.
std::string FloatDcWith(float a, float b, int at, float x, float y, int frames = 64) {
  std::vector<float> v;
  for (int i = 0; i < frames; ++i) {
    v.push_back(i == at ? x : a);
    v.push_back(i == at ? y : b);
  }
  return FloatWav(v);
}

std::string InfoList() {
  return ListChunk("INFO", Chunk("INAM", std::string("A title", 8)) + Chunk("ICMT", "odd", {}, true));
}
std::string FactChunk(uint32_t frames) { return Chunk("fact", Le32(frames)); }
std::string CueChunk() {
  // One cue point: id, position, "data", chunk start, block start, sample offset.
  return Chunk("cue ", Le32(1) + Le32(1) + Le32(0) + "data" + Le32(0) + Le32(0) + Le32(10));
}

// A LIST chunk whose sub-chunk, of an unknown id, claims nearly 4 GiB inside a list of a few
// bytes: the audio library loops forever on it when left to itself.
std::string HugeSubChunkList() {
  return ListChunk("INFO", "abcd" + Le32(0xFFFFFFF8) + std::string(32, 'a'));
}

std::string Rf64Wav(const std::string& beforeData, const std::string& data,
                    uint64_t declaredData = 0) {
  const uint64_t dataSize = declaredData != 0 ? declaredData : data.size();
  return Rf64File(kFmt16 + beforeData + Chunk("data", data, 0xFFFFFFFF), dataSize, dataSize / 4);
}

std::string W64Wav(const std::string& extra, const std::string& data) {
  return W64File(W64Chunk("fmt ", FmtPayload(MakeFmt(1, 2, 44100, 16))) + extra +
                 W64Chunk("data", data));
}

// Sum of one channel of interleaved 16-bit stereo frames, in full scale.
double ChannelSum(const std::string& data, int channel, int64_t frames) {
  double sum = 0;
  for (int64_t i = 0; i < frames; ++i) {
    const size_t at = static_cast<size_t>(i * 4 + channel * 2);
    const auto v = static_cast<int16_t>(static_cast<uint8_t>(data[at]) |
                                        (static_cast<uint8_t>(data[at + 1]) << 8));
    sum += v / 32768.0;
  }
  return sum;
}

std::vector<Row> CatalogueRows() {
  const std::vector<std::string> n64 = {"-N", "64"};
  std::vector<Row> rows = {
      // --- headers ---
      {"headers", "empty_file", [] { return std::string(); }, {}, Outcome::refused},
      {"headers", "riff_alone", [] { return std::string("RIFF"); }, {}, Outcome::refused},
      {"headers", "riff_wave_without_chunks", [] { return RiffFile(""); }, {}, Outcome::refused},
      {"headers", "fmt_cut_short",
       [] { return RiffFile(kFmt16 + Chunk("data", DcData(64))).substr(0, 12 + 8 + 10); }, n64,
       Outcome::refused},
      {"headers", "fmt_size_0", [] { return RiffFile(Chunk("fmt ", "") + Chunk("data", DcData(64))); },
       n64, Outcome::refused},
      {"headers", "channels_0",
       [] {
         FmtFields f = MakeFmt(1, 2, 44100, 16);
         f.channels = 0;
         return WavWithFmt(f, DcData(64));
       },
       n64, Outcome::refused},
      {"headers", "channels_65535",
       [] { return WavWithFmt(MakeFmt(1, 65535, 44100, 16), std::string(65535 * 2 * 2, '\1')); },
       n64, Outcome::refused},
      {"headers", "block_align_0",
       [] {
         FmtFields f = MakeFmt(1, 2, 44100, 16);
         f.blockAlign = 0;
         return WavWithFmt(f, DcData(64));
       },
       n64, Outcome::report, Plain::yes, kDcFigures},
      {"headers", "bits_0",
       [] {
         FmtFields f = MakeFmt(1, 2, 44100, 16);
         f.bitsPerSample = 0;
         return WavWithFmt(f, DcData(64));
       },
       n64, Outcome::refused},
      // 7 valid bits in 8-bit unsigned containers, left-justified: 0xC0 is +0.5, 0x60 is -0.25.
      {"headers", "bits_7", [] { return WavWithFmt(MakeFmt(1, 2, 44100, 7), Frames(64, "\xC0", "\x60")); },
       n64, Outcome::report, Plain::any, kDcFigures},
      {"headers", "bits_12", [] { return WavWithFmt(MakeFmt(1, 2, 44100, 12), DcData(64)); }, n64,
       Outcome::report, Plain::any, kDcFigures},
      {"headers", "sample_rate_0", [] { return WavWithFmt(MakeFmt(1, 2, 0, 16), DcData(64)); }, n64,
       Outcome::refused},
      // A tone in bin 4 of 64 at 768 kHz: 48 kHz, amplitude 0.5 (50 percent).
      {"headers", "sample_rate_768000",
       [] { return WavWithFmt(MakeFmt(1, 2, 768000, 16), TonePcm16(64, 64, 4, 0.5)); }, n64,
       Outcome::report, Plain::yes, {{"Fmax1=", 48000, 0.005}, {"Amax1=", 50, 0.01}, {"Fmax2=", 48000, 0.005}}},
      {"headers", "unknown_format_tag",
       [] { return WavWithFmt(MakeFmt(0x1234, 2, 44100, 16), DcData(64)); }, n64, Outcome::refused},
      {"headers", "data_longer_than_file",
       [] { return RiffFile(kFmt16 + Chunk("data", DcData(64), 1000000)); }, n64, Outcome::report,
       Plain::yes, kDcFigures},
      {"headers", "data_longer_than_file_too_few_for_n",
       [] { return RiffFile(kFmt16 + Chunk("data", DcData(64), 1000000)); }, {"-N", "128"},
       Outcome::shortRead, Plain::any, {}, {}, {}, 0, "", 128},
      {"headers", "data_size_ffffffff",
       [] { return RiffFile(kFmt16 + Chunk("data", DcData(64), 0xFFFFFFFF)); }, n64,
       Outcome::report, Plain::yes, kDcFigures},
      {"headers", "no_data_chunk", [] { return RiffFile(kFmt16 + InfoList()); }, n64, Outcome::refused},
      {"headers", "data_before_fmt", [] { return RiffFile(Chunk("data", DcData(64)) + kFmt16); }, n64,
       Outcome::refused},
      {"headers", "two_data_chunks",
       [] { return RiffFile(kFmt16 + Chunk("data", DcData(64)) + Chunk("data", ConstantPcm16(64, -32768, 32767))); },
       n64, Outcome::refused},
      {"headers", "two_fmt_chunks", [] { return RiffFile(kFmt16 + kFmt16 + Chunk("data", DcData(64))); },
       n64, Outcome::refused},
      {"headers", "odd_chunk_with_pad_byte",
       [] { return RiffFile(kFmt16 + Chunk("abcd", "xyz") + Chunk("data", DcData(64))); }, n64,
       Outcome::report, Plain::yes, kDcFigures},
      {"headers", "odd_chunk_without_pad_byte",
       [] { return RiffFile(kFmt16 + Chunk("abcd", "xyz", {}, false) + Chunk("data", DcData(64))); },
       n64, Outcome::refused},
      // An odd-sized data chunk last in the file, its pad byte missing, as some writers leave it.
      {"headers", "odd_data_chunk_at_end_without_pad_byte",
       [] { return RiffFile(kFmt16 + Chunk("data", DcData(64) + "z", {}, false)); }, n64,
       Outcome::report, Plain::yes, kDcFigures},
      {"headers", "list_fact_cue_before_data",
       [] { return RiffFile(kFmt16 + InfoList() + FactChunk(64) + CueChunk() + Chunk("data", DcData(64))); },
       n64, Outcome::report, Plain::yes, kDcFigures},
      {"headers", "list_fact_cue_after_data",
       [] { return RiffFile(kFmt16 + Chunk("data", DcData(64)) + InfoList() + FactChunk(64) + CueChunk()); },
       n64, Outcome::report, Plain::yes, kDcFigures},
      {"headers", "list_subchunk_size_fffffff8",
       [] { return RiffFile(kFmt16 + HugeSubChunkList() + Chunk("data", DcData(64))); }, n64,
       Outcome::refused},
      {"headers", "list_subchunk_size_fffffff8_after_data",
       [] { return RiffFile(kFmt16 + Chunk("data", DcData(64)) + HugeSubChunkList()); }, n64,
       Outcome::refused},
      {"headers", "chunk_larger_than_file_before_data",
       [] { return RiffFile(kFmt16 + Chunk("abcd", "xy", 0x7FFFFFF0) + Chunk("data", DcData(64))); }, n64,
       Outcome::refused},
      {"headers", "riff_size_larger_than_file",
       [] { return RiffFile(kFmt16 + Chunk("data", DcData(64)), 0x7FFFFFF0); }, n64, Outcome::report,
       Plain::yes, kDcFigures},
      // Streamed recordings leave the RIFF size at 0 or 0xFFFFFFFF.
      {"headers", "riff_size_0", [] { return RiffFile(kFmt16 + Chunk("data", DcData(64)), 0); }, n64,
       Outcome::report, Plain::yes, kDcFigures},
      {"headers", "riff_size_ffffffff",
       [] { return RiffFile(kFmt16 + Chunk("data", DcData(64)), 0xFFFFFFFF); }, n64, Outcome::report,
       Plain::yes, kDcFigures},
      {"headers", "random_bytes_after_riff",
       [] { return PlainWav16(DcData(64)) + PseudoRandomBytes(1000, 7); }, n64, Outcome::report,
       Plain::yes, kDcFigures},
      {"headers", "random_bytes_as_samples",
       [] { return PlainWav16(PseudoRandomBytes(64 * 4, 11)); }, n64, Outcome::report, Plain::yes,
       {{"CONST1=", std::fabs(ChannelSum(PseudoRandomBytes(64 * 4, 11), 0, 64)) / 64 * 100, 1e-6},
        {"CONST2=", std::fabs(ChannelSum(PseudoRandomBytes(64 * 4, 11), 1, 64)) / 64 * 100, 1e-6}}},
      {"headers", "extensible_pcm",
       [] { return RiffFile(Chunk("fmt ", ExtensibleFmtPayload(MakeFmt(1, 2, 44100, 16), 1, 3)) + Chunk("data", DcData(64))); },
       n64, Outcome::report, Plain::yes, kDcFigures},
      {"headers", "rf64", [] { return Rf64Wav("", DcData(64)); }, n64, Outcome::report, Plain::no,
       kDcFigures},
      {"headers", "rf64_data_longer_than_file", [] { return Rf64Wav("", DcData(64), uint64_t{1} << 40); },
       n64, Outcome::report, Plain::no, kDcFigures},
      {"headers", "rf64_list_subchunk_size_fffffff8",
       [] { return Rf64Wav(HugeSubChunkList(), DcData(64)); }, n64, Outcome::refused},
      {"headers", "rf64_two_fmt_chunks",
       [] { return Rf64Wav(Chunk("fmt ", FmtPayload(MakeFmt(1, 1, 44100, 16))), DcData(64)); }, n64,
       Outcome::refused},
      {"headers", "w64", [] { return W64Wav("", DcData(64)); }, n64, Outcome::report, Plain::no, kDcFigures},
      {"headers", "w64_two_fmt_chunks",
       [] { return W64Wav(W64Chunk("fmt ", FmtPayload(MakeFmt(1, 1, 44100, 16))), DcData(64)); }, n64,
       Outcome::refused},
      {"headers", "w64_chunk_size_0",
       [] { return W64Wav(W64Chunk("junk", "abcdefgh", 0), DcData(64)); }, n64, Outcome::refused},
      // The audio library only skips a Wave64 list, whatever it holds.
      {"headers", "w64_list_subchunk_size_huge",
       [] { return W64Wav(W64Chunk("list", "INFO" + std::string("abcd") + Le32(0xFFFFFFF8) + std::string(32, 'a')), DcData(64)); },
       n64, Outcome::report, Plain::no, kDcFigures},

      // --- samples ---
      {"samples", "float_beyond_full_scale", [] { return FloatDcWith(4.0f, -2.5f, -1, 0, 0); }, n64,
       Outcome::report, Plain::yes, {{"CONST1=", 400, 1e-6}, {"CONST2=", 250, 1e-6}}},
      {"samples", "float_nan",
       [] { return FloatDcWith(0.5f, 0.5f, 63, std::numeric_limits<float>::quiet_NaN(), 0.5f); }, n64,
       Outcome::nonFinite},
      {"samples", "float_infinity",
       [] { return FloatDcWith(0.5f, 0.5f, 0, 0.5f, std::numeric_limits<float>::infinity()); }, n64,
       Outcome::nonFinite},
      {"samples", "float_negative_infinity",
       [] { return FloatDcWith(0.5f, 0.5f, 31, -std::numeric_limits<float>::infinity(), 0.5f); }, n64,
       Outcome::nonFinite},
      // Only the first N frames are analysed: a NaN after them does no harm.
      {"samples", "float_nan_after_the_first_n_frames",
       [] { return FloatDcWith(0.5f, -0.25f, 64, std::numeric_limits<float>::quiet_NaN(), 0, 65); },
       n64, Outcome::report, Plain::yes, kDcFigures},
      {"samples", "double_nan",
       [] { return WavWithFmt(MakeFmt(3, 2, 44100, 64), Frames(64, LeDouble(0.5), LeDouble(std::nan("")))); },
       n64, Outcome::nonFinite},
      // Full scale reads as +-1.0 within one step of the encoding (and the report's rounding).
      {"samples", "u8_full_scale", [] { return WavWithFmt(MakeFmt(1, 2, 44100, 8), Frames(64, "\xFF", std::string(1, '\0'))); },
       n64, Outcome::report, Plain::yes, {{"CONST1=", 100, 100.0 / 128 + 1e-6}, {"CONST2=", 100, 100.0 / 128 + 1e-6}}},
      {"samples", "pcm24_full_scale",
       [] { return WavWithFmt(MakeFmt(1, 2, 44100, 24), Frames(64, "\xFF\xFF\x7F", std::string("\0\0\x80", 3))); },
       n64, Outcome::report, Plain::yes, {{"CONST1=", 100, 100.0 / (1 << 23) + 1e-6}, {"CONST2=", 100, 100.0 / (1 << 23) + 1e-6}}},
      {"samples", "pcm32_full_scale",
       [] { return WavWithFmt(MakeFmt(1, 2, 44100, 32), Frames(64, Le32(0x7FFFFFFF), Le32(0x80000000))); },
       n64, Outcome::report, Plain::yes, {{"CONST1=", 100, 1e-6}, {"CONST2=", 100, 1e-6}}},
      {"samples", "float64_full_scale",
       [] { return WavWithFmt(MakeFmt(3, 2, 44100, 64), Frames(64, LeDouble(1.0), LeDouble(-1.0))); },
       n64, Outcome::report, Plain::yes, {{"CONST1=", 100, 1e-9}, {"CONST2=", 100, 1e-9}}},
      {"samples", "exactly_n_frames", [] { return PlainWav16(DcData(65536)); }, {}, Outcome::report,
       Plain::yes, kDcFigures, {"FFTsize=65536   Windows:No\n"}},
      {"samples", "n_minus_1_frames", [] { return PlainWav16(DcData(65535)); }, {}, Outcome::shortRead,
       Plain::any, {}, {}, {}, 0, "", 65536},

      // --- sizes and options ---
      {"sizes", "n_1", [] { return PlainWav16(DcData(64)); }, {"-N", "1"}, Outcome::report, Plain::yes,
       kDcFigures, {"\nFFTsize=1   Windows:No\n"}, {"sum1="}},
      {"sizes", "n_2", [] { return PlainWav16(DcData(64)); }, {"-N", "2"}, Outcome::report, Plain::yes,
       kDcFigures, {"\nFFTsize=2   Windows:No\n"}, {"sum1="}},
      {"sizes", "n_3", [] { return PlainWav16(DcData(64)); }, {"-N", "3", "-D", "1"}, Outcome::report,
       Plain::yes, kDcFigures, {"    1: F=", "FFTsize=3   Windows:No\n"}},
      {"sizes", "n_prime_65521", [] { return PlainWav16(DcData(65521)); }, {"-N", "65521"},
       Outcome::report, Plain::yes, kDcFigures, {"FFTsize=65521   Windows:No\n"}},
      {"sizes", "n_2147483647", [] { return PlainWav16(DcData(64)); }, {"-N", "2147483647"},
       Outcome::hugeSize, Plain::any, {}, {}, {}, 0, "", 2147483647},
      // A negative step: bins that are multiples of 32768 / -3 = -10922 close the ranges.
      {"sizes", "d_negative", [] { return PlainWav16(DcData(65536)); }, {"-D", "-3"}, Outcome::report,
       Plain::yes, kDcFigures, {"^10922: F=", "\n21844: F=", "\n32766: F=", "\n\n32767: F="}},
      {"sizes", "d_larger_than_half_size", [] { return PlainWav16(DcData(64)); }, {"-N", "64", "-D", "33"},
       Outcome::message, Plain::any, {}, {}, {}, 1, "\nInvalid number of ranges: 33\n"},
      {"sizes", "d_larger_than_half_size_without_range_sums", [] { return PlainWav16(DcData(64)); },
       {"-N", "64", "-D", "33", "-s"}, Outcome::report, Plain::yes, kDcFigures, {}, {"sum1="}},
      {"sizes", "option_argument_of_200_characters", [] { return PlainWav16(DcData(64)); },
       {"-N", "64", "-W", "hanning" + std::string(193, 'x')}, Outcome::report, Plain::yes, {},
       {"Windows:Unknown (No windows function)\n"}},
      // Cut to 127 digits the number still saturates: the step comes out as 0.
      {"sizes", "option_number_of_200_digits", [] { return PlainWav16(DcData(64)); },
       {"-N", "64", "-D", std::string(200, '9')}, Outcome::message, Plain::any, {}, {}, {}, 1,
       "\nInvalid number of ranges: 2147483647\n"},
  };
  return rows;
}

// --- checks ---------------------------------------------------------------------------------

// The number after the first occurrence of label in text; NaN when it is missing.
double FigureIn(const std::string& text, const std::string& label) {
  const size_t at = text.find(label);
  if (at == std::string::npos) return std::nan("");
  return std::strtod(text.c_str() + at + label.size(), nullptr);
}

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

const std::string kPlainWarning = "\nWarning, not a plain WAV.\n Possible incorrect results\n";

void CheckRow(const Row& row, const ProcessResult& r, const std::string& report, bool hasReport) {
  ASSERT_FALSE(r.timedOut) << "no answer within " << kTimeLimitSeconds << " s";
  ASSERT_EQ(r.signal, 0) << r.err;
  EXPECT_EQ(WithoutRefusedBlockNotes(r.err), "");  // a sanitizer report lands here
  switch (row.outcome) {
    case Outcome::refused:
      EXPECT_EQ(r.status, 1);
      EXPECT_EQ(r.out, "\nCan't open or unknown format: " + kWav + "\n");
      break;
    case Outcome::shortRead:
      EXPECT_EQ(r.status, 2);
      EXPECT_TRUE(EndsWith(r.out, "\n\nCan't read " + std::to_string(row.frames) + " samles\n")) << r.out;
      EXPECT_GT(r.out.size(), std::to_string(row.frames).size() + 20) << "the header text comes first";
      break;
    case Outcome::nonFinite:
      EXPECT_EQ(r.status, 2);
      EXPECT_TRUE(EndsWith(r.out, "\n\nNon-finite sample values in: " + kWav + "\n")) << r.out;
      break;
    case Outcome::message:
      EXPECT_EQ(r.status, row.status);
      EXPECT_EQ(r.out, row.console);
      break;
    case Outcome::hugeSize:
      if (r.status == 2) {
        EXPECT_TRUE(EndsWith(r.out, "\n\nCan't read " + std::to_string(row.frames) + " samles\n")) << r.out;
      } else {
        EXPECT_EQ(r.status, 254) << r.out;
        EXPECT_EQ(r.out.find("Can't"), std::string::npos) << r.out;
      }
      // Zero-filled memory is not touched before it is needed. (AddressSanitizer's shadow of
      // a block is written when the block is allocated: there the bound can't hold.)
      if (!kSanitizedBuild) {
        EXPECT_LT(r.maxResidentKilobytes, 512 * 1024);
      }
      break;
    case Outcome::report:
      break;
  }
  if (row.outcome != Outcome::report) {
    EXPECT_FALSE(hasReport) << "a failed run left a report";
    return;
  }
  ASSERT_EQ(r.status, 0) << r.out;
  ASSERT_TRUE(hasReport);
  // The console shows the header text (and any warning), which the report repeats at its end.
  EXPECT_TRUE(EndsWith(report, "\n\nFILE INFO:\n" + r.out)) << "console:\n" << r.out << "report:\n" << report;
  const std::string figures = report.substr(0, report.find("\n\nFILE INFO:\n"));
  EXPECT_EQ(figures.find("nan"), std::string::npos);
  EXPECT_EQ(figures.find("inf"), std::string::npos);
  if (row.plain != Plain::any) {
    EXPECT_EQ(r.out.find(kPlainWarning) == std::string::npos, row.plain == Plain::yes) << r.out;
  }
  for (const Figure& f : row.figures) {
    EXPECT_NEAR(FigureIn(report, f.label), f.value, f.tolerance) << f.label;
  }
  for (const std::string& s : row.reportHas) {
    if (s.starts_with('^')) {
      EXPECT_TRUE(report.starts_with(s.substr(1))) << s;
    } else {
      EXPECT_NE(report.find(s), std::string::npos) << s;
    }
  }
  for (const std::string& s : row.reportLacks) EXPECT_EQ(report.find(s), std::string::npos) << s;
}

// Rows print by name in test output.
void PrintTo(const Row& row, std::ostream* os) { *os << row.group << "/" << row.name; }

class HostileInputTest : public testing::TestWithParam<Row> {};

TEST_P(HostileInputTest, EndsWithReportOrMessage) {
  const Row& row = GetParam();
  TempDir dir;
  const std::string bytes = row.bytes();
  ASSERT_TRUE(WriteFile(dir.File(kWav), bytes));
  // With WAVSPEC_SEED_DIR set, the rows' files also become the recording fuzzer's seeds.
  if (const char* seeds = std::getenv("WAVSPEC_SEED_DIR"); seeds != nullptr && *seeds != '\0') {
    EXPECT_TRUE(WriteFile(std::string(seeds) + "/" + row.group + "-" + row.name + ".wav", bytes));
  }
  std::vector<std::string> argv = {WavspecBinary(), kWav};
  argv.insert(argv.end(), row.options.begin(), row.options.end());
  ProcessOptions options;
  options.workingDirectory = dir.path();
  options.timeoutSeconds = kTimeLimitSeconds;
  if (row.outcome == Outcome::hugeSize) options.environment = SanitizerEnvironment();
  const ProcessResult r = RunProcess(argv, options);

  std::string report;
  const bool hasReport = ReadFile(dir.File(kWav + ".txt"), &report);
  CheckRow(row, r, report, hasReport);
  // Nothing but the report is ever written.
  EXPECT_EQ(ListDirectory(dir.path()), hasReport ? kWav + "\n" + kWav + ".txt\n" : kWav + "\n");
}

INSTANTIATE_TEST_SUITE_P(Catalogue, HostileInputTest, testing::ValuesIn(CatalogueRows()),
                         [](const testing::TestParamInfo<Row>& param) {
                           return param.param.group + "_" + param.param.name;
                         });

// Every input the fuzzers ever found a fault with is kept in fuzz/regressions/ and run again
// here as a whole-program run: it must end in time, without a signal or a sanitizer report.
TEST(FuzzRegressionTest, SavedInputsRunCleanly) {
  const std::filesystem::path root = std::filesystem::path(WAVSPEC_SOURCE_DIR) / "fuzz" / "regressions";
  int replayed = 0;
  for (const char* kind : {"recording", "arguments"}) {
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(root / kind, ignored)) {
      if (!entry.is_regular_file()) continue;
      SCOPED_TRACE(entry.path().string());
      std::string input;
      ASSERT_TRUE(ReadFile(entry.path().string(), &input));
      TempDir dir;
      std::vector<std::string> argv;
      if (std::string(kind) == "recording") {
        ASSERT_TRUE(WriteFile(dir.File(kWav), input));
        argv = RecordingArguments(WavspecBinary(), kWav);
      } else {
        ASSERT_TRUE(WriteFile(dir.File(kWav), OptionFuzzRecording()));
        argv = FuzzedArguments(WavspecBinary(), kWav, reinterpret_cast<const uint8_t*>(input.data()),
                               input.size());
      }
      ProcessOptions options;
      options.workingDirectory = dir.path();
      options.timeoutSeconds = kTimeLimitSeconds;
      options.environment = SanitizerEnvironment();  // as the fuzz build runs them
      const ProcessResult r = RunProcess(argv, options);
      EXPECT_FALSE(r.timedOut);
      EXPECT_EQ(r.signal, 0);
      EXPECT_TRUE(r.status == 0 || r.status == 1 || r.status == 2 || r.status == 254) << r.status;
      // Only the option scanner's own diagnostics may reach standard error.
      const std::string err = WithoutRefusedBlockNotes(r.err);
      EXPECT_EQ(err.find("Sanitizer"), std::string::npos) << err;
      EXPECT_EQ(err.find("runtime error"), std::string::npos) << err;
      ++replayed;
    }
  }
  EXPECT_GT(replayed, 0) << "fuzz/regressions/ holds no inputs";
}

}  // namespace
