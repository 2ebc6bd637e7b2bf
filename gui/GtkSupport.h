// The few things the desktop program asks of GTK directly, below what the
// toolkit offers: dropping queued input, and the look of two controls.
#pragma once

#include <functional>

class wxButton;
class wxGauge;
class wxWindow;

namespace qola::ui {

// Drops the key, button, scroll and touch events waiting in the queue, and
// keeps every other event in its order. True when Escape was among the keys.
bool dropPendingInput();

// Calls back for every close request the window manager sends the window,
// also those the toolkit ignores while a modal box is open. The callback
// stays the caller's, who forgets it before either goes.
void watchCloseRequests(wxWindow& window, const std::function<void()>& requested);
void forgetCloseRequests(wxWindow& window, const std::function<void()>& requested);

// A bar as tall as its control: the theme's own is a thin line that reads as a separator.
void showAsSolidBar(wxGauge& bar);

// The theme's mark for the action Enter starts.
void markAsDefaultAction(wxButton& button);

}  // namespace qola::ui
