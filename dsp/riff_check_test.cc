#include "dsp/riff_check.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dsp/wav_file.h"
#include "tests/temp_dir.h"

namespace {

// A small builder of RIFF-family files, byte by byte, so that every malformed size can be
// written exactly.
std::string Le16(uint32_t v) { return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8 & 0xFF)}; }
std::string Le32(uint32_t v) { return Le16(v & 0xFFFF) + Le16(v >> 16); }
std::string Le64(uint64_t v) { return Le32(static_cast<uint32_t>(v)) + Le32(static_cast<uint32_t>(v >> 32)); }

// id, size (the body's length unless given), body, and the pad byte of an odd body.
std::string Chunk(std::string_view id, std::string_view body, std::optional<uint32_t> size = {},
                  bool pad = true) {
  std::string out(id);
  out += Le32(size ? *size : static_cast<uint32_t>(body.size()));
  out += body;
  if (pad && body.size() % 2 == 1) out += '\0';
  return out;
}

std::string FmtBody(int channels = 2, int bits = 16, int rate = 8000) {
  const int align = channels * bits / 8;
  return Le16(1) + Le16(static_cast<uint32_t>(channels)) + Le32(static_cast<uint32_t>(rate)) +
         Le32(static_cast<uint32_t>(rate * align)) + Le16(static_cast<uint32_t>(align)) +
         Le16(static_cast<uint32_t>(bits));
}
std::string Fmt(int channels = 2) { return Chunk("fmt ", FmtBody(channels)); }

// 16 stereo frames of 16-bit samples: channel 1 holds 1, 2, ..., channel 2 holds -1, -2, ...
std::string Samples(int frames = 16) {
  std::string out;
  for (int i = 1; i <= frames; ++i) out += Le16(static_cast<uint32_t>(i)) + Le16(static_cast<uint32_t>(65536 - i));
  return out;
}
std::string Data(std::optional<uint32_t> size = {}) { return Chunk("data", Samples(), size); }

std::string Riff(const std::string& chunks, std::string_view kind = "RIFF") {
  return std::string(kind) + Le32(static_cast<uint32_t>(chunks.size() + 4)) + "WAVE" + chunks;
}

// An RF64 file: ds64 first, with the real data size; the data chunk says 0xFFFFFFFF.
std::string Rf64(const std::string& chunksBeforeData, const std::string& chunksAfterData) {
  const std::string samples = Samples();
  const std::string ds64 = Chunk("ds64", Le64(0) + Le64(samples.size()) + Le64(16) + Le32(0));
  return "RF64" + Le32(0xFFFFFFFF) + "WAVE" + ds64 + chunksBeforeData + "data" + Le32(0xFFFFFFFF) +
         samples + chunksAfterData;
}

// Wave64: 16-byte identifiers, 64-bit sizes that count the 24-byte header, 8-byte alignment.
std::string W64Guid(std::string_view fourcc) {
  const bool riff = fourcc == "riff";
  const unsigned char riffTail[12] = {0x2E, 0x91, 0xCF, 0x11, 0xA5, 0xD6, 0x28, 0xDB, 0x04, 0xC1, 0x00, 0x00};
  const unsigned char waveTail[12] = {0xF3, 0xAC, 0xD3, 0x11, 0x8C, 0xD1, 0x00, 0xC0, 0x4F, 0x8E, 0xDB, 0x8A};
  const unsigned char* tail = riff ? riffTail : waveTail;
  return std::string(fourcc) + std::string(reinterpret_cast<const char*>(tail), 12);
}
std::string W64Chunk(std::string_view fourcc, const std::string& body, std::optional<uint64_t> size = {}) {
  std::string out = W64Guid(fourcc) + Le64(size ? *size : body.size() + 24) + body;
  while (out.size() % 8 != 0) out += '\0';
  return out;
}
std::string W64(const std::string& chunks) {
  const std::string rest = W64Guid("wave") + chunks;
  return W64Guid("riff") + Le64(rest.size() + 24) + rest;
}

// A LIST chunk whose first sub-chunk claims 0xFFFFFFF8 bytes: the audio library's 32-bit
// count of bytes read wraps around on it and it seeks back and forth forever.
std::string HugeSubChunkList(std::string_view type, std::string_view subId) {
  return Chunk("LIST", std::string(type) + std::string(subId) + Le32(0xFFFFFFF8) + "abcdefgh");
}
std::string InfoList() { return Chunk("LIST", "INFO" + Chunk("ICMT", "made by a test")); }

struct ByteCase {
  const char* name;
  std::string bytes;
  RiffContainer container;
  bool refused;
  int64_t frames;  // delivered by WavReadReal when accepted (16 stereo frames written)
};

