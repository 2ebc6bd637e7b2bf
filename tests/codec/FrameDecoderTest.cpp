// The seeking decoder: any range of frames read through the public decoder
// equals the same range of a whole restore, whatever was read before; inputs
// that cannot seek, damaged files and bad calls fail with a status.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "TestSupport.h"

namespace qola::test {
namespace {

// A compressed file and the PCM bytes of its whole restore.
struct Packed {
  Bytes file, pcm;
  int channels = 0;
  int bits = 0;
  std::int64_t frames = 0;
};

// A raw PCM signal with quiet and loud stretches, so that blocks split and
// zero and constant segments occur among transform ones.
Bytes signal(std::size_t bytes, unsigned seed) {
  Bytes pcm(bytes);
  std::mt19937 random(seed);
  for (std::size_t i = 0; i < bytes; ++i) {
    const bool quiet = (i / 3000) % 5 == 2;
    const double wave = quiet ? 0.0 : 90.0 * std::sin(static_cast<double>(i) * 0.013);
    pcm[i] = static_cast<std::uint8_t>(static_cast<int>(wave) + (quiet ? 0 : static_cast<int>(random() % 7)));
  }
  return pcm;
}

Packed pack(int channels, int bits, std::int64_t frames, int blockLength, bool wav = false, bool index = true) {
  const std::size_t bytes = static_cast<std::size_t>(frames) * static_cast<std::size_t>(channels * bits / 8);
  Bytes input = signal(bytes, static_cast<unsigned>(channels * 100 + bits));
  if (wav) {
    Bytes header = wavHeader(channels, bits, static_cast<std::uint32_t>(bytes));
    input.insert(input.begin(), header.begin(), header.end());
  }
  Settings settings;
  settings.channels = channels;
  settings.sample_bits = bits;
  settings.block_length = blockLength;
  if (blockLength < 512) settings.adaptation = QOLA_ADAPTATION_NONE;
  settings.wav_evaluation = wav ? 1 : 0;
  settings.index = index ? 1 : 0;
  const JobRun compressed = runJob(true, input, settings);
  EXPECT_EQ(compressed.status, QOLA_OK) << compressed.message;
  const JobRun restored = runJob(false, compressed.output);
  EXPECT_TRUE(restored.output == input);
  return {compressed.output, Bytes(input.begin() + (wav ? 44 : 0), input.end()), channels, bits, frames};
}

// Reads [first, first + count) through the decoder and compares it with the whole restore.
void expectRange(Decoder& decoder, const Packed& packed, std::int64_t first, std::size_t count) {
  decoder.seek(first);
  const auto frameBytes = static_cast<std::size_t>(packed.channels * packed.bits / 8);
  const std::size_t expected = std::min<std::size_t>(count, static_cast<std::size_t>(packed.frames - first));
  const auto at = packed.pcm.begin() + static_cast<std::ptrdiff_t>(static_cast<std::size_t>(first) * frameBytes);
  ASSERT_TRUE(readFrames(decoder, count) == Bytes(at, at + static_cast<std::ptrdiff_t>(expected * frameBytes)))
      << "frames from " << first;
  EXPECT_EQ(decoder.tell(), first + static_cast<std::int64_t>(expected));
}

// 1,000 random ranges over the four sample layouts, with and without the
// block index, each read after whatever range came before it (forward,
// backward, inside one block, across index units); then the whole file in
// reads of odd sizes, and reads at the end give nothing.
TEST(FrameDecoder, RandomRangesEqualTheWholeRestore) {
  const struct {
    int channels, bits, blockLength;
    std::int64_t frames;
    bool wav;
  } layouts[] = {{1, 16, 512, 30011, false},
                 {2, 16, 1024, 40000, true},
                 {1, 8, 256, 20001, false},
                 {2, 8, 4096, 50000, false}};
  std::mt19937 random(7);
  for (const auto& layout : layouts) {
    for (const bool index : {false, true}) {
      const Packed packed =
          pack(layout.channels, layout.bits, layout.frames, layout.blockLength, layout.wav, index);
      Decoder decoder(Input::memory(packed.file));
      ASSERT_EQ(decoder.frames(), layout.frames);
      ASSERT_EQ(decoder.channels(), layout.channels);
      ASSERT_EQ(decoder.sampleBits(), layout.bits);
      ASSERT_EQ(decoder.sampleRate(), layout.wav ? 44100 : 0);
      ASSERT_EQ(decoder.info().index, index ? 1 : 0);
      std::vector<std::int16_t> wide(8);  // the C++ layer refuses a buffer of the other sample width
      if (layout.bits == 8) {
        EXPECT_THROW(decoder.read(wide.data(), 4), Error);
      }
      for (int i = 0; i < 125; ++i) {
        const auto first = static_cast<std::int64_t>(random() % static_cast<unsigned>(layout.frames + 1));
        const std::size_t count = random() % static_cast<unsigned>(3 * layout.blockLength);
        expectRange(decoder, packed, first, count);
        if (HasFatalFailure()) return;
      }
      decoder.seek(0);
      EXPECT_TRUE(readToTheEnd(decoder, 777) == packed.pcm);
      EXPECT_TRUE(readFrames(decoder, 777).empty());
      EXPECT_EQ(decoder.tell(), layout.frames);
    }
  }
}

// Callbacks without a seek function read forward only; with one they seek
// like a file, and find the trailer at the end.
TEST(FrameDecoder, CallbackInputsSeekOnlyWithASeekFunction) {
  const Packed packed = pack(1, 16, 5000, 256);
  {
    ScriptedReader pipe{packed.file, 333};
    Decoder decoder(pipe.input(ScriptedReader::Pipe));
    expectRange(decoder, packed, 0, 1000);
    expectRange(decoder, packed, 3000, 500);  // forward: fine
    try {
      expectRange(decoder, packed, 100, 10);
      ADD_FAILURE() << "went back on a pipe";
    } catch (const Error& error) {
      EXPECT_EQ(error.status(), QOLA_ERROR_ARGUMENT);
    }
  }
  ScriptedReader file{packed.file, 333};
  Decoder decoder(file.input(ScriptedReader::Seekable));
  expectRange(decoder, packed, 4000, 1000);
  expectRange(decoder, packed, 10, 300);
}

// Damage fails the reads that reach it and gives the frames before it; the
// blocks before stay readable. Bad positions and foreign files fail cleanly.
TEST(FrameDecoder, DamageAndBadCallsFailWithAStatus) {
  const Packed packed = pack(2, 16, 8192, 1024);
  Bytes cut = packed.file;
  cut.resize(cut.size() / 2);
  qola_input* input = qola_input_memory(cut.data(), cut.size());
  qola_decoder* decoder = qola_decoder_open(input);
  ASSERT_EQ(qola_decoder_status(decoder), QOLA_OK);
  std::vector<std::int16_t> samples(2 * 8192);
  std::size_t read = 0;
  EXPECT_NE(qola_decoder_read(decoder, samples.data(), 8192, &read), QOLA_OK);
  EXPECT_STRNE(qola_decoder_message(decoder), "");
  EXPECT_GT(read, 0u);
  EXPECT_LT(read, 8192u);
  EXPECT_TRUE(pcm16(std::span(samples).first(2 * read)) ==
              Bytes(packed.pcm.begin(), packed.pcm.begin() + 4 * read));
  EXPECT_EQ(qola_decoder_seek(decoder, 0), QOLA_OK);
  EXPECT_EQ(qola_decoder_read(decoder, samples.data(), 1024, &read), QOLA_OK);
  EXPECT_EQ(read, 1024u);
  EXPECT_EQ(qola_decoder_seek(decoder, 8193), QOLA_ERROR_ARGUMENT);
  EXPECT_EQ(qola_decoder_seek(decoder, -1), QOLA_ERROR_ARGUMENT);
  EXPECT_EQ(qola_decoder_read(decoder, nullptr, 5, &read), QOLA_ERROR_ARGUMENT);
  qola_decoder_free(decoder);
  qola_input_free(input);

  const Bytes foreign[] = {{}, {0x11, 0x00, 0x00}, {0x0E, 0, 0, 0, 0, 0}, {0x11, 0, 0x80, 0, 0, 0}};
  for (const Bytes& bytes : foreign) {
    input = qola_input_memory(bytes.data(), bytes.size());
    decoder = qola_decoder_open(input);
    EXPECT_NE(qola_decoder_status(decoder), QOLA_OK) << bytes.size();
    EXPECT_NE(qola_decoder_read(decoder, samples.data(), 1, &read), QOLA_OK);
    EXPECT_EQ(read, 0u);
    qola_decoder_free(decoder);
    qola_input_free(input);
  }
  EXPECT_EQ(qola_decoder_open(nullptr), nullptr);
  EXPECT_EQ(qola_decoder_status(nullptr), QOLA_ERROR_ARGUMENT);
}

// With the index, a damaged unit fails the reads that reach it, by its CRC,
// and every other unit reads as before, also those after it.
TEST(FrameDecoder, ADamagedUnitLeavesTheOthersReadable) {
  const Packed packed = pack(2, 16, 40000, 1024);
  Bytes damaged = packed.file;
  damaged[damaged.size() / 2] ^= 0x10;
  Decoder decoder(Input::memory(damaged));
  std::vector<std::int16_t> samples(2 * 40000);
  std::string message = "read through a damaged unit";
  try {
    decoder.read(samples.data(), 40000);
  } catch (const Error& error) {
    message = error.what();
  }
  const std::int64_t damagedAt = decoder.tell();
  EXPECT_EQ(damagedAt % 4096, 0) << "a unit is lost whole, from its first frame";
  EXPECT_EQ(message, "Damaged file: index unit " + std::to_string(damagedAt / 4096) + " (frames " +
                         std::to_string(damagedAt) + " .. " + std::to_string(damagedAt + 4095) +
                         ") does not match its CRC-32");
  expectRange(decoder, packed, 0, 1000);
  expectRange(decoder, packed, 39000, 1000);
  expectRange(decoder, packed, damagedAt + 4096, 100);
}

// A WAV file whose header runs past the 44 stored bytes by a LIST chunk
// before the data, and a chunk of `after` bytes after the data.
Bytes chunkyWav(int channels, int bits, std::uint32_t listBytes, std::uint32_t dataBytes, std::uint32_t after) {
  Bytes file = wavHeader(channels, bits, dataBytes);
  Bytes list = {'L', 'I', 'S', 'T', static_cast<std::uint8_t>(listBytes), 0, 0, 0};
  list.resize(8 + listBytes, ' ');
  file.insert(file.begin() + 36, list.begin(), list.end());  // before the data chunk's header
  for (std::uint32_t i = 0; i < dataBytes; ++i) file.push_back(static_cast<std::uint8_t>(i * 37));
  if (after != 0) {
    file.insert(file.end(), {'i', 'd', '3', ' ', static_cast<std::uint8_t>(after), 0, 0, 0});
    file.resize(file.size() + after, 0x7f);
  }
  return file;
}

// The audio is the data chunk's frames: neither header bytes past the stored
// 44 nor chunks after the data. Where that cannot be told in frames, the
// whole file is. The decoder stays where it was.
TEST(FrameDecoder, AudioFramesAreTheDataChunks) {
  Settings raw;
  raw.wav_evaluation = 0;
  Bytes unsized = wavHeader(2, 16, 0xffffffffu);  // the size a stream's writer leaves: to the end
  unsized.resize(44 + 4000, 5);
  const struct {
    Bytes file;
    bool wav;
    std::int64_t first, count;
  } cases[] = {
      {chunkyWav(2, 16, 8, 4000, 12), true, 4, 1000},  // 16 header bytes more, 20 after the data: 5 frames
      {chunkyWav(1, 8, 6, 1001, 0), true, 14, 1001},
      {chunkyWav(2, 16, 6, 4000, 0), true, 0, 1003},  // the data starts inside a frame: all of it
      {chunkyWav(2, 16, 0, 4000, 0), true, 2, 1000},  // an empty chunk's header alone
      {unsized, true, 0, 1000},
      {Bytes(4000, 9), false, 0, 1000},
  };
  for (const auto& c : cases) {
    const JobRun packed = runJob(true, c.file, c.wav ? Settings() : raw);
    ASSERT_EQ(packed.status, QOLA_OK) << packed.message;
    Decoder decoder(Input::memory(packed.output));
    decoder.seek(std::min<std::int64_t>(10, decoder.frames()));
    std::int64_t first = -1, count = -1;
    decoder.audioFrames(first, count);
    EXPECT_EQ(first, c.first) << c.file.size();
    EXPECT_EQ(count, c.count) << c.file.size();
    EXPECT_EQ(decoder.tell(), std::min<std::int64_t>(10, decoder.frames()));
  }
}

}  // namespace
}  // namespace qola::test
