// The plugin in real pipelines: decodebin and playbin find and decode .qla
// files byte for byte, seeks land on the right frame, damage is an error
// message on the bus, and qolaenc writes files the library restores.
#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gtest/gtest.h>

#include <qola/qola.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

namespace {

constexpr int kRate = 22050;
constexpr std::int64_t kFrames = 50000;  // several blocks and a partial one

Bytes readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const fs::path& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void putLittle(Bytes& bytes, std::uint32_t value, int count) {
  for (int i = 0; i < count; ++i) bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// A stereo 16-bit WAV file of two detuned tones.
Bytes toneWav() {
  Bytes wav = {'R', 'I', 'F', 'F'};
  putLittle(wav, 36 + kFrames * 4, 4);
  wav.insert(wav.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  for (const auto& [value, bytes] :
       {std::pair{16, 4}, {1, 2}, {2, 2}, {kRate, 4}, {kRate * 4, 4}, {4, 2}, {16, 2}}) {
    putLittle(wav, static_cast<std::uint32_t>(value), bytes);
  }
  wav.insert(wav.end(), {'d', 'a', 't', 'a'});
  putLittle(wav, kFrames * 4, 4);
  for (std::int64_t i = 0; i < kFrames; ++i) {
    const double t = static_cast<double>(i);
    putLittle(wav, static_cast<std::uint16_t>(static_cast<std::int16_t>(9000 * std::sin(t * 0.031))), 2);
    putLittle(wav, static_cast<std::uint16_t>(static_cast<std::int16_t>(7000 * std::sin(t * 0.047 + 1))), 2);
  }
  return wav;
}

// A WAV file as recorders write them: a format chunk of 18 bytes and a LIST
// chunk before the data, another chunk after it. The header runs 16 bytes
// (4 frames) past the 44 a compressed file stores.
Bytes chunkyWav(const Bytes& plain) {
  const Bytes samples(plain.begin() + 44, plain.end());
  Bytes wav = {'R', 'I', 'F', 'F'};
  putLittle(wav, static_cast<std::uint32_t>(4 + 26 + 14 + 8 + samples.size() + 20), 4);
  wav.insert(wav.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  putLittle(wav, 18, 4);
  wav.insert(wav.end(), plain.begin() + 20, plain.begin() + 36);
  putLittle(wav, 0, 2);  // no format extension
  wav.insert(wav.end(), {'L', 'I', 'S', 'T', 6, 0, 0, 0, 'I', 'N', 'F', 'O', 0, 0});
  wav.insert(wav.end(), {'d', 'a', 't', 'a'});
  putLittle(wav, static_cast<std::uint32_t>(samples.size()), 4);
  wav.insert(wav.end(), samples.begin(), samples.end());
  wav.insert(wav.end(), {'i', 'd', '3', ' ', 12, 0, 0, 0});
  wav.insert(wav.end(), 12, 0x7F);
  return wav;
}

Bytes runJob(bool compressing, const Bytes& in) {
  qola_settings settings;
  qola_default_settings(&settings);
  qola_job* job = qola_job_create(&settings);
  qola_input* input = qola_input_memory(in.data(), in.size());
  qola_output* output = qola_output_memory();
  const qola_status status = compressing ? qola_compress(job, input, output) : qola_decompress(job, input, output);
  EXPECT_EQ(status, QOLA_OK) << qola_job_message(job);
  std::size_t size = 0;
  const std::uint8_t* data = qola_output_data(output, &size);
  Bytes out(data, data + size);
  qola_output_free(output);
  qola_input_free(input);
  qola_job_free(job);
  return out;
}

// The samples of a WAV file: the bytes of its data chunk.
Bytes wavData(const Bytes& wav) {
  std::size_t at = 12;
  while (at + 8 <= wav.size()) {
    const std::uint32_t size =
        wav[at + 4] | wav[at + 5] << 8 | wav[at + 6] << 16 | std::uint32_t{wav[at + 7]} << 24;
    if (std::memcmp(&wav[at], "data", 4) == 0) {
      return Bytes(wav.begin() + static_cast<std::ptrdiff_t>(at + 8),
                   wav.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(wav.size(), at + 8 + size)));
    }
    at += 8 + size + (size & 1);
  }
  return {};
}

struct Outcome {
  bool ended = false;  // EOS reached
  std::string error;   // the first error message on the bus
};

Outcome launch(const std::string& description) {
  Outcome outcome;
  GError* error = nullptr;
  GstElement* pipeline = gst_parse_launch(description.c_str(), &error);
  if (pipeline == nullptr) {
    outcome.error = error != nullptr ? error->message : "no pipeline";
    g_clear_error(&error);
    return outcome;
  }
  g_clear_error(&error);
  gst_element_set_state(pipeline, GST_STATE_PLAYING);
  GstBus* bus = gst_element_get_bus(pipeline);
  GstMessage* message = gst_bus_timed_pop_filtered(
      bus, 60 * GST_SECOND, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
  if (message != nullptr && GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
    gst_message_parse_error(message, &error, nullptr);
    outcome.error = error != nullptr ? error->message : "error";
    g_clear_error(&error);
  } else if (message != nullptr) {
    outcome.ended = true;
  }
  if (message != nullptr) gst_message_unref(message);
  gst_object_unref(bus);
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(pipeline);
  return outcome;
}

class GstPlugin : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    gst_init(nullptr, nullptr);
    dir_ = fs::temp_directory_path() / ("qola-gst-" + std::to_string(getpid()));
    fs::create_directories(dir_);
    wav_ = toneWav();
    qla_ = runJob(true, wav_);
    writeFile(dir_ / "tone.qla", qla_);
  }
  static void TearDownTestSuite() { fs::remove_all(dir_); }

  static inline fs::path dir_;
  static inline Bytes wav_, qla_;
};

// decodebin and playbin find the decoder through the type finder. Only the
// data chunk's samples are audio: not the header bytes past the stored 44 of
// a recorder's WAV file, nor a chunk after its data.
TEST_F(GstPlugin, DecodebinAndPlaybinGiveTheDataChunk) {
  const Bytes chunky = chunkyWav(wav_);
  ASSERT_EQ(runJob(false, runJob(true, chunky)), chunky);
  writeFile(dir_ / "chunky.qla", runJob(true, chunky));
  for (const char* name : {"tone", "chunky"}) {
    const fs::path out = dir_ / (std::string(name) + ".wav");
    const std::string in = (dir_ / (std::string(name) + ".qla")).string();
    const Outcome outcome = launch("filesrc location=" + in +
                                   " ! decodebin ! audioconvert ! wavenc ! filesink location=" + out.string());
    ASSERT_TRUE(outcome.ended) << name << ": " << outcome.error;
    EXPECT_EQ(wavData(readFile(out)), Bytes(wav_.begin() + 44, wav_.end())) << name;
  }
  const Outcome played = launch("playbin uri=file://" + (dir_ / "tone.qla").string() +
                                " audio-sink=\"fakesink sync=false\" video-sink=fakesink");
  EXPECT_TRUE(played.ended) << played.error;
}

TEST_F(GstPlugin, SeekToTheMiddleGivesThatFrame) {
  GError* error = nullptr;
  GstElement* pipeline = gst_parse_launch(
      ("filesrc location=" + (dir_ / "tone.qla").string() + " ! qoladec name=dec ! appsink name=sink sync=false")
          .c_str(),
      &error);
  ASSERT_NE(pipeline, nullptr) << (error != nullptr ? error->message : "");
  g_clear_error(&error);
  GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "sink");
  GstElement* decoder = gst_bin_get_by_name(GST_BIN(pipeline), "dec");
  gst_element_set_state(pipeline, GST_STATE_PAUSED);
  ASSERT_EQ(gst_element_get_state(pipeline, nullptr, nullptr, 10 * GST_SECOND), GST_STATE_CHANGE_SUCCESS);

  gint64 duration = 0;
  ASSERT_TRUE(gst_element_query_duration(pipeline, GST_FORMAT_TIME, &duration));
  EXPECT_EQ(duration, static_cast<gint64>(gst_util_uint64_scale_int(kFrames, GST_SECOND, kRate)));

  const Bytes samples = Bytes(wav_.begin() + 44, wav_.end());
  for (const std::int64_t frame : {kFrames / 2 + 7, std::int64_t{5}, kFrames - 100}) {
    const auto at = static_cast<gint64>(gst_util_uint64_scale_int(frame, GST_SECOND, kRate));
    ASSERT_TRUE(gst_element_seek_simple(
        pipeline, GST_FORMAT_TIME, static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE), at));
    GstSample* sample = gst_app_sink_try_pull_preroll(GST_APP_SINK(sink), 10 * GST_SECOND);
    ASSERT_NE(sample, nullptr) << frame;
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    EXPECT_EQ(GST_BUFFER_OFFSET(buffer), static_cast<guint64>(frame));
    GstMapInfo map;
    gst_buffer_map(buffer, &map, GST_MAP_READ);
    ASSERT_GE(map.size, 400u);
    EXPECT_EQ(0, std::memcmp(map.data, samples.data() + frame * 4, 400)) << frame;
    gst_buffer_unmap(buffer, &map);
    gst_sample_unref(sample);
    gint64 position = -1;
    ASSERT_TRUE(gst_element_query_position(decoder, GST_FORMAT_TIME, &position));
    EXPECT_GE(position, at);
  }
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(decoder);
  gst_object_unref(sink);
  gst_object_unref(pipeline);
}

