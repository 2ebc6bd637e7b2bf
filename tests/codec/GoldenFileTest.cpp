// Golden whole-file results: small inputs made here (integer synthesis, so
// they are the same on every machine) or cut from samples/demo.wav, with the
// SHA-256 of the exact .qla the encoder must write; the file must restore to
// the input. They pin every output byte in a clone without the shared vectors.
// After an intended format change, the failure messages print the new digests.
#include <gtest/gtest.h>

#include <algorithm>
#include <string_view>

#include "TestSupport.h"
#include "common/Sha256.h"

namespace qola::test {
namespace {

enum class Source { Tones, Sparse, Demo };

// Two triangle waves and a little hashed noise at frame t; any t is valid, so
// a channel can be the other shifted by a lag.
std::int32_t tone(std::int64_t t, int channel) {
  const auto triangle = [t](std::int64_t period, std::int64_t amplitude) {
    const std::int64_t phase = ((t % period) + period) % period;
    return amplitude * (std::abs(2 * phase - period) * 2 - period) / period;
  };
  std::uint64_t h = static_cast<std::uint64_t>(t) * 0x9e3779b97f4a7c15ull + static_cast<std::uint64_t>(channel);
  h = (h ^ (h >> 29)) * 0xbf58476d1ce4e5b9ull;
  const auto noise = static_cast<std::int64_t>((h >> 40) % 97) - 48;
  return static_cast<std::int32_t>(triangle(331, 9000) + triangle(53 + 4 * channel, 2500) + noise);
}

// Silence, a constant stretch and a few clicks: zero and constant segments.
std::int32_t sparse(std::int64_t t) {
  if (t % 1500 < 600) return 0;
  if (t % 1500 < 1100) return -2;
  return t % 97 == 0 ? 3000 : tone(t, 0) / 64;
}

struct Golden {
  const char* name;
  Source source;
  int channels, bits, blockIndex;
  Adaptation level;
  bool wav, joint, swap;
  int lag;  // right channel = left channel shifted by this many frames
  int frames;
  const char* qla;  // SHA-256 of the compressed file
};

void PrintTo(const Golden& g, std::ostream* os) { *os << g.name; }

// The frames as the file's sample values (8-bit ones scaled down), interleaved.
std::vector<std::int32_t> framesOf(const Golden& g) {
  std::vector<std::int32_t> values;
  const Bytes demo = g.source == Source::Demo
                         ? readFile(std::filesystem::path(QOLA_SOURCE_DIR) / "samples" / "demo.wav")
                         : Bytes{};
  for (std::int64_t t = 0; t < g.frames; ++t) {
    for (int c = 0; c < g.channels; ++c) {
      std::int32_t v = 0;
      if (g.source == Source::Tones) v = tone(t + (c == 1 ? g.lag : 0), c == 1 && g.lag != 0 ? 0 : c);
      if (g.source == Source::Sparse) v = sparse(t + c * 40);
      if (g.source == Source::Demo) {  // from one second in, left channel only for mono
        const std::size_t at = 44 + 4 * static_cast<std::size_t>(44100 + t) + 2 * static_cast<std::size_t>(c);
        v = static_cast<std::int16_t>(demo.at(at) | demo.at(at + 1) << 8);
      }
      values.push_back(std::clamp(v, -32768, 32767));
    }
  }
  return values;
}

Bytes inputOf(const Golden& g) {
  Bytes bytes;
  for (std::int32_t v : framesOf(g)) {
    if (g.bits == 8) {
      bytes.push_back(static_cast<std::uint8_t>((v >> 8) + 128));
    } else {
      const auto u = static_cast<std::uint16_t>(v);
      bytes.push_back(static_cast<std::uint8_t>(g.swap ? u >> 8 : u & 0xff));
      bytes.push_back(static_cast<std::uint8_t>(g.swap ? u & 0xff : u >> 8));
    }
  }
  if (!g.wav) return bytes;
  Bytes wav = wavHeader(g.channels, g.bits, static_cast<std::uint32_t>(bytes.size()));
  wav.insert(wav.end(), bytes.begin(), bytes.end());
  return wav;
}

using enum Adaptation;
using enum Source;

// name, source, channels, bits, block index (N = 128 << index), adaptation, wav, joint, swap, lag, frames.
const Golden kGolden[] = {
    {"mono16_n128_none", Tones, 1, 16, 0, None, false, false, false, 0, 700,
     "503f4916987a96252192322a15539305b417b6d2db8467853edb5d27a847f454"},
    {"mono8_n256_none_wav", Tones, 1, 8, 1, None, true, false, false, 0, 1000,
     "43346c03b431d64d3b00ee87c6bc89ebf5f1716a493d04c3ddbd9c5d9647c06f"},
    {"mono16_n512_medium_sparse", Sparse, 1, 16, 2, Medium, false, false, false, 0, 3000,
     "4b3ec2e10fc281188d3db75201d1604064fe6552bee9ee4a014fad6342df4b6b"},
    {"mono16_n1024_full_demo", Demo, 1, 16, 3, Full, false, false, false, 0, 2500,
     "b8f8c45de8b78008878d25b237f286aff803f1f0f94d0a88e2e017ddc295919b"},
    {"mono16_n4096_full_swap_demo", Demo, 1, 16, 5, Full, false, false, true, 0, 5000,
     "4ea54ade47dbb8c15dc0dc1bbbe6858a0e0e5d9cbf97eb85b43bbf0f215937b7"},
    {"mono8_n2048_medium_sparse", Sparse, 1, 8, 4, Medium, false, false, false, 0, 5000,
     "ccd9770ad1f4c505d55ad8178c5d373c1a7465e0820338f16e376694c3ee99b0"},
    {"mono16_n2048_none_wav", Tones, 1, 16, 4, None, true, false, false, 0, 2500,
     "68b732fa208f5c05e937bb318c79823fa1f3993c346d0eea345ccceadad81a93"},
    {"stereo16_n128_none_joint_lag_m20", Tones, 2, 16, 0, None, false, true, false, -20, 600,
     "4e23c0f66b8154feb7974fe1e4b88d5ca156f6df3db678247cc16820ef84ea6d"},
    {"stereo16_n256_none_joint_lag_p20", Tones, 2, 16, 1, None, false, true, false, 20, 700,
     "3c6f748e27cb458380222ab1749c3888dfe65e8742b3a6b0907fcbe7b852e3c7"},
    {"stereo16_n512_medium_joint_lag_m3", Tones, 2, 16, 2, Medium, true, true, false, -3, 1300,
     "dbb69750f0cb0d8cb719cdf481d2f73be428b4107f543e149e2d976c03cb7137"},
    {"stereo16_n1024_full_joint_lag_p20", Tones, 2, 16, 3, Full, false, true, false, 20, 2100,
     "2fc46e689b3d1062b3d3217d97d532965f7dfbf603169800de4f78c567c22524"},
    {"stereo16_n2048_full_joint_lag_p7", Tones, 2, 16, 4, Full, false, true, false, 7, 4396,
     "6912e176f36681e628be2e554f5bcaa8f69e976ab2a25962c8ad7283fd8df26e"},
    {"stereo16_n2048_medium_joint_lag_m20", Tones, 2, 16, 4, Medium, false, true, true, -20, 4200,
     "3cc3a42a3bf4b2bd0030d6229750d634222ecc868b0ab81548c1aa8bdde6a6f5"},
    {"stereo16_n4096_none_swap_demo", Demo, 2, 16, 5, None, false, false, true, 0, 5096,
     "d6f36f74ee44b4142c423a00f3ea6ca8166bd390347099d6341379638d9ac187"},
    {"stereo16_n4096_full_joint_wav_demo", Demo, 2, 16, 5, Full, true, true, false, 0, 5000,
     "f1996ed068ad6be6a32a8043c7750a8238ccd9a9897b0dbf804852aed39bae2b"},
    {"stereo8_n1024_medium_joint_wav", Tones, 2, 8, 3, Medium, true, true, false, 0, 2200,
     "38af92c0ec5036ec304bc684b72829a3caccd9844f217fd5f316382b5389236b"},
    {"stereo8_n4096_none_sparse", Sparse, 2, 8, 5, None, false, false, false, 0, 4500,
     "7e409ace028fd05d02ff4c6028e6917371a1bb8e70bf4a1a0425181ecac5ed71"},
    // Files whose final block is a quarter or a half of N: its one segment is
    // exactly as long as the frames left.
    {"mono16_n512_full_tail_quarter", Tones, 1, 16, 2, Full, false, false, false, 0, 3 * 512 + 128,
     "198976767f3ea901eab8c90443c90cbf285a8fa736e2cf4983be7e5f661c54b3"},
    {"mono8_n1024_none_tail_half", Sparse, 1, 8, 3, None, false, false, false, 0, 2 * 1024 + 512,
     "e70990d410e8671da436eaef321766ae86a5c4c7a64f469f41f5e7116435637d"},
    {"stereo16_n256_medium_joint_tail_half", Tones, 2, 16, 1, Medium, false, true, false, 5, 3 * 256 + 128,
     "66e00d9d96ffbeae776dddbf176877d5c778156783b526123a768abe069c9591"},
    {"stereo16_n2048_full_joint_tail_quarter", Sparse, 2, 16, 4, Full, true, true, false, 0, 2 * 2048 + 512,
     "67b9c40c3145c31c6448136788d859abff00816c4cd536d6a3c632b435cd9137"},
};

CodecSettings settingsOf(const Golden& g, EncoderMode mode, bool trailer) {
  return {.channelCount = g.channels,
          .sampleBits = g.bits,
          .blockLengthIndex = g.blockIndex,
          .adaptation = g.level,
          .wavEvaluation = g.wav,
          .jointStereo = g.joint,
          .swapBytes = g.swap,
          .encoderMode = mode,
          .trailer = trailer};
}

// Compresses on every kernel build and on 1, 2 and 4 threads (blocks coded and
// rebuilt on several threads land in file order), checks the digest and that
// the file restores to the input on as many threads; with a trailer the
// restore also checks the input's MD5.
void expectGolden(const Golden& g, CodecSettings settings, const std::string& digest) {
  const Bytes input = inputOf(g);
  for (const CpuPath path : runnableCpuPaths()) {
    selectCpuPath(path);
    for (const int threads : {1, 2, 4}) {
      SCOPED_TRACE(testing::Message() << threads << " threads, path " << static_cast<int>(path));
      settings.threads = threads;
      EXPECT_EQ(sha256Hex(roundTrip(settings, input)), digest) << "compressed digest";
    }
  }
  selectCpuPath(CpuPath::Avx2);
}

const Golden& goldenNamed(std::string_view name) {
  return *std::find_if(std::begin(kGolden), std::end(kGolden), [&](const Golden& g) { return g.name == name; });
}

class GoldenFile : public ::testing::TestWithParam<Golden> {};

// The reference choices without a trailer.
TEST_P(GoldenFile, CompressesAndRestoresToTheGoldenDigests) {
  expectGolden(GetParam(), settingsOf(GetParam(), EncoderMode::Reference, false), GetParam().qla);
}

INSTANTIATE_TEST_SUITE_P(Golden, GoldenFile, ::testing::ValuesIn(kGolden),
                         [](const ::testing::TestParamInfo<Golden>& info) { return std::string(info.param.name); });

// The other encoder modes' choices, with the trailer the command line writes.
// A change to what these modes choose is meant to show here: the failure
// prints the new digest.
struct GoldenMode {
  const char* input;  // a name in kGolden
  EncoderMode mode;
  const char* qla;
};

void PrintTo(const GoldenMode& g, std::ostream* os) { *os << g.input; }

const GoldenMode kGoldenModes[] = {
    {"stereo16_n256_medium_joint_tail_half", EncoderMode::Default,
     "0c3350ac704d34e63ca073311b5a0a9f363e75ba29959580259771bb9e78a61e"},
    {"stereo16_n256_medium_joint_tail_half", EncoderMode::Best,
     "9c82eaa2f8d894cc4f0f4a92d15371498d8bf5b38515ea5b55d019615f66f6d3"},
    {"stereo16_n256_medium_joint_tail_half", EncoderMode::Fast,
     "83aca5465e8099913815a4d627d2229fca6594c128b008dd02cfb80daa6fdbb9"},
    {"mono16_n512_medium_sparse", EncoderMode::Default,
     "be0cb40838933272a4cbed92c8e7018d911b31b3ebca79c3b341423e65d5b1fb"},
    {"mono16_n512_medium_sparse", EncoderMode::Best,
     "c0b7b878c6594eb4c2a8c512fe01a86d30bc2e948938887f8f8a7af0b70c77a4"},
    {"mono16_n512_medium_sparse", EncoderMode::Fast,
     "eeff1c45c63cc31ae89ed9e1af4518f9a73c4febc7c50262e8f7b22f4578158d"},
    {"stereo16_n1024_full_joint_lag_p20", EncoderMode::Default,
     "7b2b160594efac137851fe53ca356c7d4a9225d71ae9a09e7735b55da14db8fb"},
    {"stereo16_n1024_full_joint_lag_p20", EncoderMode::Best,
     "a35b50dfdb841e68dd41ca25e35cdb5a620468b5aa6d99303479132b449c1cd5"},
    {"stereo16_n1024_full_joint_lag_p20", EncoderMode::Fast,
     "bbc91907b69855f6281aa40cc57e4ac57e052930b86be2a79271821fdaa00782"},
};

class GoldenModeFile : public ::testing::TestWithParam<GoldenMode> {};

TEST_P(GoldenModeFile, CompressesAndRestoresToTheGoldenDigests) {
  const Golden& g = goldenNamed(GetParam().input);
  expectGolden(g, settingsOf(g, GetParam().mode, true), GetParam().qla);
}

std::string modeFileName(const ::testing::TestParamInfo<GoldenMode>& info) {
  static constexpr const char* kModes[] = {"reference", "default", "best", "fast"};
  return std::string(info.param.input) + "_" + kModes[static_cast<int>(info.param.mode)];
}

INSTANTIATE_TEST_SUITE_P(Golden, GoldenModeFile, ::testing::ValuesIn(kGoldenModes), modeFileName);

// The trailer byte for byte: magic, version, the byte-order flag, lengths,
// the input's MD5, the bytes after the last whole frame, the block index of
// two units and the CRC-32s; without the index, version 1.
TEST(GoldenTrailer, HoldsThePinnedBytes) {
  const Golden& g = goldenNamed("stereo16_n4096_none_swap_demo");
  Bytes input = inputOf(g);
  input.insert(input.end(), {0x51, 0x00, 0xfe});  // not a whole frame
  const struct {
    bool index;
    const char* trailer;
  } cases[] = {
      {false, "514c54520101002692df0802b7572dfe1eb24f9e1851594a035100fed98c901d0026514c5452"},
      {true,
       "514c54520201004692df0802b7572dfe1eb24f9e1851594a035100fe000000460000100000000002"
       "0000221d190b053500001b2d0595d8f800000046e100e4d90046514c5452"},
  };
  for (const auto& c : cases) {
    CodecSettings settings = settingsOf(g, EncoderMode::Reference, true);
    settings.index = c.index;
    const Bytes compressed = roundTrip(settings, input);
    const std::size_t length = std::string_view(c.trailer).size() / 2;
    ASSERT_GE(compressed.size(), length);
    std::string trailer;
    for (auto at = compressed.end() - static_cast<std::ptrdiff_t>(length); at != compressed.end(); ++at) {
      trailer += "0123456789abcdef"[*at >> 4];
      trailer += "0123456789abcdef"[*at & 0x0f];
    }
    EXPECT_EQ(trailer, c.trailer) << (c.index ? "with" : "without") << " the index";
  }
}

}  // namespace
}  // namespace qola::test
