#include "QolaDecStream.h"

#include <gst/gst.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>

GST_DEBUG_CATEGORY_EXTERN(qoladecDebug);
#define GST_CAT_DEFAULT qoladecDebug

namespace qoladec {
namespace {

constexpr std::size_t kFramesPerBuffer = 4096;

QolaDec* self(gpointer object) { return reinterpret_cast<QolaDec*>(object); }

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

}  // namespace

qola_input* pulledInput(QolaDec* dec) { return qola_input_seekable_callbacks(&pullRead, &pullSize, &pullSeek, dec); }

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

  gst_segment_init(&dec->segment, GST_FORMAT_TIME);
  dec->segment.duration = frameTime(dec, dec->frames);
  dec->needSegment = TRUE;
  return TRUE;
}

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

void finishStream(QolaDec* dec, GstFlowReturn flow) {
  if (flow == GST_FLOW_EOS || flow == GST_FLOW_ERROR) {
    gst_pad_push_event(dec->srcpad, gst_event_new_eos());
  } else if (flow == GST_FLOW_NOT_LINKED || flow < GST_FLOW_EOS) {
    GST_ELEMENT_FLOW_ERROR(dec, flow);
    gst_pad_push_event(dec->srcpad, gst_event_new_eos());
  }
}

qola_input* gatheredInput(QolaDec* dec) {
  const gsize size = gst_adapter_available(dec->gathered);
  dec->whole = size > 0 ? gst_adapter_take_buffer(dec->gathered, size) : gst_buffer_new();
  GstMapInfo map;
  gst_buffer_map(dec->whole, &map, GST_MAP_READ);
  qola_input* input = qola_input_memory(map.data, map.size);  // lives as long as dec->whole
  gst_buffer_unmap(dec->whole, &map);
  return input;
}

}  // namespace qoladec
