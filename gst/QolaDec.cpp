// qoladec: a compressed file to interleaved raw audio. Upstream that can
// pull (a file) gets seeking and duration through the seeking decoder; a
// stream that can only push is gathered to its end, then decoded.
#include <gst/audio/audio.h>
#include <gst/base/gstadapter.h>
#include <gst/gst.h>

#include <qola/qola.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "Elements.h"

GST_DEBUG_CATEGORY_STATIC(qoladecDebug);
#define GST_CAT_DEFAULT qoladecDebug

namespace {

constexpr std::size_t kFramesPerBuffer = 4096;
constexpr int kDefaultRate = 44100;

}  // namespace

struct QolaDec {
  GstElement parent;
  GstPad* sinkpad;
  GstPad* srcpad;
  int rawRate;  // property "rate": the rate of files without a WAV header

  GstAdapter* gathered;  // push mode: the file so far
  GstBuffer* whole;      // push mode: the whole file, once gathered
  guint64 offset;        // pull mode: the input position of the next read
  qola_input* input;
  qola_decoder* decoder;
  int channels, sampleBits, rate;
  gint64 firstFrame;      // the decoder's frame where the audio starts (a WAV header may run past 44 bytes)
  gint64 frames, nextFrame;  // the audio's frames, and the next one counted from firstFrame
  gboolean needSegment;
  GstSegment segment;
};

struct QolaDecClass {
  GstElementClass parentClass;
};

G_DEFINE_TYPE(QolaDec, qola_dec, GST_TYPE_ELEMENT)
GST_ELEMENT_REGISTER_DEFINE(qoladec, "qoladec", GST_RANK_PRIMARY, qola_dec_get_type())

namespace {

enum { kPropRate = 1 };

GstStaticPadTemplate sinkTemplate =
    GST_STATIC_PAD_TEMPLATE("sink", GST_PAD_SINK, GST_PAD_ALWAYS, GST_STATIC_CAPS(QOLA_GST_MEDIA_TYPE));
GstStaticPadTemplate srcTemplate =
    GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS,
                            GST_STATIC_CAPS("audio/x-raw, format = (string) { " GST_AUDIO_NE(
                                S16) ", U8 }, layout = (string) interleaved, "
                                     "rate = (int) [ 1, MAX ], channels = (int) [ 1, 2 ]"));

QolaDec* self(gpointer object) { return reinterpret_cast<QolaDec*>(object); }

// The decoder's input in pull mode: reads are pulled from upstream at the
// position the decoder asks for.
ptrdiff_t pullRead(void* user, void* buffer, size_t count) {
  QolaDec* dec = self(user);
  GstBuffer* pulled = nullptr;
  const GstFlowReturn flow = gst_pad_pull_range(dec->sinkpad, dec->offset, static_cast<guint>(count), &pulled);
  if (flow == GST_FLOW_EOS) return 0;
  if (flow != GST_FLOW_OK) return -1;
  const gsize size = gst_buffer_extract(pulled, 0, buffer, count);
  gst_buffer_unref(pulled);
  dec->offset += size;
  return static_cast<ptrdiff_t>(size);
}

int64_t pullSize(void* user) {
  gint64 length = -1;
  if (!gst_pad_peer_query_duration(self(user)->sinkpad, GST_FORMAT_BYTES, &length)) return -1;
  return length;
}

int pullSeek(void* user, int64_t offset) {
  self(user)->offset = static_cast<guint64>(offset);
  return 0;
}

void closeDecoder(QolaDec* dec) {
  if (dec->decoder != nullptr) qola_decoder_free(dec->decoder);
  if (dec->input != nullptr) qola_input_free(dec->input);
  if (dec->whole != nullptr) gst_buffer_unref(dec->whole);
  dec->decoder = nullptr;
  dec->input = nullptr;
  dec->whole = nullptr;
  dec->offset = 0;
  dec->firstFrame = dec->frames = dec->nextFrame = 0;
}

GstClockTime frameTime(const QolaDec* dec, gint64 frame) {
  return gst_util_uint64_scale_int(static_cast<guint64>(frame), GST_SECOND, dec->rate);
}

