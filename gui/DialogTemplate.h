// The dialog templates of the desktop program: every control with its id,
// kind, label and rectangle in dialog units, in tab order.
#pragma once

#include <span>

namespace qola::ui {

enum class ControlKind { Edit, DefaultButton, Button, Radio, Check, Progress, Label, GroupBox, Icon };

struct ControlTemplate {
  int id;  // kStaticId for labels the program never addresses
  ControlKind kind;
  const char* label;
  int x, y, width, height;  // dialog units
  bool groupStart;          // first radio button of a mutually exclusive group
};

struct DialogTemplate {
  int id;
  const char* title;
  int width, height;  // dialog units
  std::span<const ControlTemplate> controls;
};

inline constexpr int kStaticId = -1;

// Command and control ids.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdBrowseInput = 1000;
inline constexpr int kIdBrowseOutput = 1001;
inline constexpr int kIdProgress = 1002;
inline constexpr int kIdCompress = 1003;
inline constexpr int kIdDecompress = 1004;
inline constexpr int kIdInputName = 1005;
inline constexpr int kIdOutputName = 1006;
inline constexpr int kIdWavEvaluation = 1007;
inline constexpr int kIdJointStereo = 1008;
inline constexpr int kIdMono = 1009;
inline constexpr int kIdStereo = 1010;
inline constexpr int kId8Bit = 1011;
inline constexpr int kId16Bit = 1012;
inline constexpr int kIdAdaptNone = 1013;
inline constexpr int kIdAdaptMedium = 1014;
inline constexpr int kIdAdaptFull = 1015;
inline constexpr int kIdBlock128 = 1016;
inline constexpr int kIdBlock4096 = 1021;
inline constexpr int kIdSwapBytes = 1022;
inline constexpr int kIdStart = 1023;
inline constexpr int kIdFormatGroup = 1024;
inline constexpr int kIdResolutionGroup = 1025;
inline constexpr int kIdAdaptationGroup = 1026;
inline constexpr int kIdBlockLengthGroup = 1027;
inline constexpr int kIdHelp = 57670;  // the Help button; F1 and the toolkit's help id map to it
inline constexpr int kIdAbout = 16;    // the "About" item of the main window's menu

inline constexpr int kAboutTemplateId = 100;
inline constexpr int kMainTemplateId = 102;
inline constexpr const char* kAboutMenuText = "&About QOLA...";

// A dialog built from template T answers help requests with this context:
// the help book's contents (gui/help/qola-gui.hhc) number its topics so.
inline constexpr int kHelpContextBase = 131072;
inline constexpr int helpContext(int templateId) { return kHelpContextBase + templateId; }

const DialogTemplate& mainDialogTemplate();
const DialogTemplate& aboutDialogTemplate();

// The controls that the mode switch greys out for decompression, in the order they are switched.
std::span<const int> compressionOnlyControls();

}  // namespace qola::ui
