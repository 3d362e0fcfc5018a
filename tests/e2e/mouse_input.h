// The mouse moved as a person's hand moves it: real input, so the window under the pointer gets
// the move, and a tooltip over it shows as it would for a user.
#pragma once

#include <windows.h>

namespace kvat::test {

inline void MoveMouse(POINT to) {
    INPUT move{};
    move.type = INPUT_MOUSE;
    move.mi.dx = MulDiv(to.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
    move.mi.dy = MulDiv(to.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
    move.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &move, sizeof move);
}

}  // namespace kvat::test
