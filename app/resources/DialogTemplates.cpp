#include "app/resources/DialogTemplates.h"

#include <array>

namespace orbelt {

namespace {

using K = ControlKind;

// Main dialog. Labels start a control group each, so the radio group is
// exactly the two colour buttons; edits and push buttons are tab stops.
constexpr std::array kMainDialogControls{
    ControlTemplate{1013, K::RadioButton, "logChrom", {24, 49, 47, 10}, true},
    ControlTemplate{1014, K::RadioButton, "original RGB", {75, 49, 56, 10}},
    ControlTemplate{kStaticControlId, K::Label, "HalfWinSize :", {24, 86, 46, 11}, true},
    ControlTemplate{1001, K::Edit, "", {71, 82, 25, 14}, false, true},
    ControlTemplate{kStaticControlId, K::Label, "SigmaS :", {24, 102, 31, 8}, true},
    ControlTemplate{1002, K::Edit, "", {60, 99, 24, 14}, false, true},
    ControlTemplate{kStaticControlId, K::Label, "SigmaP :", {24, 118, 31, 8}, true},
    ControlTemplate{1003, K::Edit, "", {60, 116, 24, 14}, false, true},
    ControlTemplate{kStaticControlId, K::Label, "Base disparity :", {24, 150, 52, 8}, true},
    ControlTemplate{1004, K::Edit, "", {85, 148, 25, 14}, false, true},
    ControlTemplate{kStaticControlId, K::Label, "Disparity Range : ", {24, 169, 59, 8}, true},
    ControlTemplate{1005, K::Edit, "", {85, 166, 26, 14}, false, true},
    ControlTemplate{kStaticControlId, K::Label, "Display Level :", {24, 186, 49, 8}, true},
    ControlTemplate{1006, K::Edit, "", {84, 185, 28, 14}, false, true},
    ControlTemplate{kStaticControlId, K::Label, "Smoothness Exponent :", {22, 233, 79, 8}, true},
    ControlTemplate{1007, K::Edit, "", {103, 229, 21, 14}, false, true},
    ControlTemplate{kStaticControlId, K::Label, "Smoothness Max :", {23, 251, 63, 8}, true},
    ControlTemplate{1008, K::Edit, "", {91, 248, 22, 14}, false, true},
    ControlTemplate{kStaticControlId, K::Label, "Lambda :", {24, 270, 32, 8}, true},
    ControlTemplate{1009, K::Edit, "", {64, 267, 22, 14}, false, true},
    ControlTemplate{1010, K::PushButton, "Compute Disparity Map", {19, 294, 117, 25}, false, true},
    ControlTemplate{1012, K::PushButton, "Load Input Images", {20, 10, 122, 23}, false, true},
    ControlTemplate{kStaticControlId, K::GroupBox, "Disparity Param ", {18, 137, 122, 70}},
    ControlTemplate{kStaticControlId, K::GroupBox, "Graphcut smoothness Param ", {17, 215, 124, 70}},
    ControlTemplate{kStaticControlId, K::GroupBox, "ANCC Param", {19, 73, 122, 59}},
    ControlTemplate{kStaticControlId, K::GroupBox, "Select Color", {20, 37, 122, 32}},
};

constexpr std::array kAboutBoxControls{
    ControlTemplate{kStaticControlId, K::Icon, "", {11, 17, 20, 20}},
    ControlTemplate{kStaticControlId, K::Label, "Orbelt 버전 1.0", {40, 10, 119, 8}, false, false, false, true},
    ControlTemplate{kCommandOk, K::PushButton, "확인", {178, 7, 50, 14}, true, true, true},
};

constexpr DialogTemplate kMainDialog{kMainDialogTemplateId, "Orbelt", 159, 336, "굴림", 9, kMainDialogControls};
constexpr DialogTemplate kAboutBox{kAboutBoxTemplateId, "Orbelt 정보", 235, 55, "굴림", 9, kAboutBoxControls};

}  // namespace

const DialogTemplate* findDialogTemplate(int id) {
  switch (id) {
    case kMainDialogTemplateId: return &kMainDialog;
    case kAboutBoxTemplateId: return &kAboutBox;
    default: return nullptr;
  }
}

std::string_view loadStringResource(int id) {
  switch (id) {
    case kAboutMenuStringId: return "Orbelt 정보(&A)...";
    default: return {};
  }
}

}  // namespace orbelt
