// qolaenc: interleaved raw audio to a compressed file. The file's header
// holds the frame count, so the stream is gathered to its end, then
// compressed as a WAV file (its header carries the rate) in one job.
#include <gst/audio/audio.h>
#include <gst/base/gstadapter.h>
#include <gst/gst.h>

#include <qola/qola.h>

#include <array>
#include <cstdint>
#include <cstring>

#include "Elements.h"

GST_DEBUG_CATEGORY_STATIC(qolaencDebug);
#define GST_CAT_DEFAULT qolaencDebug

struct QolaEnc {
  GstElement parent;
  GstPad* sinkpad;
  GstPad* srcpad;
  GstAdapter* gathered;
  GstAudioInfo info;
  int encoderMode;
};

struct QolaEncClass {
  GstElementClass parentClass;
};

G_DEFINE_TYPE(QolaEnc, qola_enc, GST_TYPE_ELEMENT)
GST_ELEMENT_REGISTER_DEFINE(qolaenc, "qolaenc", GST_RANK_MARGINAL, qola_enc_get_type())

namespace {

enum { kPropEncoderMode = 1 };

GstStaticPadTemplate sinkTemplate = GST_STATIC_PAD_TEMPLATE(
    "sink", GST_PAD_SINK, GST_PAD_ALWAYS,
    GST_STATIC_CAPS("audio/x-raw, format = (string) { S16LE, U8 }, layout = (string) interleaved, "
                    "rate = (int) [ 1, MAX ], channels = (int) [ 1, 2 ]"));
GstStaticPadTemplate srcTemplate =
    GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS, GST_STATIC_CAPS(QOLA_GST_MEDIA_TYPE));

QolaEnc* self(gpointer object) { return reinterpret_cast<QolaEnc*>(object); }

void putLittle(std::uint8_t* at, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// The canonical 44-byte header of a PCM WAV file holding dataBytes.
std::array<std::uint8_t, 44> wavHeader(const GstAudioInfo& info, std::uint32_t dataBytes) {
  std::array<std::uint8_t, 44> header{};
  const auto channels = static_cast<std::uint32_t>(GST_AUDIO_INFO_CHANNELS(&info));
  const auto bits = static_cast<std::uint32_t>(GST_AUDIO_INFO_WIDTH(&info));
  const auto rate = static_cast<std::uint32_t>(GST_AUDIO_INFO_RATE(&info));
  std::memcpy(header.data(), "RIFF", 4);
  putLittle(header.data() + 4, 36 + dataBytes, 4);
  std::memcpy(header.data() + 8, "WAVEfmt ", 8);
  putLittle(header.data() + 16, 16, 4);
  putLittle(header.data() + 20, 1, 2);  // integer PCM
  putLittle(header.data() + 22, channels, 2);
  putLittle(header.data() + 24, rate, 4);
  putLittle(header.data() + 28, rate * channels * bits / 8, 4);
  putLittle(header.data() + 32, channels * bits / 8, 2);
  putLittle(header.data() + 34, bits, 2);
  std::memcpy(header.data() + 36, "data", 4);
  putLittle(header.data() + 40, dataBytes, 4);
  return header;
}

// Compresses what was gathered and pushes the file as one buffer.
GstFlowReturn compressGathered(QolaEnc* enc) {
  const gsize size = gst_adapter_available(enc->gathered);
  if (size > 0xFFFFFFFFu - 44) {
    GST_ELEMENT_ERROR(enc, STREAM, ENCODE, ("The stream is too long for one QOLA file."), (nullptr));
    return GST_FLOW_ERROR;
  }
  GstBuffer* pcm = gst_buffer_new_allocate(nullptr, 44 + size, nullptr);
  const auto header = wavHeader(enc->info, static_cast<std::uint32_t>(size));
  gst_buffer_fill(pcm, 0, header.data(), header.size());
  GstMapInfo map;
  gst_buffer_map(pcm, &map, GST_MAP_WRITE);
  gst_adapter_copy(enc->gathered, map.data + 44, 0, size);
  gst_adapter_clear(enc->gathered);

  qola_settings settings;
  qola_default_settings(&settings);
  settings.encoder_mode = static_cast<qola_encoder_mode>(enc->encoderMode);
  qola_job* job = qola_job_create(&settings);
  qola_input* input = qola_input_memory(map.data, map.size);
  qola_output* output = qola_output_memory();
  const qola_status status = job && input && output ? qola_compress(job, input, output) : QOLA_ERROR_JOB;
  gst_buffer_unmap(pcm, &map);
  gst_buffer_unref(pcm);
  GstFlowReturn flow = GST_FLOW_ERROR;
  if (status == QOLA_OK) {
    std::size_t length = 0;
    const std::uint8_t* bytes = qola_output_data(output, &length);
    GstBuffer* file = gst_buffer_new_memdup(bytes, length);
    GST_BUFFER_OFFSET(file) = 0;
    flow = gst_pad_push(enc->srcpad, file);
  } else {
    GST_ELEMENT_ERROR(enc, STREAM, ENCODE, ("Compression failed."),
                      ("%s", job != nullptr ? qola_job_message(job) : "out of memory"));
  }
  qola_output_free(output);
  qola_input_free(input);
  qola_job_free(job);
  return flow;
}

GstFlowReturn chain(GstPad*, GstObject* parent, GstBuffer* buffer) {
  gst_adapter_push(self(parent)->gathered, buffer);
  return GST_FLOW_OK;
}

gboolean sinkEvent(GstPad* pad, GstObject* parent, GstEvent* event) {
  QolaEnc* enc = self(parent);
  switch (GST_EVENT_TYPE(event)) {
    case GST_EVENT_CAPS: {
      GstCaps* caps;
      gst_event_parse_caps(event, &caps);
      const gboolean known = gst_audio_info_from_caps(&enc->info, caps);
      gst_event_unref(event);
      if (!known) return FALSE;
      GstCaps* fileCaps = gst_caps_new_empty_simple(QOLA_GST_MEDIA_TYPE);
      const gboolean set = gst_pad_push_event(enc->srcpad, gst_event_new_caps(fileCaps));
      gst_caps_unref(fileCaps);
      return set;
    }
    case GST_EVENT_SEGMENT: {  // the file goes out as bytes
      gst_event_unref(event);
      GstSegment segment;
      gst_segment_init(&segment, GST_FORMAT_BYTES);
      return gst_pad_push_event(enc->srcpad, gst_event_new_segment(&segment));
    }
    case GST_EVENT_EOS: compressGathered(enc); return gst_pad_event_default(pad, parent, event);
    case GST_EVENT_FLUSH_STOP: gst_adapter_clear(enc->gathered); return gst_pad_event_default(pad, parent, event);
    default: return gst_pad_event_default(pad, parent, event);
  }
}

void setProperty(GObject* object, guint id, const GValue* value, GParamSpec* param) {
  if (id == kPropEncoderMode) {
    self(object)->encoderMode = g_value_get_int(value);
  } else {
    G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, param);
  }
}

