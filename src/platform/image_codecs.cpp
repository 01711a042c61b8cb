#include "platform/image_codecs.h"

#include "platform/pavo_module.h"

#include <dlfcn.h>

#include <stdexcept>
#include <string>

namespace pavo {
namespace {

// cv::imdecode(InputArray, int), as the codecs' library exports it.
using Imdecode = cv::Mat(const cv::_InputArray&, int);
constexpr const char* kImdecodeSymbol = "_ZN2cv8imdecodeERKNS_11_InputArrayEi";
constexpr int kUnchanged = -1;  // cv::IMREAD_UNCHANGED

struct LoadedCodecs {
    Imdecode* imdecode = nullptr;
    std::string error;  // why they could not be loaded
};

LoadedCodecs loadCodecs() {
    // By its runtime name first, as the dynamic linker would find it; then where the
    // build found it. The library stays loaded for the life of the process.
    void* library = dlopen(PAVO_IMAGE_CODECS_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) library = dlopen(PAVO_IMAGE_CODECS_PATH, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) return {nullptr, dlerror()};
    Imdecode* imdecode = librarySymbol<Imdecode>(library, kImdecodeSymbol);
    if (imdecode == nullptr) return {nullptr, dlerror()};
    return {imdecode, {}};
}

// Loaded once, on whichever thread first asks; later callers wait for that loading.
const LoadedCodecs& codecs() {
    static const LoadedCodecs loaded = loadCodecs();
    return loaded;
}

}  // namespace

cv::Mat decodeWithImageCodecs(const cv::Mat& encoded) {
    const LoadedCodecs& loaded = codecs();
    if (loaded.imdecode == nullptr)
        throw std::runtime_error("OpenCV's image codecs are not available: " + loaded.error);
    return loaded.imdecode(cv::_InputArray(encoded), kUnchanged);
}

}  // namespace pavo
