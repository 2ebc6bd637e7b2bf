#include "api/SettingsRecord.h"

#include <cstddef>
#include <cstring>

#include "common/Fatal.h"
#include "common/FormatConstants.h"

namespace qola {
namespace {

constexpr int kMinAdaptiveIndex = 2;  // adaptation needs N >= 512

bool knownSize(std::size_t size) { return size >= kFirstSettingsSize && size <= sizeof(qola_settings); }

// Copies one field appended in a later release when the caller's record is
// at least that release's size.
[[maybe_unused]] void takeFromRelease(qola_settings& to, const qola_settings& from, std::size_t size,
                                      std::size_t releaseSize, std::size_t offset, std::size_t width) {
  if (size < releaseSize) return;
  std::memcpy(reinterpret_cast<unsigned char*>(&to) + offset, reinterpret_cast<const unsigned char*>(&from) + offset,
              width);
}

bool inRange(int value, int low, int high) { return value >= low && value <= high; }

}  // namespace

qola_settings defaultSettings() {
  qola_settings s{};
  s.size = sizeof(qola_settings);
  s.channels = 2;
  s.sample_bits = 16;
  s.block_length = 0;  // the encoder's choice
  s.adaptation = QOLA_ADAPTATION_FULL;
  s.wav_evaluation = 1;
  s.joint_stereo = 1;
  s.swap_bytes = 0;
  s.threads = 0;
  s.encoder_mode = QOLA_ENCODER_DEFAULT;
  s.trailer = 1;
  s.index = 1;
  return s;
}

bool initSettings(qola_settings* settings, std::size_t size) {
  if (settings == nullptr) return false;
  if (!knownSize(size)) {
    if (size >= sizeof(std::size_t)) std::memset(static_cast<void*>(settings), 0, size);
    return false;
  }
  const qola_settings defaults = defaultSettings();
  std::memcpy(static_cast<void*>(settings), &defaults, size);
  settings->size = size;
  return true;
}

qola_settings readSettings(const qola_settings& settings) {
  qola_settings s = defaultSettings();
  if (!knownSize(settings.size)) {
    s.size = 0;
    return s;
  }
  std::memcpy(static_cast<void*>(&s), &settings, kFirstSettingsEnd);
  // Settings of later releases, one line each:
  // takeFromRelease(s, settings, settings.size, kSettingsSizeOfRelease, offsetof(qola_settings, field),
  //                 sizeof s.field);
  s.size = sizeof(qola_settings);
  return s;
}

const char* settingsRefusal(const qola_settings& s, Mode mode) {
  if (s.size != sizeof(qola_settings)) return "The settings record has a size this library does not know";
  // 0: the encoder chooses.
  const int blockLengthIndex = s.block_length == 0 ? kMaxBlockLengthIndex : blockLengthIndexOf(s.block_length);
  const bool valid = (s.channels == 1 || s.channels == 2) && (s.sample_bits == 8 || s.sample_bits == 16) &&
                     blockLengthIndex >= 0 && inRange(s.adaptation, QOLA_ADAPTATION_NONE, QOLA_ADAPTATION_FULL) &&
                     inRange(s.encoder_mode, QOLA_ENCODER_REFERENCE, QOLA_ENCODER_FAST) && s.threads >= 0;
  if (!valid) return "A setting is out of range";
  // Splitting a block needs segments of at least 128 samples at a quarter of N.
  if (mode == Mode::Compress && s.encoder_mode != QOLA_ENCODER_FAST && s.adaptation != QOLA_ADAPTATION_NONE &&
      blockLengthIndex < kMinAdaptiveIndex) {
    return "Minimum block length for adaptation is 512!";
  }
  return nullptr;
}

CodecSettings codecSettings(const qola_settings& s, Mode mode) {
  if (const char* refusal = settingsRefusal(s, mode)) throw JobError{Failure::Argument, refusal, 1};
  CodecSettings settings;
  settings.mode = mode;
  // 0 leaves N to the encoder, which takes the longest: no shorter N paid for a second coding.
  settings.blockLengthIndex = s.block_length == 0 ? kMaxBlockLengthIndex : blockLengthIndexOf(s.block_length);
  settings.channelCount = s.channels;
  settings.sampleBits = s.sample_bits;
  settings.adaptation = static_cast<Adaptation>(s.adaptation);
  settings.wavEvaluation = s.wav_evaluation != 0;
  settings.jointStereo = s.joint_stereo != 0;
  settings.swapBytes = s.swap_bytes > 0;
  settings.swapBytesFromTrailer = s.swap_bytes == 0;
  settings.threads = s.threads;
  settings.encoderMode = static_cast<EncoderMode>(s.encoder_mode);
  settings.trailer = s.trailer != 0;
  settings.index = s.index != 0;
  settings.requireChecksum = s.require_checksum != 0;
  return settings;
}

}  // namespace qola