// Opens the decoder on the input and announces the stream; FALSE (with an
// error on the bus) when the file cannot be decoded.
gboolean openDecoder(QolaDec* dec, qola_input* input) {
  dec->input = input;
  dec->decoder = input != nullptr ? qola_decoder_open(input) : nullptr;
  if (dec->decoder == nullptr || qola_decoder_status(dec->decoder) != QOLA_OK) {
    GST_ELEMENT_ERROR(dec, STREAM, DECODE, ("Not a QOLA file, or a damaged one."),
                      ("%s", dec->decoder != nullptr ? qola_decoder_message(dec->decoder) : "out of memory"));
    return FALSE;
  }
  int rate = 0;
  qola_decoder_format(dec->decoder, &dec->channels, &dec->sampleBits, &dec->frames, &rate);
  dec->rate = rate > 0 ? rate : dec->rawRate;
  dec->nextFrame = 0;
  // Header bytes beyond the stored header and chunks after the data are no
  // audio. When they cannot be told (a damaged start), the reads report it.
  if (qola_decoder_audio_frames(dec->decoder, &dec->firstFrame, &dec->frames) != QOLA_OK) {
    qola_decoder_format(dec->decoder, nullptr, nullptr, &dec->frames, nullptr);
    dec->firstFrame = 0;
  }
  if (qola_decoder_seek(dec->decoder, dec->firstFrame) != QOLA_OK) {
    GST_ELEMENT_ERROR(dec, STREAM, DECODE, ("The QOLA file is damaged."), ("%s", qola_decoder_message(dec->decoder)));
    return FALSE;
  }

  gchar* streamId = gst_pad_create_stream_id(dec->srcpad, GST_ELEMENT(dec), nullptr);
  gst_pad_push_event(dec->srcpad, gst_event_new_stream_start(streamId));
  g_free(streamId);
  GstAudioInfo info;
  gst_audio_info_set_format(&info, dec->sampleBits == 16 ? GST_AUDIO_FORMAT_S16 : GST_AUDIO_FORMAT_U8, dec->rate,
                            dec->channels, nullptr);
  GstCaps* caps = gst_audio_info_to_caps(&info);
  gst_pad_push_event(dec->srcpad, gst_event_new_caps(caps));
  gst_caps_unref(caps);
  gst_segment_init(&dec->segment, GST_FORMAT_TIME);
  dec->segment.duration = frameTime(dec, dec->frames);
  dec->needSegment = TRUE;
  return TRUE;
}

// Decodes and pushes one buffer of frames; GST_FLOW_EOS after the last.
GstFlowReturn pushFrames(QolaDec* dec) {
  if (dec->needSegment) {
    gst_pad_push_event(dec->srcpad, gst_event_new_segment(&dec->segment));
    dec->needSegment = FALSE;
  }
  gint64 last = dec->frames;
  if (GST_CLOCK_TIME_IS_VALID(dec->segment.stop)) {
    last = std::min<gint64>(last, gst_util_uint64_scale_int_ceil(dec->segment.stop, dec->rate, GST_SECOND));
  }
  if (dec->nextFrame >= last) return GST_FLOW_EOS;
  const std::size_t frameBytes = static_cast<std::size_t>(dec->channels * dec->sampleBits / 8);
  const std::size_t want = std::min<std::size_t>(kFramesPerBuffer, static_cast<std::size_t>(last - dec->nextFrame));
  GstBuffer* buffer = gst_buffer_new_allocate(nullptr, want * frameBytes, nullptr);
  GstMapInfo map;
  gst_buffer_map(buffer, &map, GST_MAP_WRITE);
  std::size_t read = 0;
  const qola_status status = qola_decoder_read(dec->decoder, map.data, want, &read);
  gst_buffer_unmap(buffer, &map);
  if (status != QOLA_OK || read == 0) {
    gst_buffer_unref(buffer);
    GST_ELEMENT_ERROR(dec, STREAM, DECODE, ("The QOLA file is damaged."),
                      ("frame %" G_GINT64_FORMAT ": %s", dec->nextFrame,
                       status != QOLA_OK ? qola_decoder_message(dec->decoder) : "the file ends early"));
    return GST_FLOW_ERROR;
  }
  gst_buffer_set_size(buffer, read * frameBytes);
  GST_BUFFER_OFFSET(buffer) = static_cast<guint64>(dec->nextFrame);
  GST_BUFFER_OFFSET_END(buffer) = static_cast<guint64>(dec->nextFrame) + read;
  GST_BUFFER_PTS(buffer) = frameTime(dec, dec->nextFrame);
  GST_BUFFER_DURATION(buffer) = frameTime(dec, dec->nextFrame + static_cast<gint64>(read)) - GST_BUFFER_PTS(buffer);
  if (dec->nextFrame == 0) GST_BUFFER_FLAG_SET(buffer, GST_BUFFER_FLAG_DISCONT);
  dec->nextFrame += static_cast<gint64>(read);
  dec->segment.position = frameTime(dec, dec->nextFrame);
  return gst_pad_push(dec->srcpad, buffer);
}

