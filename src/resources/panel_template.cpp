#include "resources/panel_template.h"

#include <array>

namespace ressona {

namespace {

using K = ControlKind;
constexpr int kNone = kNoControlId;
constexpr std::uint32_t kDigitsRight = kDigitsOnly | kRightAligned;
constexpr std::uint32_t kCentredSunken = kCentred | kSunken;
constexpr std::uint32_t kRightDisabled = kRightAligned | kInitiallyDisabled;

// In template order; positions in dialog units.
constexpr std::array kPanelControls = {
    ControlTemplate{1009, K::RadioButton, "8 kHz", 118, 113, 33, 10, kStartsGroup, "Sample Rate"},
    ControlTemplate{1012, K::RadioButton, "11.02 kHz", 118, 129, 42, 10, 0, "Sample Rate"},
    ControlTemplate{1013, K::RadioButton, "22.05 kHz", 118, 145, 51, 10, 0, "Sample Rate"},
    ControlTemplate{1010, K::RadioButton, "44.1 kHz", 118, 161, 42, 10, 0, "Sample Rate"},
    ControlTemplate{1011, K::RadioButton, "48 kHz", 118, 177, 42, 10, 0, "Sample Rate"},
    ControlTemplate{224, K::RadioButton, "Pulse", 6, 10, 53, 10, kStartsGroup, "Excitation Mode"},
    ControlTemplate{221, K::RadioButton, "MLS", 6, 20, 53, 10, 0, "Excitation Mode"},
    ControlTemplate{225, K::RadioButton, "White Noise", 6, 30, 59, 10, 0, "Excitation Mode"},
    ControlTemplate{251, K::RadioButton, "No Signal", 6, 40, 48, 12, 0, "Excitation Mode"},
    ControlTemplate{266, K::RadioButton, "Sweep", 6, 52, 50, 8, 0, "Excitation Mode"},
    ControlTemplate{222, K::RadioButton, "Sine Wave", 60, 10, 61, 10, 0, "Excitation Mode"},
    ControlTemplate{223, K::RadioButton, "Square Wave", 60, 21, 61, 10, 0, "Excitation Mode"},
    ControlTemplate{211, K::RadioButton, "64", 189, 116, 25, 10, kStartsGroup, "Sample Length"},
    ControlTemplate{212, K::RadioButton, "128", 189, 144, 27, 10, 0, "Sample Length"},
    ControlTemplate{213, K::RadioButton, "256", 189, 172, 26, 10, 0, "Sample Length"},
    ControlTemplate{214, K::RadioButton, "512", 237, 116, 27, 10, 0, "Sample Length"},
    ControlTemplate{215, K::RadioButton, "1024", 237, 144, 27, 10, 0, "Sample Length"},
    ControlTemplate{216, K::RadioButton, "2048", 237, 172, 35, 10, 0, "Sample Length"},
    ControlTemplate{217, K::RadioButton, "4096", 285, 116, 35, 10, 0, "Sample Length"},
    ControlTemplate{218, K::RadioButton, "8192", 285, 144, 34, 10, 0, "Sample Length"},
    ControlTemplate{219, K::RadioButton, "16384", 286, 172, 35, 10, 0, "Sample Length"},
    ControlTemplate{235, K::Edit, "", 70, 30, 32, 12, kDigitsRight, "Excitation Mode"},
    ControlTemplate{240, K::HorizontalScrollBar, "", 60, 45, 60, 10, 0, "Excitation Mode"},
    ControlTemplate{245, K::PushLikeCheckBox, "Artificial", 6, 61, 56, 16, 0, "Excitation Mode"},
    ControlTemplate{246, K::RadioButton, "Standard", 130, 14, 56, 10, kStartsGroup, "Analysis Results"},
    ControlTemplate{252, K::RadioButton, "Waterfall", 130, 49, 56, 10, 0, "Analysis Results"},
    ControlTemplate{253, K::RadioButton, "Phase", 130, 37, 43, 11, 0, "Analysis Results"},
    ControlTemplate{265, K::RadioButton, "Histogram", 130, 25, 59, 11, 0, "Analysis Results"},
    ControlTemplate{264, K::Edit, "", 150, 80, 35, 12, kDigitsOnly, "Analysis Results"},
    ControlTemplate{255, K::RadioButton, "Single sample", 2, 111, 65, 9, kStartsGroup, "Averaging"},
    ControlTemplate{254, K::RadioButton, "Average", 2, 134, 47, 9, 0, "Averaging"},
    ControlTemplate{227, K::Edit, "", 47, 131, 31, 12, kDigitsRight, "Averaging"},
    ControlTemplate{kNone, K::Text, "Hz", 105, 30, 12, 11, 0, "Excitation Mode"},
    ControlTemplate{kNone, K::Text, "Hz slider", 60, 56, 58, 10, kCentred, "Excitation Mode"},
    ControlTemplate{236, K::HorizontalScrollBar, "", 209, 14, 82, 10, 0, "Sample record delay"},
    ControlTemplate{248, K::HorizontalScrollBar, "", 236, 66, 50, 8, 0, "Time Domain Cuts"},
    ControlTemplate{kNone, K::Text, "Lower", 213, 66, 19, 8, 0, "Time Domain Cuts"},
    ControlTemplate{250, K::CheckBox, "1/2 Hanning Window", 213, 77, 78, 12, 0, "Time Domain Cuts"},
    ControlTemplate{249, K::HorizontalScrollBar, "", 236, 50, 50, 8, 0, "Time Domain Cuts"},
    ControlTemplate{229, K::RadioButton, "Time", 33, 89, 31, 10, kStartsGroup, "Averaging"},
    ControlTemplate{230, K::RadioButton, "Frequency", 33, 99, 51, 10, 0, "Averaging"},
    ControlTemplate{228, K::Text, "Static", 2, 164, 105, 10, kCentredSunken, "Averaging"},
    ControlTemplate{207, K::PushButton, "Start", 0, 178, 35, 18, 0, ""},
    ControlTemplate{208, K::PushButton, "Stop", 37, 178, 35, 18, 0, ""},
    ControlTemplate{1007, K::PushButton, "E&xit", 73, 178, 35, 18, 0, ""},
    ControlTemplate{243, K::VerticalScrollBar, "", 301, 44, 15, 44, 0, "Mixer"},
    ControlTemplate{244, K::VerticalScrollBar, "", 381, 44, 15, 44, 0, "Mixer"},
    ControlTemplate{231, K::RadioButton, "Fix dB Scale", 408, 87, 60, 10, 0, "Plot Scaling"},
    ControlTemplate{1006, K::PushButton, "&About", 333, 158, 65, 10, 0, ""},
    ControlTemplate{233, K::Edit, "", 445, 114, 70, 14, kRightDisabled, "Plot Scaling"},
    ControlTemplate{232, K::Edit, "", 445, 127, 70, 14, kRightDisabled, "Plot Scaling"},
    ControlTemplate{kNone, K::GroupBox, "Excitation Mode", 0, 0, 123, 81, 0, ""},
    ControlTemplate{kNone, K::GroupBox, "Sample Rate", 112, 99, 67, 95, 0, ""},
    ControlTemplate{kNone, K::GroupBox, "Sample Length", 183, 99, 144, 96, 0, ""},
    ControlTemplate{kNone, K::GroupBox, "Averaging", 0, 81, 109, 97, 0, ""},
    ControlTemplate{kNone, K::GroupBox, "Plot Scaling", 403, 67, 112, 104, 0, ""},
    ControlTemplate{kNone, K::Text, "dB low", 406, 129, 28, 10, 0, "Plot Scaling"},
    ControlTemplate{kNone, K::Text, "dB high", 406, 116, 28, 10, 0, "Plot Scaling"},
    ControlTemplate{kNone, K::GroupBox, "Sample record delay", 207, 0, 88, 40, 0, ""},
    ControlTemplate{237, K::Text, "", 209, 25, 82, 11, kCentredSunken, "Sample record delay"},
    ControlTemplate{239, K::Text, "Unknown Mixer", 301, 9, 95, 21, kCentred, "Mixer"},
    ControlTemplate{kNone, K::GroupBox, "Mixer", 296, 0, 102, 95, 0, ""},
    ControlTemplate{kNone, K::Text, "MIC", 301, 34, 15, 10, 0, "Mixer"},
    ControlTemplate{kNone, K::Text, "SPK", 381, 33, 15, 10, 0, "Mixer"},
    ControlTemplate{kNone, K::Bitmap, "", 333, 103, 65, 54, 0, "", 216},
    ControlTemplate{kNone, K::GroupBox, "Analysis Results", 126, 0, 79, 95, 0, ""},
    ControlTemplate{kNone, K::GroupBox, "Time Domain Cuts", 209, 40, 86, 55, 0, ""},
    ControlTemplate{kNone, K::Text, "Upper", 213, 50, 19, 8, 0, "Time Domain Cuts"},
    ControlTemplate{kNone, K::GroupBox, "Monitor", 331, 169, 184, 27, 0, ""},
    ControlTemplate{257, K::Text, "Latency 0.0 mSecs", 407, 185, 102, 8, kRightAligned, "Monitor"},
    ControlTemplate{258, K::PushButton, "Reset", 36, 143, 42, 9, 0, "Averaging"},
    ControlTemplate{259, K::PushButton, "Capture Current", 405, 9, 44, 21, kMultiline, "Storage"},
    ControlTemplate{260, K::CheckBox, "Show", 452, 20, 41, 10, 0, "Storage"},
    ControlTemplate{261, K::Edit, "", 404, 52, 106, 12, 0, "Storage"},
    ControlTemplate{262, K::PushButton, "Save as ", 405, 35, 43, 14, 0, "Storage"},
    ControlTemplate{263, K::PushButton, "Read From", 466, 34, 43, 14, 0, "Storage"},
    ControlTemplate{kNone, K::GroupBox, "Storage", 403, 1, 112, 66, 0, ""},
    ControlTemplate{kNone, K::Text, "File:", 450, 38, 13, 11, 0, "Storage"},
    ControlTemplate{kNone, K::Text, "Steps", 130, 80, 21, 10, 0, "Analysis Results"},
    ControlTemplate{268, K::CheckBox, "Subtract", 452, 8, 46, 11, 0, "Storage"},
    ControlTemplate{247, K::VerticalScrollBar, "", 318, 44, 15, 44, 0, "Mixer"},
    ControlTemplate{kNone, K::Text, "LINE", 318, 34, 16, 10, 0, "Mixer"},
    ControlTemplate{270, K::RadioButton, "MIC", 342, 49, 37, 13, kStartsGroup, "Mixer"},
    ControlTemplate{271, K::RadioButton, "LINE", 342, 68, 37, 13, 0, "Mixer"},
    ControlTemplate{272, K::VerticalScrollBar, "", 502, 73, 8, 42, 0, "Plot Scaling"},
    ControlTemplate{273, K::Edit, "", 472, 100, 30, 12, 0, "Plot Scaling"},
    ControlTemplate{274, K::HorizontalScrollBar, "", 151, 63, 53, 10, 0, "Analysis Results"},
    ControlTemplate{kNone, K::Text, "Start", 130, 65, 18, 8, 0, "Analysis Results"},
    ControlTemplate{267, K::Text, "Trigger at 0", 406, 175, 102, 8, kRightAligned, "Monitor"},
    ControlTemplate{kNone, K::Text, "Shift plot by dB", 473, 75, 24, 25, 0, "Plot Scaling"},
    ControlTemplate{280, K::CheckBox, "1/3 Octave Smoothing", 3, 152, 117, 10, 0, ""},
    ControlTemplate{281, K::Edit, "", 445, 151, 70, 12, 0, "Plot Scaling"},
    ControlTemplate{282, K::Edit, "", 445, 140, 70, 12, 0, "Plot Scaling"},
    ControlTemplate{kNone, K::Text, "Hz(low)", 406, 152, 33, 10, 0, "Plot Scaling"},
    ControlTemplate{kNone, K::Text, "Hz(high)", 406, 140, 33, 10, 0, "Plot Scaling"},
};

// The font is small and proportional; the skin picks a sans font that keeps
// every caption readable in its box.
constexpr DialogTemplate kPanel{101, "Ressona - acoustic response measurement", "Sans", 7,
                                100, 100, 516, 196, kPanelControls};

}  // namespace

const DialogTemplate& panelTemplate() { return kPanel; }

}  // namespace ressona
