// A scripted stand-in for the toolkit: controls are plain values keyed by id,
// message boxes are recorded, and file pickers return what the test queued.
#pragma once

#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "ui/DialogPlatform.h"

namespace qola::ui::test {

struct ShownBox {
  std::string text;
  std::string title;
  MessageIcon icon;
};

class FakePlatform : public DialogPlatform {
 public:
  std::map<int, int> radios;  // first id of the group -> index
  std::map<int, bool> checks;
  std::map<int, std::string> texts;
  std::map<int, int> limits;
  std::set<int> disabled;
  int focused = 0;  // field focused with its text selected
  std::vector<int> progress;
  std::vector<bool> waitCursor;
  std::vector<ShownBox> boxes;
  std::deque<std::optional<std::string>> pickerAnswers;  // nullopt: the user cancels
  std::vector<std::pair<FilePicker, std::string>> pickers;
  bool helpStarts = true;
  std::vector<int> helpContexts;
  int helpClosed = 0;
  int aboutShown = 0;

  void setRadioGroup(int firstId, int index) override { radios[firstId] = index; }
  int radioGroup(int firstId) const override {
    auto it = radios.find(firstId);
    return it == radios.end() ? -1 : it->second;
  }
  void setCheck(int id, bool checked) override { checks[id] = checked; }
  bool check(int id) const override {
    auto it = checks.find(id);
    return it != checks.end() && it->second;
  }
  void setText(int id, const std::string& text) override { texts[id] = text; }
  std::string text(int id) const override {
    auto it = texts.find(id);
    return it == texts.end() ? std::string() : it->second;
  }
  void limitText(int id, int characters) override { limits[id] = characters; }
  void focusAndSelectAll(int id) override { focused = id; }
  void enableControl(int id, bool enabled) override {
    if (enabled) {
      disabled.erase(id);
    } else {
      disabled.insert(id);
    }
  }
  void setProgressPosition(int percent) override { progress.push_back(percent); }
  void setWaitCursor(bool busy) override { waitCursor.push_back(busy); }
  void messageBox(const std::string& text, const std::string& title, MessageIcon icon) override {
    boxes.push_back({text, title, icon});
  }
  std::optional<std::string> pickFile(FilePicker kind, const std::string& filter) override {
    pickers.emplace_back(kind, filter);
    if (pickerAnswers.empty()) return std::nullopt;
    auto answer = pickerAnswers.front();
    pickerAnswers.pop_front();
    return answer;
  }
  bool showHelp(int context) override {
    helpContexts.push_back(context);
    return helpStarts;
  }
  void closeHelp() override { ++helpClosed; }
  void showAbout() override { ++aboutShown; }
  std::string applicationTitle() const override { return "qola-gui"; }
};

}  // namespace qola::ui::test
