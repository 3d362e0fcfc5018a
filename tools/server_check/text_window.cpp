#include "tools/server_check/text_window.h"

#include "tools/server_check/start_up_only.h"

namespace kvat::server_check {

TextWindow::TextWindow() {
    for (const ControlDescription& control : Form1Description().controls) {
        captions_[control.id] = std::string(control.caption);
        visible_[control.id] = control.visible_at_start;
    }
}

void TextWindow::SetCaption(ControlId control, std::string_view caption) {
    captions_[control] = caption;
}

std::string TextWindow::Caption(ControlId control) const {
    return captions_.at(control);
}

void TextWindow::SetVisible(ControlId control, bool visible) {
    visible_[control] = visible;
}

void TextWindow::SetTimerEnabled(bool) {
    NotInStartUpPass("the launch timer");
}

void TextWindow::SetWindowState(WindowState) {
    NotInStartUpPass("a window state change");
}

void TextWindow::ShowMessage(std::string_view, std::string_view, MessageStyle) {
    NotInStartUpPass("a message box");
}

void TextWindow::Close() {
    NotInStartUpPass("closing the window");
}

}  // namespace kvat::server_check
