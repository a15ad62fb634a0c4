#include "dsp/wav_file.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include "dsp/riff_check.h"

namespace {

// The library reads at most this many samples (all channels together) per call, so a read
// of N frames never needs an interleaved copy of all of them.
constexpr int64_t kBlockSamples = 8192;

struct Encoding {
  int32_t kind;
  int32_t bits;
  const char* name;
};

Encoding DescribeEncoding(int subtype) {
  switch (subtype) {
    case SF_FORMAT_PCM_S8: return {kEncodingLinear, 8, "8-bit signed PCM"};
    case SF_FORMAT_PCM_U8: return {kEncodingLinear, 8, "8-bit unsigned PCM"};
    case SF_FORMAT_PCM_16: return {kEncodingLinear, 16, "16-bit PCM"};
    case SF_FORMAT_PCM_24: return {kEncodingLinear, 24, "24-bit PCM"};
    case SF_FORMAT_PCM_32: return {kEncodingLinear, 32, "32-bit PCM"};
    case SF_FORMAT_FLOAT: return {kEncodingLinear, 32, "32-bit IEEE float"};
    case SF_FORMAT_DOUBLE: return {kEncodingLinear, 64, "64-bit IEEE float"};
    case SF_FORMAT_ULAW: return {kEncodingMuLaw, 8, "mu-law"};
    case SF_FORMAT_ALAW: return {kEncodingALaw, 8, "A-law"};
    case SF_FORMAT_IMA_ADPCM: return {kEncodingImaAdpcm, 4, "IMA ADPCM"};
    case SF_FORMAT_MS_ADPCM: return {kEncodingMsAdpcm, 4, "Microsoft ADPCM"};
    case SF_FORMAT_GSM610: return {kEncodingGsm610, 0, "GSM 6.10"};
    case SF_FORMAT_G721_32: return {kEncodingG72x, 4, "G.721 ADPCM (32 kbit/s)"};
    case SF_FORMAT_G723_24: return {kEncodingG72x, 3, "G.723 ADPCM (24 kbit/s)"};
    case SF_FORMAT_G723_40: return {kEncodingG72x, 5, "G.723 ADPCM (40 kbit/s)"};
    case SF_FORMAT_VOX_ADPCM: return {kEncodingOtherAdpcm, 4, "OKI ADPCM"};
    case SF_FORMAT_NMS_ADPCM_16: return {kEncodingOtherAdpcm, 2, "NMS ADPCM (16 kbit/s)"};
    case SF_FORMAT_NMS_ADPCM_24: return {kEncodingOtherAdpcm, 3, "NMS ADPCM (24 kbit/s)"};
    case SF_FORMAT_NMS_ADPCM_32: return {kEncodingOtherAdpcm, 4, "NMS ADPCM (32 kbit/s)"};
    case SF_FORMAT_DWVW_12: return {kEncodingDwvw, 12, "12-bit DWVW"};
    case SF_FORMAT_DWVW_16: return {kEncodingDwvw, 16, "16-bit DWVW"};
    case SF_FORMAT_DWVW_24: return {kEncodingDwvw, 24, "24-bit DWVW"};
    case SF_FORMAT_DWVW_N: return {kEncodingDwvw, 0, "DWVW"};
    case SF_FORMAT_DPCM_8: return {kEncodingDpcm, 8, "8-bit DPCM"};
    case SF_FORMAT_DPCM_16: return {kEncodingDpcm, 16, "16-bit DPCM"};
    case SF_FORMAT_VORBIS: return {kEncodingVorbis, 0, "Vorbis"};
    case SF_FORMAT_OPUS: return {kEncodingOpus, 0, "Opus"};
    case SF_FORMAT_ALAC_16: return {kEncodingAlac, 16, "16-bit Apple Lossless"};
    case SF_FORMAT_ALAC_20: return {kEncodingAlac, 20, "20-bit Apple Lossless"};
    case SF_FORMAT_ALAC_24: return {kEncodingAlac, 24, "24-bit Apple Lossless"};
    case SF_FORMAT_ALAC_32: return {kEncodingAlac, 32, "32-bit Apple Lossless"};
    case SF_FORMAT_MPEG_LAYER_I: return {kEncodingMpeg, 0, "MPEG layer I"};
    case SF_FORMAT_MPEG_LAYER_II: return {kEncodingMpeg, 0, "MPEG layer II"};
    case SF_FORMAT_MPEG_LAYER_III: return {kEncodingMpeg, 0, "MPEG layer III"};
    default: return {kEncodingOther, 0, "unknown encoding"};
  }
}

struct Container {
  int32_t kind;
  std::string name;
};

Container DescribeContainer(int major, RiffContainer riff) {
  switch (major) {
    case SF_FORMAT_WAV:
      if (riff == RiffContainer::rifx) return {kContainerRifxWave, "RIFX WAVE (big-endian)"};
      return {kContainerRiffWave, "RIFF WAVE"};
    case SF_FORMAT_WAVEX: return {kContainerRiffWave, "RIFF WAVE (WAVE_FORMAT_EXTENSIBLE)"};
    case SF_FORMAT_RF64: return {kContainerRf64, "RF64"};
    case SF_FORMAT_W64: return {kContainerWave64, "Sony Wave64"};
    case SF_FORMAT_AIFF: return {kContainerAiff, "AIFF"};
    case SF_FORMAT_AU: return {kContainerAu, "Sun/NeXT AU"};
    case SF_FORMAT_FLAC: return {kContainerFlac, "FLAC"};
    case SF_FORMAT_OGG: return {kContainerOgg, "Ogg"};
    case SF_FORMAT_CAF: return {kContainerCaf, "Core Audio Format (CAF)"};
    case SF_FORMAT_MPEG: return {kContainerMpeg, "MPEG audio"};
    default: break;
  }
  // The library's own name of the format: a lookup in its static table, not in the file.
  SF_FORMAT_INFO format{};
  format.format = major;
  if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &format, sizeof format) == 0 && format.name != nullptr) {
    return {kContainerOther, format.name};
  }
  return {kContainerOther, "unknown container"};
}

