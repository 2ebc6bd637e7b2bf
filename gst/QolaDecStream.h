// qoladec's stream: the seeking decoder opened on the element's input, and
// the frames decoded and pushed buffer by buffer; the element (QolaDec.cpp)
// drives it from its pads and announces the stream on its source pad.
#pragma once

#include <gst/base/gstadapter.h>
#include <gst/gst.h>

#include <qola/qola.h>

struct QolaDec {
  GstElement parent;
  GstPad* sinkpad;
  GstPad* srcpad;  // added once the file is open, removed when the element stops
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

namespace qoladec {

// The decoder's input in pull mode: reads pulled from upstream at the
// position the decoder asks for.
qola_input* pulledInput(QolaDec* dec);
// Frees the decoder and its input; the element is ready for another file.
void closeDecoder(QolaDec* dec);
GstClockTime frameTime(const QolaDec* dec, gint64 frame);
// Opens the decoder on the input and reads the stream's format; FALSE (with
// an error on the bus) when the file cannot be decoded.
gboolean openDecoder(QolaDec* dec, qola_input* input);
// Decodes and pushes one buffer of frames; GST_FLOW_EOS after the last.
GstFlowReturn pushFrames(QolaDec* dec);
// Ends the stream after the last frame or a failure (the error is posted
// once, here or where it happened).
void finishStream(QolaDec* dec, GstFlowReturn flow);
// Push mode: the file gathered so far, as the decoder's input.
qola_input* gatheredInput(QolaDec* dec);

}  // namespace qoladec
