// Marks in one start of the launcher (the window made, its controls, its pictures and fonts, the
// show), for the benchmark's trace build, which defines KVAT_START_TRACE. In every other build
// a mark is nothing at all, so the shipped launcher pays nothing for them.
#pragma once

namespace kvat::win32 {

#ifdef KVAT_START_TRACE
// Notes the moment of `what`, a literal, on any thread.
void MarkStart(const char* what);
#else
inline void MarkStart(const char*) {}
#endif

}  // namespace kvat::win32
