// Opening, describing and reading audio files (WAV and whatever else the audio library reads).
#pragma once

#include <cstddef>
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
  int32_t containerKind;    // the container part of formatCode (kContainer* below)
  uint32_t formatCode;      // kPlainStereoWav for a plain two-channel WAV; see below
  int32_t encodingKind;     // the encoding part of formatCode (kEncoding* below)
  char encodingName[260];   // e.g. "16-bit PCM"; terminated
};
static_assert(sizeof(WavFormatInfo) == 284);
static_assert(offsetof(WavFormatInfo, sampleRate) == 0);
static_assert(offsetof(WavFormatInfo, formatCode) == 16);

// The format code: (container << 16) | (channel layout << 8) | encoding.
// The value 0x00010001 means exactly a RIFF WAVE file (plain or extensible) with two channels
// of linear PCM (8, 16, 24, 32-bit) or IEEE float (32, 64-bit); every other readable file
// has another code. Codes are stable: they may be stored and compared.
inline constexpr uint32_t kPlainStereoWav = 0x00010001;

// Containers, bits 16-31.
inline constexpr int32_t kContainerRiffWave = 1;   // RIFF WAVE, plain or WAVE_FORMAT_EXTENSIBLE
inline constexpr int32_t kContainerRifxWave = 2;   // RIFX WAVE (big-endian)
inline constexpr int32_t kContainerRf64 = 3;       // RF64 / BW64
inline constexpr int32_t kContainerWave64 = 4;     // Sony Wave64
inline constexpr int32_t kContainerAiff = 5;       // AIFF and AIFF-C
inline constexpr int32_t kContainerAu = 6;         // Sun/NeXT AU
inline constexpr int32_t kContainerFlac = 7;       // native FLAC
inline constexpr int32_t kContainerOgg = 8;        // Ogg (Vorbis, Opus, FLAC)
inline constexpr int32_t kContainerCaf = 9;        // Apple Core Audio Format
inline constexpr int32_t kContainerMpeg = 10;      // MPEG audio stream (MP1/MP2/MP3)
inline constexpr int32_t kContainerOther = 0xFF;   // any other container the library reads

// Channel layout, bits 8-15.
inline constexpr int32_t kLayoutStereo = 0;        // two channels
inline constexpr int32_t kLayoutMono = 1;          // one channel (channel 2 reads as zeros)
inline constexpr int32_t kLayoutMulti = 2;         // more than two (the first two are read)

// Encodings, bits 0-7.
inline constexpr int32_t kEncodingLinear = 1;      // integer PCM of 8-32 bits, IEEE float 32/64
inline constexpr int32_t kEncodingMuLaw = 2;       // G.711 mu-law
inline constexpr int32_t kEncodingALaw = 3;        // G.711 A-law
inline constexpr int32_t kEncodingImaAdpcm = 4;    // IMA / DVI ADPCM
inline constexpr int32_t kEncodingMsAdpcm = 5;     // Microsoft ADPCM
inline constexpr int32_t kEncodingGsm610 = 6;      // GSM 6.10
inline constexpr int32_t kEncodingG72x = 7;        // G.721 / G.723 ADPCM
inline constexpr int32_t kEncodingOtherAdpcm = 8;  // OKI (VOX) and NMS ADPCM
inline constexpr int32_t kEncodingDwvw = 9;        // delta width variable word
inline constexpr int32_t kEncodingDpcm = 10;       // differential PCM
inline constexpr int32_t kEncodingVorbis = 11;
inline constexpr int32_t kEncodingOpus = 12;
inline constexpr int32_t kEncodingAlac = 13;       // Apple Lossless
inline constexpr int32_t kEncodingMpeg = 14;       // MPEG layer I, II or III
inline constexpr int32_t kEncodingOther = 0xFF;

// Opens an audio file read-only and fills info (all zero on failure). Returns null for a file
// that is missing, unreadable, not a regular file (a directory, FIFO or terminal is refused at
// once, never waited on), not audio, or a RIFF-family file whose chunk sizes don't fit
// together or that holds more than one fmt chunk. A data chunk claiming more than the file
// holds is accepted: the frames present are read.
WavHandle WavOpen(const char* path, WavFormatInfo* info);

// Writes a terminated human-readable description of the file (container, encoding, channels,
// sampling rate, frames, duration) into text, at most capacity bytes with the terminator:
// one "Name: value" line each. For a mono file it says that channel 2 is silent, for more
// than two channels that only the first two are analysed.
void WavGetHeaderInfo(WavHandle handle, char* text, int32_t capacity);

// Reads the first frames (from the start of the file, whatever was read before) of channel 1
// and channel 2 into ch1 and ch2; for a mono file ch2 is not written (the caller's zeros stay),
// and channels beyond the second are skipped. scale 1 gives samples at full scale +-1.0
// (integer PCM divided by 2^(bits-1), 8-bit unsigned centred first; floats as stored);
// scale 0 gives the library's unscaled values (integer PCM as its integers, e.g. -32768 ...
// 32767 for 16 bits; floats as stored). Returns the frames delivered: fewer than frames at
// the end of the file, 0 for another scale, a null handle or array, or frames < 1.
int64_t WavReadReal(WavHandle handle, double* ch1, double* ch2, int64_t frames, int32_t scale);

// Releases the handle; null is allowed.
void WavClose(WavHandle handle);
