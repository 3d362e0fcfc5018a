// The accessible description of a control: the text that assistive technology, a screen reader
// say, gives after the control's name. It is set by the system's direct annotation
// (IAccPropServices in oleacc), the way Windows provides for adding a property to a standard
// control without serving its accessibility oneself. Nothing is annotated, and neither oleacc nor
// COM is loaded, until an accessibility client first asks the window for its accessible object
// while there is a description to give: without one running they cost the launcher nothing.
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
    // An accessibility client asked for the window: the descriptions are given from now on.
    void ClientAsked();
    // Takes every description away, as the system asks before the controls are destroyed.
    void Clear();

  private:
    struct Release {
        void operator()(IAccPropServices* services) const;
    };
    // The system's annotation service, made at the first use; nullptr when it cannot be had
    // (the next use tries again).
    IAccPropServices* Services();
    void Annotate(HWND control, const std::wstring& text);

    bool client_asked_ = false;
    std::unique_ptr<IAccPropServices, Release> services_;
    std::map<HWND, std::wstring> descriptions_;
};

}  // namespace kvat::win32