// A damaged file is an error on the bus. decodebin ignores the errors of an
// element it is still trying out, but a file refused as it is opened (an old
// version) fails the decoder's start, which decodebin reports.
TEST_F(GstPlugin, DamagedFilesPostAnError) {
  Bytes flipped = qla_;
  for (std::size_t at = flipped.size() / 3; at < flipped.size() / 3 + 64; ++at) flipped[at] ^= 0x5A;
  const Bytes cut(qla_.begin(), qla_.begin() + static_cast<std::ptrdiff_t>(qla_.size() / 2));
  Bytes old = qla_;
  old[0] = 0;  // the version
  const Bytes garbage(5000, 0xFF);
  for (const auto& [name, bytes] :
       {std::pair{"flipped", flipped}, {"cut", cut}, {"old", old}, {"garbage", garbage}}) {
    const fs::path path = dir_ / (std::string(name) + ".qla");
    writeFile(path, bytes);
    const Outcome outcome = launch("filesrc location=" + path.string() + " ! qoladec ! fakesink sync=false");
    EXPECT_FALSE(outcome.error.empty()) << name;
  }
  const Outcome plugged = launch("filesrc location=" + (dir_ / "old.qla").string() + " ! decodebin ! fakesink sync=false");
  EXPECT_FALSE(plugged.error.empty());
}

TEST_F(GstPlugin, EncoderWritesWhatTheLibraryRestores) {
  writeFile(dir_ / "tone.wav", wav_);
  const fs::path out = dir_ / "encoded.qla";
  const Outcome outcome = launch("filesrc location=" + (dir_ / "tone.wav").string() +
                                 " ! wavparse ! qolaenc ! filesink location=" + out.string());
  ASSERT_TRUE(outcome.ended) << outcome.error;
  EXPECT_EQ(runJob(false, readFile(out)), wav_);
}

}  // namespace
