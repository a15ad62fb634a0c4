#include "tests/riff_builder.h"

#include <bit>
#include <cmath>
#include <numbers>
#include <stdexcept>

namespace {

std::string LittleEndian(uint64_t v, int bytes) {
  std::string out(static_cast<size_t>(bytes), '\0');
  for (int i = 0; i < bytes; ++i) out[static_cast<size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
  return out;
}

// The Wave64 GUIDs as stored: Data1..Data3 little-endian, Data4 as bytes.
struct NamedGuid {
  const char* name;
  const char* bytes;  // 16 bytes
};
constexpr NamedGuid kW64Guids[] = {
    {"riff", "riff\x2E\x91\xCF\x11\xA5\xD6\x28\xDB\x04\xC1\x00\x00"},
    {"list", "list\x2F\x91\xCF\x11\xA5\xD6\x28\xDB\x04\xC1\x00\x00"},
    {"wave", "wave\xF3\xAC\xD3\x11\x8C\xD1\x00\xC0\x4F\x8E\xDB\x8A"},
    {"fmt ", "fmt \xF3\xAC\xD3\x11\x8C\xD1\x00\xC0\x4F\x8E\xDB\x8A"},
    {"fact", "fact\xF3\xAC\xD3\x11\x8C\xD1\x00\xC0\x4F\x8E\xDB\x8A"},
    {"data", "data\xF3\xAC\xD3\x11\x8C\xD1\x00\xC0\x4F\x8E\xDB\x8A"},
    {"junk", "junk\xF3\xAC\xD3\x11\x8C\xD1\x00\xC0\x4F\x8E\xDB\x8A"},
};

}  // namespace

std::string Le16(uint16_t v) { return LittleEndian(v, 2); }
std::string Le32(uint32_t v) { return LittleEndian(v, 4); }
std::string Le64(uint64_t v) { return LittleEndian(v, 8); }
std::string LeFloat(float v) { return Le32(std::bit_cast<uint32_t>(v)); }
std::string LeDouble(double v) { return Le64(std::bit_cast<uint64_t>(v)); }

FmtFields MakeFmt(uint16_t formatTag, uint16_t channels, uint32_t sampleRate,
                  uint16_t bitsPerSample) {
  FmtFields f;
  f.formatTag = formatTag;
  f.channels = channels;
  f.sampleRate = sampleRate;
  f.bitsPerSample = bitsPerSample;
  f.blockAlign = static_cast<uint16_t>(channels * ((bitsPerSample + 7) / 8));
  f.byteRate = sampleRate * f.blockAlign;
  return f;
}

std::string FmtPayload(const FmtFields& f, std::optional<std::string_view> extra) {
  std::string out = Le16(f.formatTag) + Le16(f.channels) + Le32(f.sampleRate) + Le32(f.byteRate) +
                    Le16(f.blockAlign) + Le16(f.bitsPerSample);
  if (extra) {
    out += Le16(static_cast<uint16_t>(extra->size()));
    out += *extra;
  }
  return out;
}

std::string ExtensibleFmtPayload(const FmtFields& f, uint16_t subFormatTag, uint32_t channelMask) {
  FmtFields outer = f;
  outer.formatTag = 0xFFFE;
  // The sub-format GUID is the format tag followed by the fixed tail of the WAVE GUIDs.
  const std::string extra = Le16(f.bitsPerSample) + Le32(channelMask) + Le16(subFormatTag) +
                            std::string("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14);
  return FmtPayload(outer, extra);
}

std::string Chunk(std::string_view id, std::string_view payload, std::optional<uint32_t> declaredSize,
                  bool pad) {
  if (id.size() != 4) throw std::invalid_argument("a chunk id has 4 bytes");
  std::string out(id);
  out += Le32(declaredSize.value_or(static_cast<uint32_t>(payload.size())));
  out += payload;
  if (pad && payload.size() % 2 == 1) out += '\0';
  return out;
}

std::string RiffFile(std::string_view body, std::optional<uint32_t> declaredSize,
                     std::string_view form) {
  std::string out = "RIFF";
  out += Le32(declaredSize.value_or(static_cast<uint32_t>(form.size() + body.size())));
  out += form;
  out += body;
  return out;
}

std::string ListChunk(std::string_view type, std::string_view body,
                      std::optional<uint32_t> declaredSize) {
  return Chunk("LIST", std::string(type) + std::string(body), declaredSize);
}

std::string Rf64File(std::string_view body, uint64_t dataSize, uint64_t sampleCount,
                     std::optional<uint64_t> riffSize) {
  const std::string ds64 = Chunk("ds64", Le64(0) + Le64(dataSize) + Le64(sampleCount) + Le32(0));
  std::string out = "RF64" + Le32(0xFFFFFFFF) + "WAVE" + ds64 + std::string(body);
  const uint64_t size = riffSize.value_or(out.size() - 8);
  out.replace(20, 8, Le64(size));  // the ds64 payload starts at byte 20
  return out;
}

std::string W64Guid(std::string_view name) {
  for (const NamedGuid& g : kW64Guids) {
    if (name == g.name) return std::string(g.bytes, 16);
  }
  throw std::invalid_argument("unknown Wave64 chunk name");
}

std::string W64Chunk(std::string_view name, std::string_view payload,
                     std::optional<uint64_t> declaredSize) {
  std::string out = W64Guid(name);
  out += Le64(declaredSize.value_or(24 + payload.size()));
  out += payload;
  out.append((8 - out.size() % 8) % 8, '\0');
  return out;
}

std::string W64File(std::string_view body, std::optional<uint64_t> declaredSize) {
  std::string out = W64Guid("riff");
  out += Le64(declaredSize.value_or(40 + body.size()));
  out += W64Guid("wave");
  out += body;
  return out;
}

std::string ConstantPcm16(int64_t frames, int16_t left, int16_t right) {
  const std::string frame = Le16(static_cast<uint16_t>(left)) + Le16(static_cast<uint16_t>(right));
  std::string out;
  out.reserve(static_cast<size_t>(frames) * 4);
  for (int64_t i = 0; i < frames; ++i) out += frame;
  return out;
}

std::string TonePcm16(int64_t frames, int32_t n, int32_t k, double amplitude) {
  std::string out;
  out.reserve(static_cast<size_t>(frames) * 4);
  for (int64_t j = 0; j < frames; ++j) {
    const double turns = static_cast<double>((int64_t{k} * j) % n) / n;
    const double a = amplitude * std::cos(2 * std::numbers::pi * turns);
    const double b = amplitude * std::cos(2 * std::numbers::pi * turns - std::numbers::pi / 2);
    out += Le16(static_cast<uint16_t>(static_cast<int16_t>(std::lround(a * 32767))));
    out += Le16(static_cast<uint16_t>(static_cast<int16_t>(std::lround(b * 32767))));
  }
  return out;
}

std::string PseudoRandomBytes(size_t count, uint32_t seed) {
  std::string out(count, '\0');
  uint32_t x = seed == 0 ? 0x9E3779B9u : seed;
  for (size_t i = 0; i < count; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    out[i] = static_cast<char>(x & 0xFF);
  }
  return out;
}

std::string PlainWav16(std::string_view data, uint32_t sampleRate) {
  return RiffFile(Chunk("fmt ", FmtPayload(MakeFmt(1, 2, sampleRate, 16))) + Chunk("data", data));
}
