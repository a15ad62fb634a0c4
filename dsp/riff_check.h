// A walk over the chunk tree of RIFF-family files (RIFF/RIFX WAVE, RF64/BW64, Sony Wave64),
// done before the audio library parses them: the library loops forever or reads past its
// buffers on some malformed chunk sizes, so such files are refused here first.
#pragma once

#include <cstdint>

enum class RiffContainer { other, riff, rifx, rf64, wave64 };

struct RiffCheck {
  RiffContainer container = RiffContainer::other;  // what the first bytes name
  bool refused = false;                            // the file must not reach the library
  const char* reason = "";                         // why it was refused, for tests
};

// Reads the chunk headers of the file open on fd (fileSize bytes long) with pread, never
// beyond fileSize. A file of another container is not walked: container other, not refused.
// Refused: a header cut short; a chunk other than the last whose size passes the end of the
// file; a fmt or ds64 chunk cut short; more than one fmt chunk; a LIST chunk whose
// sub-chunks do not fit its declared size exactly (trailing zero bytes allowed) or that holds
// a data marker; a Wave64 chunk smaller than its own header. The last chunk (the data chunk
// of an interrupted recording, typically) may claim more than the file holds.
RiffCheck CheckRiffChunks(int fd, int64_t fileSize);
