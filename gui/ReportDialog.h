// A job's closing report in columns: each line's text before its tab is a
// label, the rest (": value") a value, so the colons line up whatever the
// font. Ctrl+C copies it with the colons lined up by spaces, as plain text
// shows them.
#pragma once

#include <wx/dialog.h>

#include <string>
#include <utility>
#include <vector>

namespace qola::ui {

// The report's lines as label and value, split at each line's first tab; a
// line without a tab is all label.
std::vector<std::pair<std::string, std::string>> reportColumns(const std::string& text);

// The report as plain text: each label padded with spaces so that the colons
// line up, the report's opening blank line left out.
std::string alignedText(const std::string& text);

class ReportDialog : public wxDialog {
 public:
  ReportDialog(wxWindow* parent, const std::string& text, const std::string& title);
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

}  // namespace qola::ui
