// The launcher window as text: it keeps every caption and visibility the handlers set, starting
// from the window's stored description, and shows nothing.
#pragma once

#include <map>
#include <string>
#include <string_view>

#include "launcher/window.h"

namespace kvat::server_check {

class TextWindow final : public Window {
  public:
    TextWindow();

    void SetCaption(ControlId control, std::string_view caption) override;
    std::string Caption(ControlId control) const override;
    void SetVisible(ControlId control, bool visible) override;
    void Refresh() override {}
    // The start-up pass uses none of these; a call means the check is running something else.
    void SetTimerEnabled(bool enabled) override;
    void SetWindowState(WindowState state) override;
    void ShowMessage(std::string_view text, std::string_view title, MessageStyle style) override;
    void Close() override;

    bool Visible(ControlId control) const { return visible_.at(control); }

  private:
    std::map<ControlId, std::string> captions_;
    std::map<ControlId, bool> visible_;
};

}  // namespace kvat::server_check
