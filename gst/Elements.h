// The QOLA GStreamer elements: qoladec (compressed file to raw audio, with
// seeking), qolaenc (raw audio to a compressed file) and the .qla type finder.
#pragma once

#include <gst/gst.h>

#define QOLA_GST_MEDIA_TYPE "application/x-qola"

G_BEGIN_DECLS

GST_ELEMENT_REGISTER_DECLARE(qoladec);
GST_ELEMENT_REGISTER_DECLARE(qolaenc);
GST_TYPE_FIND_REGISTER_DECLARE(qola);

G_END_DECLS
