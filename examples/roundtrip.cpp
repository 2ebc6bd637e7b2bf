// Compresses a buffer of 16-bit stereo PCM in memory and restores it; then
// shows that a damaged buffer comes back as an exception.
#include <qola/qola.hpp>

#include <cmath>
#include <cstdio>
#include <vector>

int main() {
  std::vector<std::uint8_t> pcm;
  for (int i = 0; i < 40000; ++i) {
    const auto sample = static_cast<std::uint16_t>(static_cast<std::int16_t>(8000 * std::sin((i / 2) * 0.02 + i % 2)));
    pcm.push_back(static_cast<std::uint8_t>(sample & 0xff));
    pcm.push_back(static_cast<std::uint8_t>(sample >> 8));
  }
  qola::Settings settings;
  settings.wav_evaluation = 0;
  qola::Job job(settings);

  qola::Input raw = qola::Input::memory(pcm);
  qola::Output packed = qola::Output::memory();
  const qola_result& result = job.compress(raw, packed);
  std::printf("ratio %.3f, %.3f bits per sample\n", result.ratio, result.bits_per_sample);

  std::vector<std::uint8_t> compressed(packed.data().begin(), packed.data().end());
  qola::Input in = qola::Input::memory(compressed);
  qola::Output restored = qola::Output::memory();
  job.decompress(in, restored);
  const bool same = std::vector<std::uint8_t>(restored.data().begin(), restored.data().end()) == pcm;
  std::printf("restored %s\n", same ? "bit for bit" : "WRONG");

  compressed.resize(compressed.size() / 2);
  try {
    qola::Input cut = qola::Input::memory(compressed);
    qola::Output out = qola::Output::memory();
    job.decompress(cut, out);
    return 1;
  } catch (const qola::Error& error) {
    std::printf("damaged buffer: %s (exit code %d)\n", error.what(), error.exitCode());
  }
  return same ? 0 : 1;
}
