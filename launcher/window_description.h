// The launcher window as data: the window's own properties and every control with its stored
// properties, in tab-index order. The Win32 side creates the real window from this.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

namespace kvat {

// Declaration order is tab-index order; the value doubles as the Win32 control identifier
// offset (see ControlIdToCommand in the toolkit).
enum class ControlId {
    Label1,
    Label2,
    Label3,
    cmdCALIX,
    cmdLOG,
    msgLAUNCHING,
    Frame1,
    txtUSBDriverVersion,
    txtServerVersion,
    txtThisVersion,
    cmdDownloadSoftware,
    cmdUpdateUSBdriver,
    txtThisDriverVersion,
    cmdEXIT,
    cmdWEBSITE,
};
inline constexpr std::size_t kControlCount = 15;

enum class ControlKind { Label, CentredLabel, PictureButton, Button, Frame };

enum class Picture { None, Calix, Log };

// Positions and sizes in twips (1/1440 inch), relative to the container's top-left corner.
struct TwipsRect {
    int left, top, width, height;
};

struct FontStyle {
    int centipoints;  // 14.25 pt is 1425
    bool bold;
};

struct ControlDescription {
    ControlId id;
    std::string_view name;
    ControlKind kind;
    std::optional<ControlId> container;  // empty: lies directly on the window
    std::string_view caption;
    TwipsRect rect;
    std::optional<FontStyle> font;
    bool visible_at_start;
    Picture picture;
};

struct FormDescription {
    std::string_view name;
    int client_width_twips;
    int client_height_twips;
    unsigned timer_interval_ms;
    std::array<ControlDescription, kControlCount> controls;
};

const FormDescription& Form1Description();
const ControlDescription& Describe(ControlId id);

inline constexpr int kTwipsPerInch = 1440;

// Twips to device pixels at the given dots per inch, rounded to nearest.
constexpr int TwipsToPixels(int twips, int dpi) {
    const long long scaled = static_cast<long long>(twips) * dpi;
    return static_cast<int>(scaled >= 0 ? (scaled + kTwipsPerInch / 2) / kTwipsPerInch
                                        : -((-scaled + kTwipsPerInch / 2) / kTwipsPerInch));
}

struct PixelRect {
    int left, top, width, height;
    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

// A control's rectangle in the window's client coordinates: controls inside the frame are
// offset by the frame's own position.
PixelRect ClientPixelRect(ControlId id, int dpi);

}  // namespace kvat
