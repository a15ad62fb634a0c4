#include "dsp/riff_check.h"

#include <array>
#include <cstring>

#include <unistd.h>

namespace {

using Guid = std::array<unsigned char, 16>;

// Wave64 chunk identifiers: the FourCC followed by a fixed tail.
constexpr Guid kW64Riff = {'r', 'i', 'f', 'f', 0x2E, 0x91, 0xCF, 0x11,
                           0xA5, 0xD6, 0x28, 0xDB, 0x04, 0xC1, 0x00, 0x00};
constexpr Guid kW64Fmt = {'f', 'm', 't', ' ', 0xF3, 0xAC, 0xD3, 0x11,
                          0x8C, 0xD1, 0x00, 0xC0, 0x4F, 0x8E, 0xDB, 0x8A};

bool ReadAt(int fd, int64_t offset, void* buffer, size_t length) {
  auto* out = static_cast<unsigned char*>(buffer);
  size_t done = 0;
  while (done < length) {
    const ssize_t got = pread(fd, out + done, length - done, static_cast<off_t>(offset) + static_cast<off_t>(done));
    if (got <= 0) return false;
    done += static_cast<size_t>(got);
  }
  return true;
}

bool Is(const unsigned char* id, const char* name) { return std::memcmp(id, name, 4) == 0; }

uint32_t Le32(const unsigned char* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
uint32_t Be32(const unsigned char* p) {
  return uint32_t{p[3]} | uint32_t{p[2]} << 8 | uint32_t{p[1]} << 16 | uint32_t{p[0]} << 24;
}
uint64_t Le64(const unsigned char* p) { return uint64_t{Le32(p)} | uint64_t{Le32(p + 4)} << 32; }

RiffCheck Refuse(RiffCheck check, const char* reason) {
  check.refused = true;
  check.reason = reason;
  return check;
}

// The sub-chunks of a LIST chunk, read the way the audio library reads them: a marker, then
// for INFO and adtl nothing more, for exif the rest of the list, for a zero marker the end,
// and for anything else a size and that many bytes (plus a pad byte to an even size). The
// library counts the bytes it has read in 32 bits and never checks some sizes, so a size that
// does not fit would wrap its count around and make it loop.
const char* CheckListBody(int fd, int64_t begin, uint64_t declared, int64_t fileSize, bool bigEndian) {
  if (declared > 0 && declared < 4) return "LIST chunk shorter than its type";
  if (declared <= 8) return nullptr;  // the library only skips such a list
  const int64_t available = fileSize - begin;
  const int64_t length = declared < static_cast<uint64_t>(available) ? static_cast<int64_t>(declared) : available;
  int64_t at = 0;
  while (at < length) {
    const int64_t left = static_cast<int64_t>(declared) - at;
    unsigned char head[8] = {};
    const size_t want = left >= 8 ? 8 : static_cast<size_t>(left);
    if (at + static_cast<int64_t>(want) > length) return nullptr;  // cut by the end of the file
    if (!ReadAt(fd, begin + at, head, want)) return "LIST chunk unreadable";
    if (Le32(head) == 0) {
      // The library stops at a zero marker; fine as long as it does not stand for a size.
      return nullptr;
    }
    if (Is(head, "INFO") || Is(head, "adtl")) {
      at += 4;
      continue;
    }
    if (Is(head, "exif")) return nullptr;  // the library reads the rest in bounded steps
    if (Is(head, "data")) return "data marker inside a LIST chunk";
    if (left < 8) return "LIST chunk ends inside a sub-chunk header";
    const uint64_t size = bigEndian ? Be32(head + 4) : Le32(head + 4);
    const uint64_t room = static_cast<uint64_t>(left - 8);
    if (size > room) return "LIST sub-chunk larger than its list";
    at += 8 + static_cast<int64_t>(size) + static_cast<int64_t>(((size & 1) != 0 && size < room) ? 1 : 0);
  }
  return nullptr;
}

RiffCheck CheckRiffFamily(int fd, int64_t fileSize, RiffCheck check) {
  const bool bigEndian = check.container == RiffContainer::rifx;
  const bool rf64 = check.container == RiffContainer::rf64;
  if (fileSize < 12) return Refuse(check, "RIFF header cut short");
  uint64_t ds64DataSize = 0;
  bool haveDs64 = false;
  int fmtCount = 0;
  int64_t at = 12;
  while (fileSize - at >= 8) {
    unsigned char head[8];
    if (!ReadAt(fd, at, head, 8)) return Refuse(check, "chunk header unreadable");
    const uint32_t size32 = bigEndian ? Be32(head + 4) : Le32(head + 4);
    uint64_t size = size32;
    // With a ds64 chunk the library takes the data size from it, whatever the chunk says.
    if (rf64 && haveDs64 && Is(head, "data")) size = ds64DataSize;
    const uint64_t room = static_cast<uint64_t>(fileSize - at - 8);
    const bool fits = size <= room;

    if (Is(head, "fmt ")) {
      if (++fmtCount > 1) return Refuse(check, "more than one fmt chunk");
      if (!fits) return Refuse(check, "fmt chunk cut short");
    } else if (Is(head, "ds64") && rf64) {
      unsigned char body[28];
      if (size < sizeof body || !fits || !ReadAt(fd, at + 8, body, sizeof body)) {
        return Refuse(check, "ds64 chunk cut short");
      }
      ds64DataSize = Le64(body + 8);
      haveDs64 = true;
    } else if (Is(head, "LIST")) {
      if (const char* fault = CheckListBody(fd, at + 8, size, fileSize, bigEndian)) {
        return Refuse(check, fault);
      }
    }
    if (!fits) return check;  // the last chunk, cut by the end of the file: the part present is used
    // Chunks are padded to an even size. The library always skips the pad byte, so the next
    // chunk is looked for where it looks, even when a writer left the pad out.
    at += 8 + static_cast<int64_t>(size) + static_cast<int64_t>(size & 1);
  }
  return check;
}

RiffCheck CheckWave64(int fd, int64_t fileSize, RiffCheck check) {
  constexpr int64_t kHeader = 24;  // GUID and 64-bit size, counted in the chunk's size
  if (fileSize < 40) return Refuse(check, "Wave64 header cut short");
  int fmtCount = 0;
  int64_t at = 40;
  while (fileSize - at >= kHeader) {
    unsigned char head[kHeader];
    if (!ReadAt(fd, at, head, sizeof head)) return Refuse(check, "chunk header unreadable");
    const uint64_t size = Le64(head + 16);
    if (size < kHeader) return Refuse(check, "Wave64 chunk smaller than its header");
    const bool fits = size <= static_cast<uint64_t>(fileSize - at);
    if (std::memcmp(head, kW64Fmt.data(), kW64Fmt.size()) == 0) {
      if (++fmtCount > 1) return Refuse(check, "more than one fmt chunk");
      if (!fits) return Refuse(check, "fmt chunk cut short");
    }
    if (!fits) return check;
    // Wave64 chunks are aligned to 8 bytes.
    const uint64_t step = (size + 7) & ~uint64_t{7};
    if (step > static_cast<uint64_t>(fileSize - at)) return check;
    at += static_cast<int64_t>(step);
  }
  return check;
}

}  // namespace

RiffCheck CheckRiffChunks(int fd, int64_t fileSize) {
  RiffCheck check;
  unsigned char start[16] = {};
  const size_t want = fileSize >= 16 ? 16 : fileSize > 0 ? static_cast<size_t>(fileSize) : 0;
  if (want < 4 || !ReadAt(fd, 0, start, want)) return check;
  if (Is(start, "RIFF")) {
    check.container = RiffContainer::riff;
  } else if (Is(start, "RIFX")) {
    check.container = RiffContainer::rifx;
  } else if (Is(start, "RF64") || Is(start, "BW64")) {
    check.container = RiffContainer::rf64;
  } else if (want == 16 && std::memcmp(start, kW64Riff.data(), kW64Riff.size()) == 0) {
    check.container = RiffContainer::wave64;
    return CheckWave64(fd, fileSize, check);
  } else {
    return check;
  }
  return CheckRiffFamily(fd, fileSize, check);
}
