#pragma once

// Pavo's own modules: libraries of its build loaded when first needed, so that what they
// link costs nothing at start-up.

#include <string>

namespace pavo {

// The module `fileName` opened: beside the program (the build), where the package puts
// it relative to the program, then at `buildPath` (the tests, which run from a folder of
// their own). Null when none opens, with the last reason in `error`. It stays loaded for
// the life of the process.
void* openPavoModule(const char* fileName, const char* buildPath, std::string& error);

}  // namespace pavo
