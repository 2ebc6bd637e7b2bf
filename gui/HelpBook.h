// The program's help book in a window beside the dialog: opened on first
// use, shown at a topic with that topic selected in its contents; the book's
// link to the About box opens it.
#pragma once

#include <functional>
#include <memory>
#include <string>

class wxHtmlHelpController;
class wxHtmlLinkEvent;
class wxWindow;

namespace qola::ui {

// The help book's link that opens the About box.
inline constexpr const char* kAboutLink = "qola:about";

class HelpBook {
 public:
  // The book at path, its window owned by dialog; openAbout answers the About link.
  HelpBook(wxWindow& dialog, std::string path, std::function<void()> openAbout);
  ~HelpBook();
  HelpBook(const HelpBook&) = delete;
  HelpBook& operator=(const HelpBook&) = delete;

  // False when the book cannot be read or has no such topic.
  bool show(int context);
  void close();

 private:
  void onLink(wxHtmlLinkEvent& event);

  wxWindow& dialog_;
  std::string path_;
  std::function<void()> openAbout_;
  std::unique_ptr<wxHtmlHelpController> controller_;
};

}  // namespace qola::ui