// Opens path for reading without ever blocking (a FIFO would wait for a writer) and only if
// it is a regular file; -1 otherwise. fileSize receives its length.
int OpenRegularFile(const char* path, int64_t* fileSize) {
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return -1;
  struct stat status {};
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    close(fd);
    return -1;
  }
  // Regular files never block; clear the flag so reads behave plainly.
  const int flags = fcntl(fd, F_GETFL);
  if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  *fileSize = static_cast<int64_t>(status.st_size);
  return fd;
}

}  // namespace

struct WavFile {
  int fd = -1;                     // owned; the library is told not to close it
  SNDFILE* file = nullptr;
  SF_INFO info{};
  WavFormatInfo format{};
  std::string containerName;
  bool readBefore = false;         // a later read starts again at frame 0
  WavFile() = default;
  WavFile(const WavFile&) = delete;
  WavFile& operator=(const WavFile&) = delete;
  ~WavFile() {
    if (file != nullptr) sf_close(file);
    if (fd >= 0) close(fd);
  }
};

WavHandle WavOpen(const char* path, WavFormatInfo* info) {
  if (info != nullptr) *info = WavFormatInfo{};
  if (path == nullptr) return nullptr;
  int64_t fileSize = 0;
  auto handle = std::make_unique<WavFile>();
  handle->fd = OpenRegularFile(path, &fileSize);
  if (handle->fd < 0) return nullptr;
  const RiffCheck riff = CheckRiffChunks(handle->fd, fileSize);
  if (riff.refused) return nullptr;

  handle->file = sf_open_fd(handle->fd, SFM_READ, &handle->info, SF_FALSE);
  if (handle->file == nullptr) return nullptr;
  const SF_INFO& sf = handle->info;
  if (sf.channels < 1 || sf.frames < 0) return nullptr;

  const Encoding encoding = DescribeEncoding(sf.format & SF_FORMAT_SUBMASK);
  Container container = DescribeContainer(sf.format & SF_FORMAT_TYPEMASK, riff.container);
  const int32_t layout = sf.channels == 2 ? kLayoutStereo : sf.channels == 1 ? kLayoutMono : kLayoutMulti;
  WavFormatInfo& format = handle->format;
  format.sampleRate = sf.samplerate;
  format.channelCount = sf.channels;
  format.bitsPerSample = encoding.bits;
  format.containerKind = container.kind;
  format.encodingKind = encoding.kind;
  format.formatCode = static_cast<uint32_t>(container.kind) << 16 |
                      static_cast<uint32_t>(layout) << 8 | static_cast<uint32_t>(encoding.kind);
  std::snprintf(format.encodingName, sizeof format.encodingName, "%s", encoding.name);
  handle->containerName = std::move(container.name);
  if (info != nullptr) *info = format;
  return handle.release();
}