std::vector<ByteCase> Cases() {
  const std::string list = InfoList();
  const std::string fact = Chunk("fact", Le32(16));
  const std::string cue = Chunk("cue ", Le32(1) + Le32(1) + Le32(0) + "data" + Le32(0) + Le32(0) + Le32(3));
  return {
      // Refused: each would hang or mislead the library.
      {"huge LIST sub-chunk before data", Riff(Fmt() + HugeSubChunkList("INFO", "abcd") + Data()),
       RiffContainer::riff, true, 0},
      {"huge LIST sub-chunk after data", Riff(Fmt() + Data() + HugeSubChunkList("INFO", "abcd")),
       RiffContainer::riff, true, 0},
      {"huge note in adtl list", Riff(Fmt() + HugeSubChunkList("adtl", "note") + Data()),
       RiffContainer::riff, true, 0},
      {"huge LIST sub-chunk in RF64", Rf64(Fmt(), HugeSubChunkList("INFO", "abcd")),
       RiffContainer::rf64, true, 0},
      {"huge LIST sub-chunk in RIFX", Riff(Fmt() + HugeSubChunkList("INFO", "abcd"), "RIFX"),
       RiffContainer::rifx, true, 0},
      {"LIST after an odd data chunk and its pad byte",
       Riff(Chunk("fmt ", FmtBody(1, 8)) + Chunk("data", "\x80\x81\x82") + HugeSubChunkList("INFO", "abcd")),
       RiffContainer::riff, true, 0},
      {"sub-chunk larger than its LIST",
       Riff(Fmt() + Chunk("LIST", "INFO" + Chunk("ICMT", "abcd", 40)) + Data()), RiffContainer::riff, true, 0},
      {"LIST ending inside a sub-chunk header", Riff(Fmt() + Chunk("LIST", "INFOICMTab") + Data()),
       RiffContainer::riff, true, 0},
      {"data marker inside a LIST", Riff(Fmt() + Chunk("LIST", "INFO" + Data()) + Data()),
       RiffContainer::riff, true, 0},
      {"LIST shorter than its type", Riff(Fmt() + Chunk("LIST", "IN") + Data()), RiffContainer::riff, true, 0},
      {"two fmt chunks", Riff(Fmt() + Chunk("fmt ", FmtBody(1)) + Data()), RiffContainer::riff, true, 0},
      {"two fmt chunks in RF64", Rf64(Fmt() + Chunk("fmt ", FmtBody(1)), ""), RiffContainer::rf64, true, 0},
      {"two fmt chunks in Wave64",
       W64(W64Chunk("fmt ", FmtBody()) + W64Chunk("fmt ", FmtBody(1)) + W64Chunk("data", Samples())),
       RiffContainer::wave64, true, 0},
      {"Wave64 chunk of size 0", W64(W64Chunk("fmt ", FmtBody()) + W64Chunk("junk", "", 0) + W64Chunk("data", Samples())),
       RiffContainer::wave64, true, 0},
      {"fmt chunk cut short", Riff(Chunk("fmt ", FmtBody().substr(0, 8), 16)), RiffContainer::riff, true, 0},
      {"ds64 chunk cut short", "RF64" + Le32(0xFFFFFFFF) + "WAVE" + Chunk("ds64", Le64(0)),
       RiffContainer::rf64, true, 0},
      {"RIFF alone", "RIFF", RiffContainer::riff, true, 0},

      // Accepted.
      {"plain", Riff(Fmt() + Data()), RiffContainer::riff, false, 16},
      {"LIST, fact and cue before and after data", Riff(Fmt() + list + fact + cue + Data() + list + fact + cue),
       RiffContainer::riff, false, 16},
      {"odd chunk with its pad byte", Riff(Fmt() + Chunk("junk", "odd") + Data()), RiffContainer::riff, false, 16},
      {"odd last sub-chunk whose pad the LIST leaves out",
       Riff(Fmt() + Chunk("LIST", "INFO" + Chunk("ICMT", "odd", {}, false)) + Data()),
       RiffContainer::riff, false, 16},
      {"LIST with trailing zero bytes", Riff(Fmt() + Chunk("LIST", "INFO" + Chunk("ICMT", "ab") + std::string(6, '\0')) + Data()),
       RiffContainer::riff, false, 16},
      {"data longer than the file", Riff(Fmt() + Data(64000)), RiffContainer::riff, false, 16},
      {"data size 0xFFFFFFFF", Riff(Fmt() + Data(0xFFFFFFFF)), RiffContainer::riff, false, 16},
      {"LIST cut by the end of the file", Riff(Fmt() + Data() + Chunk("LIST", "INFO" + Chunk("ICMT", "abcdef"), 400)),
       RiffContainer::riff, false, 16},
      {"RIFF size disagreeing with the file", "RIFF" + Le32(12) + "WAVE" + Fmt() + Data(), RiffContainer::riff, false, 16},
      {"random bytes after the data", Riff(Fmt() + Data()) + "\x01\xFE\x33", RiffContainer::riff, false, 16},
      {"RF64 with chunks after data", Rf64(Fmt() + list, list), RiffContainer::rf64, false, 16},
      {"Wave64", W64(W64Chunk("fmt ", FmtBody()) + W64Chunk("data", Samples())), RiffContainer::wave64, false, 16},
      {"not a RIFF file", "FORM" + std::string(40, '\0'), RiffContainer::other, false, -1},
  };
}

TEST(RiffCheckTest, RefusesSizesThatCannotFitAndAcceptsTheLenientCases) {
  TempDir dir;
  for (const ByteCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.File("case.wav");
    ASSERT_TRUE(WriteFile(path, c.bytes));
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    const RiffCheck check = CheckRiffChunks(fd, static_cast<int64_t>(c.bytes.size()));
    close(fd);
    EXPECT_EQ(check.container, c.container);
    EXPECT_EQ(check.refused, c.refused) << check.reason;

    WavFormatInfo info{};
    const auto start = std::chrono::steady_clock::now();
    WavHandle handle = WavOpen(path.c_str(), &info);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    if (c.refused) {
      EXPECT_EQ(handle, nullptr);
      EXPECT_EQ(info.formatCode, 0u);
    } else if (c.frames >= 0) {
      ASSERT_NE(handle, nullptr);
      std::vector<double> ch1(64), ch2(64);
      EXPECT_EQ(WavReadReal(handle, ch1.data(), ch2.data(), 64, 0), c.frames);
      EXPECT_EQ(ch1[0], 1.0);
      EXPECT_EQ(ch2[0], -1.0);
      EXPECT_EQ(ch1[15], 16.0);
      EXPECT_EQ(ch2[15], -16.0);
    }
    WavClose(handle);
  }
}

}  // namespace
