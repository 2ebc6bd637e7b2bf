#include "ReportDialog.h"

#include <wx/artprov.h>
#include <wx/button.h>
#include <wx/clipbrd.h>
#include <wx/gbsizer.h>
#include <wx/sizer.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>

#include <algorithm>

namespace qola::ui {
namespace {

constexpr int kNoteWidth = 360;  // pixels at 96 dpi

}  // namespace

std::vector<std::pair<std::string, std::string>> reportColumns(const std::string& text) {
  std::vector<std::pair<std::string, std::string>> lines;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    const std::size_t tab = line.find('\t');
    lines.emplace_back(line.substr(0, tab), tab == std::string::npos ? "" : line.substr(tab + 1));
    start = end + 1;
  }
  return lines;
}

std::string alignedText(const std::string& text) {
  const auto lines = reportColumns(text);
  std::size_t width = 0;
  for (const auto& [label, value] : lines) {
    if (!value.empty()) width = std::max(width, label.size());
  }
  std::string aligned;
  for (const auto& [label, value] : lines) {
    if (aligned.empty() && label.empty() && value.empty()) continue;  // the report opens with a blank line
    aligned += label;
    if (!value.empty()) aligned += std::string(width - label.size() + 1, ' ') + value;
    aligned += '\n';
  }
  return aligned;
}

ReportDialog::ReportDialog(wxWindow* parent, const std::string& text, const std::string& title)
    : wxDialog(parent, wxID_ANY, wxString::FromUTF8(title)), text_(text) {
  auto* columns = new wxGridBagSizer(0, FromDIP(4));
  int row = 0;
  for (const auto& [label, value] : reportColumns(text)) {
    const int span = value.empty() ? 2 : 1;
    auto* first = new wxStaticText(this, wxID_ANY, wxString::FromUTF8(label));
    if (span == 2) first->Wrap(FromDIP(kNoteWidth));  // a note reads as a paragraph, not one wide line
    columns->Add(first, wxGBPosition(row, 0), wxGBSpan(1, span));
    if (!value.empty()) columns->Add(new wxStaticText(this, wxID_ANY, wxString::FromUTF8(value)), wxGBPosition(row, 1));
    ++row;
  }
  auto* body = new wxBoxSizer(wxHORIZONTAL);
  body->Add(new wxStaticBitmap(this, wxID_ANY, wxArtProvider::GetBitmap(wxART_INFORMATION, wxART_MESSAGE_BOX)), 0,
            wxRIGHT, FromDIP(12));
  body->Add(columns);
  auto* ok = new wxButton(this, wxID_OK, "OK");
  ok->SetDefault();
  auto* all = new wxBoxSizer(wxVERTICAL);
  all->Add(body, 0, wxALL, FromDIP(12));
  all->Add(ok, 0, wxALIGN_RIGHT | wxLEFT | wxRIGHT | wxBOTTOM, FromDIP(12));
  SetSizerAndFit(all);
  SetEscapeId(wxID_OK);
  ok->SetFocus();
  Bind(wxEVT_CHAR_HOOK, [this](wxKeyEvent& event) {
    if (event.GetModifiers() == wxMOD_CONTROL && (event.GetKeyCode() == 'C' || event.GetKeyCode() == WXK_INSERT)) {
      if (wxTheClipboard->Open()) {
        wxTheClipboard->SetData(new wxTextDataObject(wxString::FromUTF8(alignedText(text_))));
        wxTheClipboard->Close();
      }
      return;
    }
    event.Skip();
  });
  CentreOnParent();
}

}  // namespace qola::ui
