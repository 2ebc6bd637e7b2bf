#include "GtkSupport.h"

#include <gtk/gtk.h>
// The X side of a close request, which the toolkit drops while a modal box is open.
#include <X11/Xlib.h>
#include <gdk/gdkx.h>

#include <wx/button.h>
#include <wx/gauge.h>
#include <wx/window.h>

#include <vector>

namespace qola::ui {
namespace {

bool isInput(GdkEventType type) {
  switch (type) {
    case GDK_KEY_PRESS:
    case GDK_KEY_RELEASE:
    case GDK_BUTTON_PRESS:
    case GDK_2BUTTON_PRESS:
    case GDK_3BUTTON_PRESS:
    case GDK_BUTTON_RELEASE:
    case GDK_SCROLL:
    case GDK_TOUCH_BEGIN:
    case GDK_TOUCH_UPDATE:
    case GDK_TOUCH_END:
    case GDK_TOUCH_CANCEL: return true;
    default: return false;
  }
}

bool isEscapePress(const GdkEvent* event) {
  guint key = 0;
  return gdk_event_get_event_type(event) == GDK_KEY_PRESS && gdk_event_get_keyval(event, &key) &&
         key == GDK_KEY_Escape;
}

constexpr const char* kBarName = "qola-progress";

GdkFilterReturn closeRequestFilter(GdkXEvent* native, GdkEvent*, gpointer data) {
  const XEvent* event = static_cast<const XEvent*>(native);
  if (event->type == ClientMessage) {
    GdkDisplay* display = gdk_display_get_default();
    const Atom protocols = gdk_x11_get_xatom_by_name_for_display(display, "WM_PROTOCOLS");
    const Atom deleteWindow = gdk_x11_get_xatom_by_name_for_display(display, "WM_DELETE_WINDOW");
    if (event->xclient.message_type == protocols && static_cast<Atom>(event->xclient.data.l[0]) == deleteWindow) {
      (*static_cast<std::function<void()>*>(data))();
    }
  }
  return GDK_FILTER_CONTINUE;
}

}  // namespace

bool dropPendingInput() {
  std::vector<GdkEvent*> kept;
  bool escape = false;
  while (GdkEvent* event = gdk_event_get()) {
    if (isInput(gdk_event_get_event_type(event))) {
      escape = escape || isEscapePress(event);
      gdk_event_free(event);
    } else {
      kept.push_back(event);
    }
  }
  for (GdkEvent* event : kept) {
    gdk_event_put(event);  // puts a copy
    gdk_event_free(event);
  }
  return escape;
}

void watchCloseRequests(wxWindow& window, const std::function<void()>& requested) {
  GtkWidget* widget = window.GetHandle();
  gpointer data = const_cast<std::function<void()>*>(&requested);
  auto addFilter = +[](GtkWidget* realized, gpointer callback) {
    GdkWindow* native = gtk_widget_get_window(realized);
    if (native != nullptr && GDK_IS_X11_WINDOW(native))
      gdk_window_add_filter(native, &closeRequestFilter, callback);
  };
  if (gtk_widget_get_realized(widget)) {
    addFilter(widget, data);
  } else {
    g_signal_connect_after(widget, "realize", G_CALLBACK(addFilter), data);
  }
}

void forgetCloseRequests(wxWindow& window, const std::function<void()>& requested) {
  GtkWidget* widget = window.GetHandle();
  gpointer data = const_cast<std::function<void()>*>(&requested);
  g_signal_handlers_disconnect_by_data(widget, data);
  if (GdkWindow* native = gtk_widget_get_window(widget))
    gdk_window_remove_filter(native, &closeRequestFilter, data);
}

void showAsSolidBar(wxGauge& bar) {
  static GtkCssProvider* const style = [] {
    GtkCssProvider* provider = gtk_css_provider_new();
    gtk_css_provider_load_from_data(provider,
                                    "#qola-progress trough, #qola-progress progress { min-height: 12px; }"
                                    "#qola-progress trough { border-radius: 2px; }"
                                    "#qola-progress progress { border-radius: 1px; }",
                                    -1, nullptr);
    gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(provider),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    return provider;
  }();
  (void)style;
  gtk_widget_set_name(bar.GetHandle(), kBarName);
}

void markAsDefaultAction(wxButton& button) {
  gtk_style_context_add_class(gtk_widget_get_style_context(button.GetHandle()), "suggested-action");
}

}  // namespace qola::ui
