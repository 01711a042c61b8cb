#pragma once

// Libraries loaded when first needed, so that what they link costs nothing at start-up:
// Pavo's own modules, and system libraries only some runs use.

#include <dlfcn.h>

#include <string>

namespace pavo {

// The module `fileName` opened: beside the program (the build), where the package puts
// it relative to the program, then at `buildPath` (the tests, which run from a folder of
// their own). Null when none opens, with the last reason in `error`. It stays loaded for
// the life of the process.
void* openPavoModule(const char* fileName, const char* buildPath, std::string& error);

// The function `name` of a library opened with dlopen, as a `Function` (a function type);
// null when the library lacks it.
template <typename Function>
Function* librarySymbol(void* library, const char* name) {
    return reinterpret_cast<Function*>(dlsym(library, name));  // NOLINT(*-reinterpret-cast)
}

}  // namespace pavo
