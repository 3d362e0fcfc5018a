// The accessible description of a control: the text that assistive technology, a screen reader
// say, gives after the control's name. It is set by the system's direct annotation
// (IAccPropServices in oleacc), the way Windows provides for adding a property to a standard
// control without serving its accessibility oneself. oleacc and COM are loaded only once an
// accessibility client first asks the window for its accessible object, so they cost the start
// nothing when none is running.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <string>

struct IAccPropServices;

namespace kvat::win32 {

class AccessibleDescriptions {
  public:
    AccessibleDescriptions() = default;
    AccessibleDescriptions(const AccessibleDescriptions&) = delete;
    AccessibleDescriptions& operator=(const AccessibleDescriptions&) = delete;
    ~AccessibleDescriptions();

    // `control`'s description from now on; empty text gives it none.
    void Set(HWND control, const std::wstring& text);
    // An accessibility client asked for the window: the descriptions are set from now on.
    void ClientAsked();
    // Takes every description away, as the system asks before the controls are destroyed.
    void Clear();

  private:
    struct Release {
        void operator()(IAccPropServices* services) const;
    };
    void Annotate(HWND control, const std::wstring& text);

    std::unique_ptr<IAccPropServices, Release> services_;
    std::map<HWND, std::wstring> descriptions_;
};

}  // namespace kvat::win32
