#include "launcher/win32/accessible_descriptions.h"

// The property and class identifiers of oleacc.h, defined here rather than linked from oleacc.
#include <initguid.h>
#include <objbase.h>
#include <oleacc.h>

#include "platform/win32/com_apartment.h"
#include "platform/win32/system_library.h"

namespace kvat::win32 {

void AccessibleDescriptions::Release::operator()(IAccPropServices* services) const {
    services->Release();
}

AccessibleDescriptions::~AccessibleDescriptions() {
    Clear();
}

void AccessibleDescriptions::Set(HWND control, const std::wstring& text) {
    std::wstring& description = descriptions_[control];
    if (description == text) {
        return;
    }
    const bool had_one = !description.empty();
    description = text;
    if (client_asked_ && (had_one || !text.empty())) {
        Annotate(control, text);
    }
}

void AccessibleDescriptions::ClientAsked() {
    if (client_asked_ && services_) {
        return;
    }
    client_asked_ = true;
    for (const auto& [control, text] : descriptions_) {
        if (!text.empty()) {
            Annotate(control, text);
        }
    }
}

void AccessibleDescriptions::Clear() {
    if (services_) {
        for (const auto& [control, text] : descriptions_) {
            if (!text.empty()) {
                Annotate(control, {});
            }
        }
    }
    descriptions_.clear();
}

IAccPropServices* AccessibleDescriptions::Services() {
    if (!services_) {
        // Made in the window thread's apartment, by the system's oleacc (COM finds it registered).
        decltype(&::CoCreateInstance) create_instance = nullptr;
        IAccPropServices* services = nullptr;
        if (ResolveExport(JoinComApartment(), "CoCreateInstance", create_instance) &&
            SUCCEEDED(create_instance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IAccPropServices, reinterpret_cast<void**>(&services)))) {
            services_.reset(services);
        }
    }
    return services_.get();
}

void AccessibleDescriptions::Annotate(HWND control, const std::wstring& text) {
    IAccPropServices* services = Services();
    if (!services) {
        return;
    }
    // The description of the control itself: its client object, not a child element. A system
    // that cannot annotate (Wine's oleacc answers E_NOTIMPL) leaves the control without one.
    if (text.empty()) {
        MSAAPROPID property = PROPID_ACC_DESCRIPTION;
        services->ClearHwndProps(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, &property,
                                 1);
    } else {
        services->SetHwndPropStr(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                                 PROPID_ACC_DESCRIPTION, text.c_str());
    }
}

}  // namespace kvat::win32
