// The .qla type finder. The format has no magic bytes: the file's leading
// fields must be plausible for its size (the library's check), and only
// then is the type suggested, as possible rather than certain, so any format
// with a real signature wins over it.
#include <gst/gst.h>

#include <qola/qola.h>

#include "Elements.h"

namespace {

constexpr guint kHeadBytes = 64;

void findQola(GstTypeFind* find, gpointer) {
  const guint64 length = gst_type_find_get_length(find);
  guint head = kHeadBytes;
  if (length != 0 && length < head) head = static_cast<guint>(length);
  const guint8* bytes = gst_type_find_peek(find, 0, head);
  if (bytes == nullptr) return;
  const int64_t total = length == 0 ? -1 : static_cast<int64_t>(length);
  if (qola_is_compressed(bytes, head, total)) {
    gst_type_find_suggest_empty_simple(find, GST_TYPE_FIND_POSSIBLE, QOLA_GST_MEDIA_TYPE);
  }
}

gboolean registerQola(GstPlugin* plugin) {
  GstCaps* caps = gst_caps_new_empty_simple(QOLA_GST_MEDIA_TYPE);
  const gboolean registered = gst_type_find_register(plugin, QOLA_GST_MEDIA_TYPE, GST_RANK_MARGINAL, findQola,
                                                     "qla", caps, nullptr, nullptr);
  gst_caps_unref(caps);
  return registered;
}

}  // namespace

GST_TYPE_FIND_REGISTER_DEFINE_CUSTOM(qola, registerQola)
