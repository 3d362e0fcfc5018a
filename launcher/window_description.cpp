#include "launcher/window_description.h"

#include "launcher/constants.h"

namespace kvat {
namespace {

using enum ControlId;
using K = ControlKind;

constexpr FontStyle kRegular975{975, false};
constexpr FontStyle kLarge{1425, false};

constexpr FormDescription kForm1{
    "Form1",
    13095,
    9255,
    kLaunchTimerIntervalMs,
    {{
        {Label1,
         "Label1",
         K::CentredLabel,
         {},
         "SELECT THE KVAT SOFTWARE TO LAUNCH",
         {0, 240, 12855, 495},
         kLarge,
         true,
         Picture::None},
        {Label2,
         "Label2",
         K::CentredLabel,
         {},
         "CALIX",
         {480, 720, 5775, 735},
         kRegular975,
         true,
         Picture::None},
        {Label3,
         "Label3",
         K::CentredLabel,
         {},
         "LOG",
         {6840, 720, 5775, 735},
         kRegular975,
         true,
         Picture::None},
        {cmdCALIX,
         "cmdCALIX",
         K::PictureButton,
         {},
         "",
         {480, 1560, 5775, 4335},
         {},
         true,
         Picture::Calix},
        {cmdLOG,
         "cmdLOG",
         K::PictureButton,
         {},
         "",
         {6840, 1560, 5775, 4335},
         {},
         true,
         Picture::Log},
        {msgLAUNCHING,
         "msgLAUNCHING",
         K::CentredLabel,
         {},
         "LAUNCHING PROGRAM...",
         {0, 1680, 13095, 1455},
         FontStyle{2400, true},
         false,
         Picture::None},
        {Frame1,
         "Frame1",
         K::Frame,
         {},
         "CHECKING SOFTWARE UPDATES:",
         {480, 6240, 10815, 2895},
         kRegular975,
         true,
         Picture::None},
        {txtUSBDriverVersion,
         "txtUSBDriverVersion",
         K::Label,
         Frame1,
         "txtUSBDriverVersion",
         {720, 1800, 5535, 495},
         kRegular975,
         true,
         Picture::None},
        {txtServerVersion,
         "txtServerVersion",
         K::Label,
         Frame1,
         "txtServerVersion",
         {720, 720, 5655, 495},
         kRegular975,
         true,
         Picture::None},
        {txtThisVersion,
         "txtThisVersion",
         K::Label,
         Frame1,
         "txtThisVersion",
         {720, 360, 4935, 375},
         kRegular975,
         true,
         Picture::None},
        {cmdDownloadSoftware,
         "cmdDownloadSoftware",
         K::Button,
         Frame1,
         "UPDATE SOFTWARE NOW",
         {6720, 480, 3735, 495},
         kRegular975,
         false,
         Picture::None},
        {cmdUpdateUSBdriver,
         "cmdUpdateUSBdriver",
         K::Button,
         Frame1,
         "UPDATE USB DRIVER NOW",
         {6720, 1560, 3735, 495},
         kRegular975,
         false,
         Picture::None},
        {txtThisDriverVersion,
         "txtThisDriverVersion",
         K::Label,
         Frame1,
         "txtThisDriverVersion",
         {720, 1440, 5535, 375},
         kRegular975,
         true,
         Picture::None},
        {cmdEXIT,
         "cmdEXIT",
         K::Button,
         {},
         "EXIT",
         {11520, 8160, 1455, 975},
         FontStyle{1425, true},
         true,
         Picture::None},
        {cmdWEBSITE,
         "cmdWEBSITE",
         K::Button,
         {},
         "Visit Our Website",
         {11520, 6360, 1455, 1095},
         FontStyle{1200, false},
         true,
         Picture::None},
    }},
};

// The table is indexed by ControlId; keep the two in step at compile time.
constexpr bool IndexedById() {
    for (std::size_t i = 0; i < kForm1.controls.size(); ++i) {
        if (static_cast<std::size_t>(kForm1.controls[i].id) != i) {
            return false;
        }
    }
    return true;
}
static_assert(IndexedById());

}  // namespace

const FormDescription& Form1Description() {
    return kForm1;
}

const ControlDescription& Describe(ControlId id) {
    return kForm1.controls[static_cast<std::size_t>(id)];
}

PixelRect ClientPixelRect(ControlId id, int dpi) {
    const ControlDescription& control = Describe(id);
    int left = control.rect.left;
    int top = control.rect.top;
    if (control.container) {
        const TwipsRect& frame = Describe(*control.container).rect;
        left += frame.left;
        top += frame.top;
    }
    return {TwipsToPixels(left, dpi), TwipsToPixels(top, dpi),
            TwipsToPixels(control.rect.width, dpi), TwipsToPixels(control.rect.height, dpi)};
}

}  // namespace kvat
