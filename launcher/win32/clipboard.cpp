#include "launcher/win32/clipboard.h"

#include <cstring>
#include <memory>

namespace kvat::win32 {
namespace {

struct GlobalFreer {
    void operator()(HGLOBAL memory) const { GlobalFree(memory); }
};
using GlobalMemory = std::unique_ptr<void, GlobalFreer>;

// Another program (a clipboard viewer, say) may hold the clipboard open for a moment.
constexpr int kOpenAttempts = 10;
constexpr DWORD kOpenRetryMilliseconds = 10;

// The clipboard, open for as long as this lives.
class OpenedClipboard {
  public:
    explicit OpenedClipboard(HWND owner) {
        for (int attempt = 0; attempt < kOpenAttempts && !open_; ++attempt) {
            if (attempt > 0) {
                Sleep(kOpenRetryMilliseconds);
            }
            open_ = OpenClipboard(owner) != FALSE;
        }
    }
    OpenedClipboard(const OpenedClipboard&) = delete;
    OpenedClipboard& operator=(const OpenedClipboard&) = delete;
    ~OpenedClipboard() {
        if (open_) {
            CloseClipboard();
        }
    }
    explicit operator bool() const { return open_; }

  private:
    bool open_ = false;
};

}  // namespace

bool CopyToClipboard(HWND owner, std::wstring_view text) {
    const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    GlobalMemory memory(GlobalAlloc(GMEM_MOVEABLE, bytes));
    if (!memory) {
        return false;
    }
    auto* copy = static_cast<wchar_t*>(GlobalLock(memory.get()));
    if (!copy) {
        return false;
    }
    std::memcpy(copy, text.data(), text.size() * sizeof(wchar_t));
    copy[text.size()] = L'\0';
    GlobalUnlock(memory.get());

    const OpenedClipboard clipboard(owner);
    if (!clipboard || !EmptyClipboard() || !SetClipboardData(CF_UNICODETEXT, memory.get())) {
        return false;
    }
    memory.release();  // the clipboard owns it now
    return true;
}

}  // namespace kvat::win32
