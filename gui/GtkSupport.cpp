#include "GtkSupport.h"

#include <gtk/gtk.h>

#include <wx/button.h>
#include <wx/gauge.h>

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
    case GDK_TOUCH_CANCEL:
      return true;
    default:
      return false;
  }
}

constexpr const char* kBarName = "qola-progress";

}  // namespace

void dropPendingInput() {
  std::vector<GdkEvent*> kept;
  while (GdkEvent* event = gdk_event_get()) {
    if (isInput(gdk_event_get_event_type(event))) {
      gdk_event_free(event);
    } else {
      kept.push_back(event);
    }
  }
  for (GdkEvent* event : kept) {
    gdk_event_put(event);  // puts a copy
    gdk_event_free(event);
  }
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
