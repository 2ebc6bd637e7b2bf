#include "HelpBook.h"

#include <wx/display.h>
#include <wx/filesys.h>
#include <wx/fs_arc.h>
#include <wx/html/helpctrl.h>
#include <wx/html/helpdlg.h>
#include <wx/html/helpwnd.h>
#include <wx/html/htmlwin.h>
#include <wx/log.h>
#include <wx/treectrl.h>

#include <vector>

#include "HelpPlacement.h"

namespace qola::ui {
namespace {

// Narrower, the help's contents and page no longer sit side by side readably.
constexpr int kHelpMinWidth = 450;

// The help beside the dialog, which moves or narrows it where the screen has
// no room for both as they are: help that hides the dialog it explains is no help.
void placeBeside(wxWindow& window, wxWindow& dialog) {
  const int display = wxDisplay::GetFromWindow(&dialog);
  const wxRect screen = wxDisplay(display == wxNOT_FOUND ? 0u : static_cast<unsigned>(display)).GetClientArea();
  const HelpPlacement placed =
      placeHelp(screen, dialog.GetScreenRect(), window.GetSize(), dialog.FromDIP(8), dialog.FromDIP(kHelpMinWidth));
  if (placed.dialog != dialog.GetScreenPosition()) dialog.Move(placed.dialog);
  window.SetSize(placed.help);
}

void treeInOrder(const wxTreeCtrl& tree, const wxTreeItemId& item, std::vector<wxTreeItemId>& order) {
  order.push_back(item);
  wxTreeItemIdValue cookie;
  for (wxTreeItemId child = tree.GetFirstChild(item, cookie); child.IsOk();
       child = tree.GetNextChild(item, cookie)) {
    treeInOrder(tree, child, order);
  }
}

// The contents tree has one item for each entry of the book's contents, in
// order: the topic's place in the contents is its item's place in the tree.
void selectTopic(wxHtmlHelpWindow& help, int context) {
  const wxHtmlHelpDataItems& items = help.GetData()->GetContentsArray();
  std::size_t place = 0;
  while (place < items.size() && items[place].id != context) ++place;
  wxTreeCtrl* tree = help.GetTreeCtrl();
  if (tree == nullptr || !tree->GetRootItem().IsOk()) return;
  std::vector<wxTreeItemId> order;
  treeInOrder(*tree, tree->GetRootItem(), order);
  if (tree->HasFlag(wxTR_HIDE_ROOT)) order.erase(order.begin());
  if (place >= items.size() || place >= order.size()) return;
  tree->SelectItem(order[place]);
  tree->EnsureVisible(order[place]);
}

}  // namespace

HelpBook::HelpBook(wxWindow& dialog, std::string path, std::function<void()> openAbout)
    : dialog_(dialog), path_(std::move(path)), openAbout_(std::move(openAbout)) {}

HelpBook::~HelpBook() = default;

// The help window belongs to the dialog, so it comes to the front above it,
// beside it where the screen has room.
bool HelpBook::show(int context) {
  if (!controller_) {
    static const bool archivesReadable = [] {
      wxFileSystem::AddHandler(new wxArchiveFSHandler);  // the book is a zip archive
      return true;
    }();
    (void)archivesReadable;
    wxLogNull quiet;  // a missing book is reported by the dialog's own message
    auto controller = std::make_unique<wxHtmlHelpController>(wxHF_DEFAULT_STYLE | wxHF_DIALOG, &dialog_);
    if (!controller->AddBook(wxFileName(wxString::FromUTF8(path_)))) return false;
    controller_ = std::move(controller);
  }
  const bool wasShown = controller_->GetDialog() != nullptr && controller_->GetDialog()->IsShown();
  if (!controller_->Display(context)) return false;
  if (wxHtmlHelpWindow* contents = controller_->GetHelpWindow()) selectTopic(*contents, context);
  if (wxWindow* window = controller_->GetDialog()) {
    if (!wasShown) placeBeside(*window, dialog_);  // later, where the user put it
    window->Unbind(wxEVT_HTML_LINK_CLICKED, &HelpBook::onLink, this);
    window->Bind(wxEVT_HTML_LINK_CLICKED, &HelpBook::onLink, this);
    window->Raise();
  }
  return true;
}

// The book's link to the About box opens it; every other link is the book's own.
void HelpBook::onLink(wxHtmlLinkEvent& event) {
  if (event.GetLinkInfo().GetHref() != kAboutLink) {
    event.Skip();
    return;
  }
  openAbout_();
}

void HelpBook::close() {
  if (!controller_) return;
  controller_->Quit();
  controller_.reset();
}

}  // namespace qola::ui