void getProperty(GObject* object, guint id, GValue* value, GParamSpec* param) {
  if (id == kPropEncoderMode) {
    g_value_set_int(value, self(object)->encoderMode);
  } else {
    G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, param);
  }
}

void finalize(GObject* object) {
  g_object_unref(self(object)->gathered);
  G_OBJECT_CLASS(qola_enc_parent_class)->finalize(object);
}

}  // namespace

static void qola_enc_class_init(QolaEncClass* klass) {
  GObjectClass* objectClass = G_OBJECT_CLASS(klass);
  objectClass->set_property = setProperty;
  objectClass->get_property = getProperty;
  objectClass->finalize = finalize;
  g_object_class_install_property(
      objectClass, kPropEncoderMode,
      g_param_spec_int("encoder-mode", "Encoder mode", "0 reference, 1 default, 2 best (smallest), 3 fast",
                       QOLA_ENCODER_REFERENCE, QOLA_ENCODER_FAST, QOLA_ENCODER_DEFAULT,
                       static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS)));
  GstElementClass* elementClass = GST_ELEMENT_CLASS(klass);
  gst_element_class_add_static_pad_template(elementClass, &sinkTemplate);
  gst_element_class_add_static_pad_template(elementClass, &srcTemplate);
  gst_element_class_set_static_metadata(elementClass, "QOLA encoder", "Codec/Encoder/Audio",
                                        "Compresses 8/16-bit mono/stereo audio losslessly into a QOLA file",
                                        "The QOLA developers");
  GST_DEBUG_CATEGORY_INIT(qolaencDebug, "qolaenc", 0, "QOLA encoder");
}

static void qola_enc_init(QolaEnc* enc) {
  enc->sinkpad = gst_pad_new_from_static_template(&sinkTemplate, "sink");
  gst_pad_set_chain_function(enc->sinkpad, chain);
  gst_pad_set_event_function(enc->sinkpad, sinkEvent);
  gst_element_add_pad(GST_ELEMENT(enc), enc->sinkpad);
  enc->srcpad = gst_pad_new_from_static_template(&srcTemplate, "src");
  gst_pad_use_fixed_caps(enc->srcpad);
  gst_element_add_pad(GST_ELEMENT(enc), enc->srcpad);
  enc->gathered = gst_adapter_new();
  enc->encoderMode = QOLA_ENCODER_DEFAULT;
  gst_audio_info_init(&enc->info);
}
