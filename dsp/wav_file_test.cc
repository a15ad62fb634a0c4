#include "dsp/wav_file.h"

#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "tests/audio_fixtures.h"
#include "tests/temp_dir.h"

namespace {

constexpr int kRate = 8000;

// Channel c of frame i: distinct per channel, full scale at frame 0 (+1 on channel 1, -1 on
// channel 2), a slow sine elsewhere so that lossy encodings stay close.
double Sample(int channel, int64_t i) {
  if (i == 0) return channel == 0 ? 1.0 : channel == 1 ? -1.0 : 0.5;
  const double scale[] = {0.7, -0.4, 0.2};
  return scale[channel] * std::sin(0.01 * static_cast<double>(i) * (channel + 1));
}

std::vector<double> Interleaved(int channels, int64_t frames) {
  std::vector<double> out;
  for (int64_t i = 0; i < frames; ++i) {
    for (int c = 0; c < channels; ++c) out.push_back(Sample(c, i));
  }
  return out;
}

struct FormatCase {
  const char* name;
  int format;
  int channels;
  uint32_t code;
  const char* container;
  const char* encoding;
  int32_t bits;
  double tolerance;  // of a sample read back at scale 1: one quantisation step for linear ones
};

const FormatCase kFormats[] = {
    {"u8", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 2, 0x00010001, "RIFF WAVE", "8-bit unsigned PCM", 8, 1.0 / 128},
    {"pcm16", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 0x00010001, "RIFF WAVE", "16-bit PCM", 16, 1.0 / 32768},
    {"pcm24", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 2, 0x00010001, "RIFF WAVE", "24-bit PCM", 24, 1.0 / 8388608},
    {"pcm32", SF_FORMAT_WAV | SF_FORMAT_PCM_32, 2, 0x00010001, "RIFF WAVE", "32-bit PCM", 32, 1.0 / 2147483648.0},
    {"float", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 0x00010001, "RIFF WAVE", "32-bit IEEE float", 32, 1e-7},
    {"double", SF_FORMAT_WAV | SF_FORMAT_DOUBLE, 2, 0x00010001, "RIFF WAVE", "64-bit IEEE float", 64, 0.0},
    {"extensible", SF_FORMAT_WAVEX | SF_FORMAT_PCM_16, 2, 0x00010001, "RIFF WAVE (WAVE_FORMAT_EXTENSIBLE)",
     "16-bit PCM", 16, 1.0 / 32768},
    {"mono", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 0x00010101, "RIFF WAVE", "16-bit PCM", 16, 1.0 / 32768},
    {"three channels", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 3, 0x00010201, "RIFF WAVE", "16-bit PCM", 16,
     1.0 / 32768},
    {"aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 2, 0x00050001, "AIFF", "16-bit PCM", 16, 1.0 / 32768},
    {"alaw", SF_FORMAT_WAV | SF_FORMAT_ALAW, 2, 0x00010003, "RIFF WAVE", "A-law", 8, 1.0 / 32},
    {"mulaw", SF_FORMAT_WAV | SF_FORMAT_ULAW, 2, 0x00010002, "RIFF WAVE", "mu-law", 8, 1.0 / 32},
    {"rf64", SF_FORMAT_RF64 | SF_FORMAT_PCM_16, 2, 0x00030001, "RF64", "16-bit PCM", 16, 1.0 / 32768},
    {"wave64", SF_FORMAT_W64 | SF_FORMAT_FLOAT, 2, 0x00040001, "Sony Wave64", "32-bit IEEE float", 32, 1e-7},
    {"flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 0x00070001, "FLAC", "16-bit PCM", 16, 1.0 / 32768},
};

TEST(WavFileTest, EachFormatReadsBackWithItsCodeAndDescription) {
  TempDir dir;
  const int64_t frames = 1000;
  for (const FormatCase& c : kFormats) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.File(std::string(c.name) + ".snd");
    ASSERT_TRUE(WriteSoundFile(path, c.format, c.channels, kRate, Interleaved(c.channels, frames)));

    WavFormatInfo info{};
    WavHandle handle = WavOpen(path.c_str(), &info);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(info.formatCode, c.code);
    EXPECT_EQ(info.sampleRate, kRate);
    EXPECT_EQ(info.channelCount, c.channels);
    EXPECT_EQ(info.bitsPerSample, c.bits);
    EXPECT_EQ(static_cast<uint32_t>(info.containerKind), c.code >> 16);
    EXPECT_EQ(static_cast<uint32_t>(info.encodingKind), c.code & 0xFF);
    EXPECT_STREQ(info.encodingName, c.encoding);

    char text[1024];
    WavGetHeaderInfo(handle, text, sizeof text);
    const std::string header = text;
    EXPECT_NE(header.find("Container: " + std::string(c.container) + "\n"), std::string::npos) << header;
    EXPECT_NE(header.find("Encoding: " + std::string(c.encoding) + "\n"), std::string::npos) << header;
    EXPECT_NE(header.find("Frames: 1000\n"), std::string::npos) << header;
    EXPECT_NE(header.find("Duration: 0.125 s"), std::string::npos) << header;
    EXPECT_EQ(header.find("channel 2 is silent") != std::string::npos, c.channels == 1) << header;
    EXPECT_EQ(header.find("only the first two are analysed") != std::string::npos, c.channels > 2) << header;

    // The arrays start zero-filled, as the caller's do; a mono file must leave ch2 alone.
    std::vector<double> ch1(frames), ch2(frames);
    EXPECT_EQ(WavReadReal(handle, ch1.data(), ch2.data(), frames, 1), frames);
    WavClose(handle);
    double worst1 = 0, worst2 = 0;
    for (int64_t i = 0; i < frames; ++i) {
      worst1 = std::max(worst1, std::fabs(ch1[i] - Sample(0, i)));
      worst2 = std::max(worst2, std::fabs(ch2[i] - (c.channels == 1 ? 0.0 : Sample(1, i))));
    }
    EXPECT_LE(worst1, c.tolerance);
    EXPECT_LE(worst2, c.tolerance);
    if ((c.code & 0xFF) == kEncodingLinear) {
      EXPECT_EQ(ch2[0], c.channels == 1 ? 0.0 : -1.0);  // negative full scale is exact
    }
  }
}

TEST(WavFileTest, DescribesAPlainStereoFileExactly) {
  TempDir dir;
  const std::string path = dir.File("plain.wav");
  ASSERT_TRUE(WriteSoundFile(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, Interleaved(2, 66150)));
  WavFormatInfo info{};
  WavHandle handle = WavOpen(path.c_str(), &info);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(info.formatCode, kPlainStereoWav);
  char text[1024];
  std::memset(text, 'x', sizeof text);
  WavGetHeaderInfo(handle, text, sizeof text);
  const std::string expected =
      "Container: RIFF WAVE\nEncoding: 16-bit PCM\nChannels: 2\nSampling rate: 44100 Hz\n"
      "Frames: 66150\nDuration: 1.500 s";
  EXPECT_EQ(std::string(text), expected);
  // A small buffer gets the start of the text, terminated within its capacity.
  char small[11];
  std::memset(small, 'x', sizeof small);
  WavGetHeaderInfo(handle, small, 10);
  EXPECT_EQ(std::string(small), expected.substr(0, 9));
  EXPECT_EQ(small[10], 'x');
  WavGetHeaderInfo(handle, small, 1);
  EXPECT_EQ(small[0], '\0');
  WavClose(handle);
  WavGetHeaderInfo(nullptr, small, 10);
  EXPECT_EQ(small[0], '\0');
}

// Reads go block by block (several blocks here), stop at the end of the file and start again
// at frame 0 on every call; scale 0 gives the stored integers.
TEST(WavFileTest, ReadsTheFirstFramesInBlocksAndStopsAtTheEnd) {
  TempDir dir;
  const std::string path = dir.File("three.wav");
  const int64_t frames = 10000;
  std::vector<double> samples;
  for (int64_t i = 0; i < frames; ++i) {
    for (int c = 0; c < 3; ++c) samples.push_back(static_cast<double>((i * 3 + c) % 30000 - 15000) / 32768);
  }
  ASSERT_TRUE(WriteSoundFile(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 3, kRate, samples));
  WavFormatInfo info{};
  WavHandle handle = WavOpen(path.c_str(), &info);
  ASSERT_NE(handle, nullptr);

  std::vector<double> ch1(frames + 100), ch2(frames + 100);
  EXPECT_EQ(WavReadReal(handle, ch1.data(), ch2.data(), frames + 100, 0), frames);
  for (int64_t i = 0; i < frames; ++i) {
    ASSERT_EQ(ch1[i], static_cast<double>((i * 3) % 30000 - 15000)) << i;
    ASSERT_EQ(ch2[i], static_cast<double>((i * 3 + 1) % 30000 - 15000)) << i;
  }
  EXPECT_EQ(ch1[frames], 0.0);  // nothing written past the frames delivered
  EXPECT_EQ(ch2[frames + 99], 0.0);

  std::vector<double> again1(5), again2(5);
  EXPECT_EQ(WavReadReal(handle, again1.data(), again2.data(), 5, 1), 5);
  EXPECT_EQ(again1[0], -15000.0 / 32768);
  EXPECT_EQ(again2[4], static_cast<double>(13 - 15000) / 32768);

  EXPECT_EQ(WavReadReal(handle, again1.data(), again2.data(), 0, 1), 0);
  EXPECT_EQ(WavReadReal(handle, again1.data(), again2.data(), 5, 2), 0);
  EXPECT_EQ(WavReadReal(nullptr, again1.data(), again2.data(), 5, 1), 0);
  WavClose(handle);
  WavClose(nullptr);
}

TEST(WavFileTest, AnythingButARegularAudioFileGivesANullHandleAtOnce) {
  TempDir dir;
  ASSERT_TRUE(WriteFile(dir.File("text.wav"), "This is not a recording, only a few words of text.\n"));
  ASSERT_TRUE(WriteFile(dir.File("empty.wav"), ""));
  ASSERT_EQ(mkdir(dir.File("folder.wav").c_str(), 0700), 0);
  ASSERT_EQ(mkfifo(dir.File("fifo.wav").c_str(), 0600), 0);  // no writer: a plain open would block
  const std::string paths[] = {dir.File("text.wav"), dir.File("empty.wav"), dir.File("folder.wav"),
                               dir.File("fifo.wav"), dir.File("missing.wav"), "/dev/null"};
  for (const std::string& path : paths) {
    SCOPED_TRACE(path);
    WavFormatInfo info;
    std::memset(&info, 0x55, sizeof info);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WavOpen(path.c_str(), &info), nullptr);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_EQ(info.formatCode, 0u);
    EXPECT_EQ(info.sampleRate, 0);
  }
  EXPECT_EQ(WavOpen(nullptr, nullptr), nullptr);
}

}  // namespace