// Ends the stream after the last frame or a failure (the error is posted
// once, here or where it happened).
void finish(QolaDec* dec, GstFlowReturn flow) {
  if (flow == GST_FLOW_EOS || flow == GST_FLOW_ERROR) {
    gst_pad_push_event(dec->srcpad, gst_event_new_eos());
  } else if (flow == GST_FLOW_NOT_LINKED || flow < GST_FLOW_EOS) {
    GST_ELEMENT_FLOW_ERROR(dec, flow);
    gst_pad_push_event(dec->srcpad, gst_event_new_eos());
  }
}

// The pull-mode streaming task: one buffer per turn.
void loop(gpointer data) {
  QolaDec* dec = self(data);
  if (dec->decoder == nullptr &&
      !openDecoder(dec, qola_input_seekable_callbacks(&pullRead, &pullSize, &pullSeek, dec))) {
    gst_pad_pause_task(dec->sinkpad);
    gst_pad_push_event(dec->srcpad, gst_event_new_eos());
    return;
  }
  const GstFlowReturn flow = pushFrames(dec);
  if (flow == GST_FLOW_OK) return;
  GST_DEBUG_OBJECT(dec, "pausing: %s", gst_flow_get_name(flow));
  gst_pad_pause_task(dec->sinkpad);
  finish(dec, flow);
}

// Push mode: the whole file is gathered, then decoded from memory.
GstFlowReturn chain(GstPad*, GstObject* parent, GstBuffer* buffer) {
  gst_adapter_push(self(parent)->gathered, buffer);
  return GST_FLOW_OK;
}

void decodeGathered(QolaDec* dec) {
  const gsize size = gst_adapter_available(dec->gathered);
  dec->whole = size > 0 ? gst_adapter_take_buffer(dec->gathered, size) : gst_buffer_new();
  GstMapInfo map;
  gst_buffer_map(dec->whole, &map, GST_MAP_READ);
  qola_input* input = qola_input_memory(map.data, map.size);  // lives as long as dec->whole
  gst_buffer_unmap(dec->whole, &map);
  GstFlowReturn flow = openDecoder(dec, input) ? GST_FLOW_OK : GST_FLOW_ERROR;
  while (flow == GST_FLOW_OK) flow = pushFrames(dec);
  finish(dec, flow);
}

gboolean sinkEvent(GstPad* pad, GstObject* parent, GstEvent* event) {
  QolaDec* dec = self(parent);
  switch (GST_EVENT_TYPE(event)) {
    case GST_EVENT_EOS:
      gst_event_unref(event);
      decodeGathered(dec);
      return TRUE;
    case GST_EVENT_CAPS:
    case GST_EVENT_SEGMENT:
    case GST_EVENT_STREAM_START:
      gst_event_unref(event);  // ours follow once the file is known
      return TRUE;
    case GST_EVENT_FLUSH_STOP: gst_adapter_clear(dec->gathered); return gst_pad_event_default(pad, parent, event);
    default: return gst_pad_event_default(pad, parent, event);
  }
}

