// The few things the desktop program asks of GTK directly, below what the
// toolkit offers: dropping queued input, and the look of two controls.
#pragma once

class wxButton;
class wxGauge;

namespace qola::ui {

// Drops the key, button, scroll and touch events waiting in the queue, and
// keeps every other event in its order.
void dropPendingInput();

// A bar as tall as its control: the theme's own is a thin line that reads as a separator.
void showAsSolidBar(wxGauge& bar);

// The theme's mark for the action Enter starts.
void markAsDefaultAction(wxButton& button);

}  // namespace qola::ui
