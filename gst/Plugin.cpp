#include <qola/qola.h>

#include "Elements.h"

#ifndef PACKAGE
#define PACKAGE "qola"
#endif

namespace {

gboolean pluginInit(GstPlugin* plugin) {
  gboolean registered = FALSE;
  registered |= GST_ELEMENT_REGISTER(qoladec, plugin);
  registered |= GST_ELEMENT_REGISTER(qolaenc, plugin);
  registered |= GST_TYPE_FIND_REGISTER(qola, plugin);
  return registered;
}

}  // namespace

GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, qola, "QOLA lossless audio: decoder, encoder, type finder",
                  pluginInit, QOLA_VERSION_STRING, "BSD", "qola", "https://qola.invalid/")
