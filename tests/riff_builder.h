// Builds byte images of RIFF WAVE, RF64 and Wave64 files, well-formed or deliberately broken:
// chunks with any id and any declared size, with or without pad bytes, fmt payloads with any
// field values. Used by the hostile-input tests and for the fuzzers' seed files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Little-endian encodings of integers and doubles, as bytes.
std::string Le16(uint16_t v);
std::string Le32(uint32_t v);
std::string Le64(uint64_t v);
std::string LeFloat(float v);
std::string LeDouble(double v);

// The fields of a WAVE fmt chunk. Nothing is derived: every field is written as it stands.
struct FmtFields {
  uint16_t formatTag = 1;  // 1 PCM, 3 IEEE float, 0xFFFE extensible, anything else
  uint16_t channels = 2;
  uint32_t sampleRate = 44100;
  uint32_t byteRate = 44100 * 4;
  uint16_t blockAlign = 4;
  uint16_t bitsPerSample = 16;
};

// Consistent fields for channels of bitsPerSample-bit samples with the given tag.
FmtFields MakeFmt(uint16_t formatTag, uint16_t channels, uint32_t sampleRate,
                  uint16_t bitsPerSample);

// The 16-byte fmt payload. With extra set, a cbSize field and the extra bytes follow.
std::string FmtPayload(const FmtFields& f, std::optional<std::string_view> extra = {});
// A 40-byte WAVE_FORMAT_EXTENSIBLE payload; subFormatTag 1 PCM or 3 float.
std::string ExtensibleFmtPayload(const FmtFields& f, uint16_t subFormatTag, uint32_t channelMask);

// A RIFF chunk: the 4-byte id, the declared size (the payload's size unless given), the payload
// and, when the payload's size is odd and pad is set, one zero pad byte.
std::string Chunk(std::string_view id, std::string_view payload,
                  std::optional<uint32_t> declaredSize = {}, bool pad = true);
// "RIFF", its size (4 + body size unless given), the form type ("WAVE") and the body.
std::string RiffFile(std::string_view body, std::optional<uint32_t> declaredSize = {},
                     std::string_view form = "WAVE");
// A LIST chunk of the given type ("INFO", "adtl", ...) holding the sub-chunks in body.
std::string ListChunk(std::string_view type, std::string_view body,
                      std::optional<uint32_t> declaredSize = {});

// An RF64 file: "RF64", 0xFFFFFFFF, "WAVE", a ds64 chunk with the 64-bit RIFF size (the file's
// size minus 8 unless given), data size and sample count, then body. The data chunk in body
// normally declares 0xFFFFFFFF and its real size is dataSize.
std::string Rf64File(std::string_view body, uint64_t dataSize, uint64_t sampleCount,
                     std::optional<uint64_t> riffSize = {});

// The 16-byte Wave64 GUID for "riff", "wave", "fmt ", "data", "list", "fact" or "junk".
std::string W64Guid(std::string_view name);
// A Wave64 chunk: GUID, 64-bit size (24 + payload unless given), payload, zero bytes up to
// the next multiple of 8.
std::string W64Chunk(std::string_view name, std::string_view payload,
                     std::optional<uint64_t> declaredSize = {});
// A Wave64 file: the riff GUID, its 64-bit size (the whole file unless given), the wave GUID
// and the chunks in body.
std::string W64File(std::string_view body, std::optional<uint64_t> declaredSize = {});

// Interleaved 16-bit PCM frames: channel 1 holds left, channel 2 right, for every frame.
std::string ConstantPcm16(int64_t frames, int16_t left, int16_t right);
// Interleaved stereo frames of a sampled tone: channel 1 a * cos(2 pi k n / N), channel 2 the
// same tone shifted by a quarter turn, as 16-bit PCM.
std::string TonePcm16(int64_t frames, int32_t n, int32_t k, double amplitude);
// Deterministic pseudo-random bytes (a fixed xorshift sequence from seed).
std::string PseudoRandomBytes(size_t count, uint32_t seed);

// A complete plain stereo 16-bit PCM WAV file at the given rate holding data as its samples.
std::string PlainWav16(std::string_view data, uint32_t sampleRate = 44100);