gboolean sinkActivate(GstPad* pad, GstObject*) {
  GstQuery* query = gst_query_new_scheduling();
  const gboolean pull =
      gst_pad_peer_query(pad, query) &&
      gst_query_has_scheduling_mode_with_flags(query, GST_PAD_MODE_PULL, GST_SCHEDULING_FLAG_SEEKABLE);
  gst_query_unref(query);
  return gst_pad_activate_mode(pad, pull ? GST_PAD_MODE_PULL : GST_PAD_MODE_PUSH, TRUE);
}

gboolean sinkActivateMode(GstPad* pad, GstObject* parent, GstPadMode mode, gboolean active) {
  if (mode == GST_PAD_MODE_PUSH) return TRUE;
  if (mode != GST_PAD_MODE_PULL) return FALSE;
  return active ? gst_pad_start_task(pad, loop, parent, nullptr) : gst_pad_stop_task(pad);
}

// A seek moves the decoder to the frame of the new start and restarts the
// task there (pull mode only).
gboolean seek(QolaDec* dec, GstEvent* event) {
  gdouble rate;
  GstFormat format;
  GstSeekFlags flags;
  GstSeekType startType, stopType;
  gint64 start, stop;
  gst_event_parse_seek(event, &rate, &format, &flags, &startType, &start, &stopType, &stop);
  if (dec->decoder == nullptr || dec->whole != nullptr || rate <= 0.0) return FALSE;
  if (format == GST_FORMAT_DEFAULT) {  // frames
    if (startType != GST_SEEK_TYPE_NONE) start = static_cast<gint64>(frameTime(dec, start));
    if (stopType != GST_SEEK_TYPE_NONE && stop >= 0) stop = static_cast<gint64>(frameTime(dec, stop));
    format = GST_FORMAT_TIME;
  }
  if (format != GST_FORMAT_TIME) return FALSE;
  const gboolean flush = (flags & GST_SEEK_FLAG_FLUSH) != 0;
  if (flush) {
    gst_pad_push_event(dec->srcpad, gst_event_new_flush_start());
  } else {
    gst_pad_pause_task(dec->sinkpad);
  }
  GST_PAD_STREAM_LOCK(dec->sinkpad);
  if (flush) gst_pad_push_event(dec->srcpad, gst_event_new_flush_stop(TRUE));
  gboolean update;
  gst_segment_do_seek(&dec->segment, rate, format, flags, startType, start, stopType, stop, &update);
  const gint64 frame = std::clamp<gint64>(
      static_cast<gint64>(gst_util_uint64_scale_int_ceil(dec->segment.start, dec->rate, GST_SECOND)), 0,
      dec->frames);
  const gboolean moved = qola_decoder_seek(dec->decoder, dec->firstFrame + frame) == QOLA_OK;
  if (moved) {
    dec->nextFrame = frame;
    dec->segment.start = dec->segment.time = dec->segment.position = frameTime(dec, frame);
  }
  dec->needSegment = TRUE;
  gst_pad_start_task(dec->sinkpad, loop, dec, nullptr);
  GST_PAD_STREAM_UNLOCK(dec->sinkpad);
  return moved;
}

gboolean srcEvent(GstPad* pad, GstObject* parent, GstEvent* event) {
  if (GST_EVENT_TYPE(event) != GST_EVENT_SEEK) return gst_pad_event_default(pad, parent, event);
  const gboolean done = seek(self(parent), event);
  gst_event_unref(event);
  return done;
}

