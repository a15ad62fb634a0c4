// Opening, describing and reading audio files (WAV and whatever else the audio library reads).
#pragma once

#include <cstdint>

// Opaque handle of an open audio file; null on failure.
struct WavFile;
using WavHandle = WavFile*;

// What WavOpen reports of a file. The layout of the first fields is fixed: the sampling rate
// at byte 0 and the format code at byte 16; the record is 284 bytes.
struct WavFormatInfo {
  int32_t sampleRate;       // samples per second
  int32_t channelCount;     // channels in the file (only the first two are analysed)
  int32_t bitsPerSample;    // bits of one stored sample; 0 where the encoding has no fixed width
  int32_t containerKind;    // the container part of formatCode (see kFormat* below)
  uint32_t formatCode;      // kPlainStereoWav for a plain two-channel WAV; see below
  int32_t encodingKind;     // the encoding part of formatCode
  char encodingName[260];   // e.g. "16-bit PCM"; terminated
};
static_assert(sizeof(WavFormatInfo) == 284);

// The format code: (container << 16) | encoding. The value 0x00010001 means exactly a RIFF WAVE
// file (plain or extensible) with two channels of linear PCM (8, 16, 24, 32-bit) or IEEE float
// (32, 64-bit); every other readable file has another code. Containers and encodings:
inline constexpr uint32_t kPlainStereoWav = 0x00010001;
// (the full table of container and encoding values is documented in wav_file.cc's helper
// header, wav_format_code.h)

// Opens an audio file read-only and fills info. Returns null for a file that is missing,
// unreadable, not a regular file or not audio.
WavHandle WavOpen(const char* path, WavFormatInfo* info);

// Writes a terminated human-readable description of the file (container, encoding, channels,
// sampling rate, frames, duration) into text, at most capacity bytes with the terminator.
void WavGetHeaderInfo(WavHandle handle, char* text, int32_t capacity);

// Reads the first frames of channel 1 and channel 2 (zeros for a mono file) into ch1 and ch2.
// scale 1 gives samples in full scale +-1.0 (integer PCM divided by 2^(bits-1), floats as
// stored). Returns the frames delivered: fewer than frames at the end of the file.
int64_t WavReadReal(WavHandle handle, double* ch1, double* ch2, int64_t frames, int32_t scale);

// Releases the handle; null is allowed.
void WavClose(WavHandle handle);
