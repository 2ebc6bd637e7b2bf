// qoladec: a compressed file to interleaved raw audio. Upstream that can
// pull (a file) gets seeking and duration through the seeking decoder; a
// stream that can only push is gathered to its end, then decoded. The source
// pad appears once the file is open (addSourcePad says why).
#include <gst/audio/audio.h>
#include <gst/base/gstadapter.h>
#include <gst/gst.h>

#include <qola/qola.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "Elements.h"
#include "QolaDecStream.h"

GST_DEBUG_CATEGORY(qoladecDebug);
#define GST_CAT_DEFAULT qoladecDebug

namespace {

constexpr int kDefaultRate = 44100;

}  // namespace

struct QolaDecClass {
  GstElementClass parentClass;
};

G_DEFINE_TYPE(QolaDec, qola_dec, GST_TYPE_ELEMENT)
GST_ELEMENT_REGISTER_DEFINE(qoladec, "qoladec", GST_RANK_PRIMARY, qola_dec_get_type())

namespace {

using qoladec::closeDecoder;
using qoladec::finishStream;
using qoladec::frameTime;
using qoladec::gatheredInput;
using qoladec::openDecoder;
using qoladec::pulledInput;
using qoladec::pushFrames;

enum { kPropRate = 1 };

GstStaticPadTemplate sinkTemplate =
    GST_STATIC_PAD_TEMPLATE("sink", GST_PAD_SINK, GST_PAD_ALWAYS, GST_STATIC_CAPS(QOLA_GST_MEDIA_TYPE));
GstStaticPadTemplate srcTemplate =
    GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_SOMETIMES,
                            GST_STATIC_CAPS("audio/x-raw, format = (string) { " GST_AUDIO_NE(
                                S16) ", U8 }, layout = (string) interleaved, "
                                     "rate = (int) [ 1, MAX ], channels = (int) [ 1, 2 ]"));

QolaDec* self(gpointer object) { return reinterpret_cast<QolaDec*>(object); }

gboolean srcEvent(GstPad* pad, GstObject* parent, GstEvent* event);
gboolean srcQuery(GstPad* pad, GstObject* parent, GstQuery* query);

// The source pad is added, its stream and caps already on it, by the thread
// that then pushes on it: decodebin links a new pad and holds it until the
// stream is exposed, in its pad-added handler on that thread. A pad there
// from the start was linked before the element started and held only later;
// our task could push in between, the buffer was not linked, decodebin
// ignored the error as it still tried the element, and the end never came.
void addSourcePad(QolaDec* dec) {
  GstPad* pad = gst_pad_new_from_static_template(&srcTemplate, "src");
  gst_pad_set_event_function(pad, srcEvent);
  gst_pad_set_query_function(pad, srcQuery);
  gst_pad_use_fixed_caps(pad);
  gst_pad_set_active(pad, TRUE);
  gchar* streamId = gst_pad_create_stream_id(pad, GST_ELEMENT(dec), nullptr);
  gst_pad_push_event(pad, gst_event_new_stream_start(streamId));
  g_free(streamId);
  GstAudioInfo info;
  gst_audio_info_set_format(&info, dec->sampleBits == 16 ? GST_AUDIO_FORMAT_S16 : GST_AUDIO_FORMAT_U8, dec->rate,
                            dec->channels, nullptr);
  GstCaps* caps = gst_audio_info_to_caps(&info);
  gst_pad_push_event(pad, gst_event_new_caps(caps));
  gst_caps_unref(caps);
  dec->srcpad = pad;
  gst_element_add_pad(GST_ELEMENT(dec), pad);
  gst_element_no_more_pads(GST_ELEMENT(dec));
}

void removeSourcePad(QolaDec* dec) {
  if (dec->srcpad == nullptr) return;
  gst_pad_set_active(dec->srcpad, FALSE);
  gst_element_remove_pad(GST_ELEMENT(dec), dec->srcpad);
  dec->srcpad = nullptr;
}

// The pull-mode streaming task: one buffer per turn.
void loop(gpointer data) {
  QolaDec* dec = self(data);
  if (dec->srcpad == nullptr) addSourcePad(dec);
  const GstFlowReturn flow = pushFrames(dec);
  if (flow == GST_FLOW_OK) return;
  GST_DEBUG_OBJECT(dec, "pausing: %s", gst_flow_get_name(flow));
  gst_pad_pause_task(dec->sinkpad);
  finishStream(dec, flow);
}

// Push mode: the whole file is gathered, then decoded from memory.
GstFlowReturn chain(GstPad*, GstObject* parent, GstBuffer* buffer) {
  gst_adapter_push(self(parent)->gathered, buffer);
  return GST_FLOW_OK;
}

void decodeGathered(QolaDec* dec) {
  closeDecoder(dec);  // the file decoded before a flush
  if (!openDecoder(dec, gatheredInput(dec))) return;  // the error is on the bus
  if (dec->srcpad == nullptr) addSourcePad(dec);
  GstFlowReturn flow = GST_FLOW_OK;
  while (flow == GST_FLOW_OK) flow = pushFrames(dec);
  finishStream(dec, flow);
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

// Pull mode opens the file here, on the thread that activates the pad, so a
// file that cannot be decoded fails the state change with its error. From
// the task, the error could come while an autoplugger still tries the
// element out, and it ignores such errors.
gboolean sinkActivateMode(GstPad* pad, GstObject* parent, GstPadMode mode, gboolean active) {
  if (mode == GST_PAD_MODE_PUSH) return TRUE;
  if (mode != GST_PAD_MODE_PULL) return FALSE;
  if (!active) return gst_pad_stop_task(pad);
  QolaDec* dec = self(parent);
  closeDecoder(dec);
  if (!openDecoder(dec, pulledInput(dec))) {
    closeDecoder(dec);
    return FALSE;
  }
  return gst_pad_start_task(pad, loop, parent, nullptr);
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
    removeSourcePad(self(element));
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
  dec->rawRate = kDefaultRate;
  dec->gathered = gst_adapter_new();
  gst_segment_init(&dec->segment, GST_FORMAT_TIME);
}