gboolean srcQuery(GstPad* pad, GstObject* parent, GstQuery* query) {
  QolaDec* dec = self(parent);
  if (dec->decoder == nullptr) return gst_pad_query_default(pad, parent, query);
  GstFormat format;
  switch (GST_QUERY_TYPE(query)) {
    case GST_QUERY_DURATION:
      gst_query_parse_duration(query, &format, nullptr);
      if (format == GST_FORMAT_TIME) {
        gst_query_set_duration(query, format, static_cast<gint64>(frameTime(dec, dec->frames)));
      } else if (format == GST_FORMAT_DEFAULT) {
        gst_query_set_duration(query, format, dec->frames);
      } else {
        return FALSE;
      }
      return TRUE;
    case GST_QUERY_POSITION:
      gst_query_parse_position(query, &format, nullptr);
      if (format == GST_FORMAT_TIME) {
        gst_query_set_position(query, format, static_cast<gint64>(frameTime(dec, dec->nextFrame)));
      } else if (format == GST_FORMAT_DEFAULT) {
        gst_query_set_position(query, format, dec->nextFrame);
      } else {
        return FALSE;
      }
      return TRUE;
    case GST_QUERY_SEEKING:
      gst_query_parse_seeking(query, &format, nullptr, nullptr, nullptr);
      if (format != GST_FORMAT_TIME && format != GST_FORMAT_DEFAULT) return FALSE;
      gst_query_set_seeking(
          query, format, dec->whole == nullptr, 0,
          format == GST_FORMAT_TIME ? static_cast<gint64>(frameTime(dec, dec->frames)) : dec->frames);
      return TRUE;
    default: return gst_pad_query_default(pad, parent, query);
  }
}

GstStateChangeReturn changeState(GstElement* element, GstStateChange transition) {
  const GstStateChangeReturn result = GST_ELEMENT_CLASS(qola_dec_parent_class)->change_state(element, transition);
  if (transition == GST_STATE_CHANGE_PAUSED_TO_READY) {
    closeDecoder(self(element));
    gst_adapter_clear(self(element)->gathered);
  }
  return result;
}

void setProperty(GObject* object, guint id, const GValue* value, GParamSpec* param) {
  if (id == kPropRate) {
    self(object)->rawRate = g_value_get_int(value);
  } else {
    G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, param);
  }
}

void getProperty(GObject* object, guint id, GValue* value, GParamSpec* param) {
  if (id == kPropRate) {
    g_value_set_int(value, self(object)->rawRate);
  } else {
    G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, param);
  }
}

void finalize(GObject* object) {
  closeDecoder(self(object));
  g_object_unref(self(object)->gathered);
  G_OBJECT_CLASS(qola_dec_parent_class)->finalize(object);
}

}  // namespace

static void qola_dec_class_init(QolaDecClass* klass) {
  GObjectClass* objectClass = G_OBJECT_CLASS(klass);
  objectClass->set_property = setProperty;
  objectClass->get_property = getProperty;
  objectClass->finalize = finalize;
  g_object_class_install_property(
      objectClass, kPropRate,
      g_param_spec_int("rate", "Rate", "Sample rate of files that store no WAV header", 1, G_MAXINT, kDefaultRate,
                       static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS)));
  GstElementClass* elementClass = GST_ELEMENT_CLASS(klass);
  elementClass->change_state = changeState;
  gst_element_class_add_static_pad_template(elementClass, &sinkTemplate);
  gst_element_class_add_static_pad_template(elementClass, &srcTemplate);
  gst_element_class_set_static_metadata(elementClass, "QOLA decoder", "Codec/Decoder/Audio",
                                        "Restores QOLA compressed audio, with seeking", "The QOLA developers");
  GST_DEBUG_CATEGORY_INIT(qoladecDebug, "qoladec", 0, "QOLA decoder");
}

static void qola_dec_init(QolaDec* dec) {
  dec->sinkpad = gst_pad_new_from_static_template(&sinkTemplate, "sink");
  gst_pad_set_activate_function(dec->sinkpad, sinkActivate);
  gst_pad_set_activatemode_function(dec->sinkpad, sinkActivateMode);
  gst_pad_set_chain_function(dec->sinkpad, chain);
  gst_pad_set_event_function(dec->sinkpad, sinkEvent);
  gst_element_add_pad(GST_ELEMENT(dec), dec->sinkpad);
  dec->srcpad = gst_pad_new_from_static_template(&srcTemplate, "src");
  gst_pad_set_event_function(dec->srcpad, srcEvent);
  gst_pad_set_query_function(dec->srcpad, srcQuery);
  gst_pad_use_fixed_caps(dec->srcpad);
  gst_element_add_pad(GST_ELEMENT(dec), dec->srcpad);
  dec->rawRate = kDefaultRate;
  dec->gathered = gst_adapter_new();
  gst_segment_init(&dec->segment, GST_FORMAT_TIME);
}
