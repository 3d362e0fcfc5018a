// This build's version (KVAT_THIS_VERSION, from project(VERSION)) and versions beside it, so
// that the tests follow a version edit without an edit of their own.
#pragma once

#include <string>

#include "kvat_this_version.h"

namespace kvat::testing {

// Another version of the same form: "19.6" for step 1 and "19.4" for step -1 beside 19.5. Never
// this build's own for a step that is not a multiple of 10.
inline std::string NeighbourVersion(int step) {
    return std::to_string(KVAT_VERSION_MAJOR) + "." +
           std::to_string((KVAT_VERSION_MINOR + 10 + step % 10) % 10);
}

}  // namespace kvat::testing
