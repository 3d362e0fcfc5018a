// Loaded into the launcher's process by the inspector's window hook, to see what only the owning
// process can: a control's font and picture (under Wine, WM_GETFONT answers 0 to another process
// and GDI handles mean nothing outside their own process), and every minimisation of the window.
#include "probe_hook.h"

namespace {

// The inspector's query: wParam is the control, lParam the query's sequence number.
UINT QueryMessage() {
    static const UINT message = RegisterWindowMessageW(kvat_e2e::kQueryMessage);
    return message;
}

// The inspector's shared block, opened for the one call.
class SharedView {
  public:
    SharedView() : mapping_(OpenFileMappingW(FILE_MAP_WRITE, FALSE, kvat_e2e::kSharedMapping)) {
        if (mapping_) {
            shared_ = static_cast<kvat_e2e::Shared*>(
                MapViewOfFile(mapping_, FILE_MAP_WRITE, 0, 0, sizeof(kvat_e2e::Shared)));
        }
    }
    SharedView(const SharedView&) = delete;
    SharedView& operator=(const SharedView&) = delete;
    ~SharedView() {
        if (shared_) {
            UnmapViewOfFile(shared_);
        }
        if (mapping_) {
            CloseHandle(mapping_);
        }
    }
    kvat_e2e::Shared* get() const { return shared_; }

  private:
    HANDLE mapping_;
    kvat_e2e::Shared* shared_ = nullptr;
};

void Answer(HWND control, LPARAM sequence) {
    const SharedView view;
    kvat_e2e::Shared* shared = view.get();
    if (!shared) {
        return;
    }
    shared->has_font = 0;
    shared->has_picture = 0;
    const auto font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
    shared->has_font =
        font && GetObjectW(font, sizeof shared->font, &shared->font) == sizeof shared->font;
    const auto picture =
        reinterpret_cast<HBITMAP>(SendMessageW(control, BM_GETIMAGE, IMAGE_BITMAP, 0));
    BITMAP bitmap{};
    if (picture && GetObjectW(picture, sizeof bitmap, &bitmap) == sizeof bitmap) {
        shared->has_picture = 1;
        shared->picture_width = bitmap.bmWidth;
        shared->picture_height = bitmap.bmHeight;
    }
    InterlockedExchange(&shared->sequence, static_cast<LONG>(sequence));
}

void CountMinimised(HWND hwnd) {
    const SharedView view;
    if (view.get() && view.get()->watched == reinterpret_cast<LONG_PTR>(hwnd)) {
        InterlockedIncrement(&view.get()->minimised);
    }
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK
    KvatE2eProbe(int code, WPARAM wparam, LPARAM lparam) {
    if (code == HC_ACTION) {
        const auto* call = reinterpret_cast<const CWPSTRUCT*>(lparam);
        if (call->message == QueryMessage()) {
            Answer(reinterpret_cast<HWND>(call->wParam), call->lParam);
        } else if (call->message == WM_SIZE && call->wParam == SIZE_MINIMIZED) {
            CountMinimised(call->hwnd);
        }
    }
    return CallNextHookEx(nullptr, code, wparam, lparam);
}
