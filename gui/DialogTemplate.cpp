#include "DialogTemplate.h"

#include <qola/version.h>

#include <array>

namespace qola::ui {
namespace {

using K = ControlKind;

constexpr std::array kMainControls{
    ControlTemplate{kIdInputName, K::Edit, "", 50, 25, 145, 14, false},
    ControlTemplate{kIdOutputName, K::Edit, "", 50, 45, 145, 14, false},
    ControlTemplate{kIdStart, K::DefaultButton, "&Start", 205, 115, 50, 14, false},
    ControlTemplate{kIdCancel, K::Button, "&Quit", 205, 135, 50, 14, false},
    ControlTemplate{kIdHelp, K::Button, "&Help", 205, 155, 50, 14, false},
    ControlTemplate{kIdCompress, K::Radio, "Compress", 50, 10, 47, 10, true},
    ControlTemplate{kIdDecompress, K::Radio, "Decompress", 110, 10, 59, 10, false},
    ControlTemplate{kIdBrowseInput, K::Button, "Browse...", 205, 25, 50, 14, false},
    ControlTemplate{kIdBrowseOutput, K::Button, "Browse...", 205, 45, 50, 14, false},
    ControlTemplate{kIdMono, K::Radio, "Mono", 20, 80, 34, 10, true},
    ControlTemplate{kIdStereo, K::Radio, "Stereo", 20, 95, 37, 10, false},
    ControlTemplate{kId8Bit, K::Radio, "8 bit", 85, 80, 29, 10, true},
    ControlTemplate{kId16Bit, K::Radio, "16 bit", 85, 95, 33, 10, false},
    ControlTemplate{kIdBlock128, K::Radio, "128", 150, 80, 28, 10, true},
    ControlTemplate{1017, K::Radio, "256", 150, 95, 28, 10, false},
    ControlTemplate{1018, K::Radio, "512", 150, 110, 28, 10, false},
    ControlTemplate{1019, K::Radio, "1024", 150, 125, 32, 10, false},
    ControlTemplate{1020, K::Radio, "2048", 150, 140, 32, 10, false},
    ControlTemplate{kIdBlock4096, K::Radio, "4096", 150, 155, 32, 10, false},
    ControlTemplate{kIdAdaptNone, K::Radio, "None", 85, 126, 33, 10, true},
    ControlTemplate{kIdAdaptMedium, K::Radio, "Medium", 85, 140, 41, 10, false},
    ControlTemplate{kIdAdaptFull, K::Radio, "Full", 85, 155, 27, 10, false},
    ControlTemplate{kIdWavEvaluation, K::Check, "Automatic wave file evaluation", 15, 125, 50, 25, false},
    ControlTemplate{kIdJointStereo, K::Check, "Joint Stereo", 15, 155, 53, 10, false},
    ControlTemplate{kIdSwapBytes, K::Check, "Swap bytes", 205, 75, 53, 10, false},
    ControlTemplate{kIdProgress, K::Progress, "", 10, 180, 245, 14, false},
    ControlTemplate{kStaticId, K::Label, "Mode:", 10, 10, 21, 8, false},
    ControlTemplate{kStaticId, K::Label, "Input file:", 10, 28, 30, 8, false},
    ControlTemplate{kStaticId, K::Label, "Output file:", 10, 48, 35, 8, false},
    ControlTemplate{kIdFormatGroup, K::GroupBox, "Format", 10, 70, 55, 40, false},
    ControlTemplate{kIdResolutionGroup, K::GroupBox, "Resolution", 75, 70, 55, 40, false},
    ControlTemplate{kIdAdaptationGroup, K::GroupBox, "Adaptation", 75, 115, 55, 55, false},
    ControlTemplate{kIdBlockLengthGroup, K::GroupBox, "Block length", 140, 70, 55, 100, false},
};

// The long product name and the maker lines are ours; the version line names
// the platform the program is built for.
#if defined(__linux__)
#define QOLA_PLATFORM_NAME "Linux"
#else
#define QOLA_PLATFORM_NAME "Unix"
#endif

constexpr std::array kAboutControls{
    ControlTemplate{kStaticId, K::Icon, "", 5, 5, 20, 20, false},
    ControlTemplate{kStaticId, K::Label, "QOLA - Lossless Audio Compressor", 35, 10, 155, 8, false},
    ControlTemplate{kStaticId, K::Label, "Version " QOLA_VERSION_STRING " for " QOLA_PLATFORM_NAME, 35, 25, 120, 8, false},
    ControlTemplate{kStaticId, K::Label, "Written by the QOLA developers", 35, 40, 130, 8, false},
    ControlTemplate{kStaticId, K::Label, "Lossless PCM audio coding", 35, 55, 110, 8, false},
    ControlTemplate{kStaticId, K::Label, "8/16 bit, mono/stereo", 35, 70, 90, 8, false},
    ControlTemplate{kStaticId, K::Label, "Block DCT, arithmetic coder", 35, 85, 115, 8, false},
    ControlTemplate{kIdOk, K::DefaultButton, "OK", 170, 80, 40, 14, true},
};

constexpr std::array kCompressionOnly{
    kIdJointStereo, kIdWavEvaluation, kIdFormatGroup, kIdMono, kIdStereo,
    kIdResolutionGroup, kId8Bit, kId16Bit, kIdAdaptationGroup, kIdAdaptNone,
    kIdAdaptMedium, kIdAdaptFull, kIdBlockLengthGroup, kIdBlock128, 1017,
    1018, 1019, 1020, kIdBlock4096,
};

constexpr DialogTemplate kMain{kMainTemplateId, "QOLA", 262, 201, kMainControls};
constexpr DialogTemplate kAbout{kAboutTemplateId, "About QOLA", 222, 106, kAboutControls};

}  // namespace

const DialogTemplate& mainDialogTemplate() { return kMain; }
const DialogTemplate& aboutDialogTemplate() { return kAbout; }
std::span<const int> compressionOnlyControls() { return kCompressionOnly; }

}  // namespace qola::ui