void WavGetHeaderInfo(WavHandle handle, char* text, int32_t capacity) {
  if (text == nullptr || capacity < 1) return;
  text[0] = '\0';
  if (handle == nullptr) return;
  const WavFormatInfo& format = handle->format;
  const int64_t frames = handle->info.frames;
  const char* channelNote = format.channelCount == 1   ? " (channel 2 is silent)"
                            : format.channelCount > 2 ? " (only the first two are analysed)"
                                                      : "";
  char duration[64] = "unknown";
  if (format.sampleRate > 0) {
    std::snprintf(duration, sizeof duration, "%.3f s",
                  static_cast<double>(frames) / static_cast<double>(format.sampleRate));
  }
  char buffer[1024];
  std::snprintf(buffer, sizeof buffer,
                "Container: %s\nEncoding: %s\nChannels: %d%s\nSampling rate: %d Hz\n"
                "Frames: %" PRId64 "\nDuration: %s",
                handle->containerName.c_str(), format.encodingName, format.channelCount,
                channelNote, format.sampleRate, frames, duration);
  std::snprintf(text, static_cast<size_t>(capacity), "%s", buffer);
}

int64_t WavReadReal(WavHandle handle, double* ch1, double* ch2, int64_t frames, int32_t scale) {
  if (handle == nullptr || ch1 == nullptr || frames < 1 || (scale != 0 && scale != 1)) return 0;
  SNDFILE* file = handle->file;
  if (handle->readBefore && sf_seek(file, 0, SEEK_SET) != 0) return 0;
  handle->readBefore = true;
  // Normalised reads divide integer PCM by 2^(bits-1) (8-bit unsigned centred first) and
  // leave floats as stored; unnormalised reads give the integers themselves.
  sf_command(file, SFC_SET_NORM_DOUBLE, nullptr, scale == 1 ? SF_TRUE : SF_FALSE);
  const int64_t channels = handle->info.channels;
  const int64_t blockFrames = std::max<int64_t>(1, kBlockSamples / channels);
  std::vector<double> block(static_cast<size_t>(blockFrames * channels));
  int64_t done = 0;
  while (done < frames) {
    const int64_t want = std::min(blockFrames, frames - done);
    // Only what the library says it delivered is used: counts derived from chunk sizes can
    // be wrong for damaged or huge files.
    const sf_count_t got = sf_readf_double(file, block.data(), want);
    if (got <= 0) break;
    const int64_t count = std::min<int64_t>(got, want);
    for (int64_t i = 0; i < count; ++i) {
      const double* frame = block.data() + i * channels;
      ch1[done + i] = frame[0];
      if (channels >= 2 && ch2 != nullptr) ch2[done + i] = frame[1];
    }
    done += count;
  }
  return done;
}

void WavClose(WavHandle handle) { delete handle; }
