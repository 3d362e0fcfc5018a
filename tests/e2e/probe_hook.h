// What the inspector and its hook in the launcher's process share.
#pragma once

#include <windows.h>

namespace kvat_e2e {

inline constexpr wchar_t kQueryMessage[] = L"KVAT_E2E_ProbeQuery";
inline constexpr wchar_t kSharedMapping[] = L"Local\\KVAT_E2E_Probe";
inline constexpr wchar_t kProbeDll[] = L"kvat_e2e_probe.dll";
inline constexpr char kProbeProc[] = "KvatE2eProbe";

struct Shared {
    // The answer to the last query about a control.
    LONG sequence;  // the query answered
    LONG has_font;
    LOGFONTW font;
    LONG has_picture;
    LONG picture_width;
    LONG picture_height;
    // Minimisations of the watched window, counted as they happen, so that none is missed
    // however briefly the window stays minimised.
    LONG_PTR watched;
    LONG minimised;
};

}  // namespace kvat_e2e
