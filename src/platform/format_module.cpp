#include "platform/format_module.h"

#include <dlfcn.h>
#include <unistd.h>

#include <array>
#include <stdexcept>
#include <string>

namespace pavo {
namespace {

struct LoadedModule {
    FormatModuleEntry* decode = nullptr;
    std::string error;  // why it could not be loaded
};

std::string executableFolder() {
    std::array<char, 4096> path{};
    const ssize_t length = readlink("/proc/self/exe", path.data(), path.size() - 1);
    if (length <= 0) return {};
    const std::string executable(path.data(), static_cast<std::size_t>(length));
    return executable.substr(0, executable.rfind('/') + 1);
}

LoadedModule loadModule() {
    // Beside the program (the build), where the package puts it relative to the program,
    // then where the build made it (the tests, which run from a folder of their own).
    const std::string folder = executableFolder();
    std::string error;
    for (const std::string& path :
         {folder + PAVO_FORMAT_MODULE_NAME, folder + "../lib/pavo/" PAVO_FORMAT_MODULE_NAME,
          std::string(PAVO_FORMAT_MODULE_BUILD_PATH)}) {
        void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (module == nullptr) {
            error = dlerror();
            continue;
        }
        void* entry = dlsym(module, kFormatModuleEntry);
        if (entry == nullptr) return {nullptr, dlerror()};
        return {reinterpret_cast<FormatModuleEntry*>(entry), {}};  // NOLINT(*-reinterpret-cast)
    }
    return {nullptr, error};
}

// Loaded once, on whichever thread first asks; later callers wait for that loading.
const LoadedModule& formatModule() {
    static const LoadedModule loaded = loadModule();
    return loaded;
}

}  // namespace

std::optional<cv::Mat> decodeWithFormatModule(const FileBytes& bytes, std::uint64_t budget,
                                              FitsBudget fits, const std::atomic<bool>* stop) {
    const LoadedModule& module = formatModule();
    if (module.decode == nullptr)
        throw std::runtime_error("Pavo's format module is not available: " + module.error);
    cv::Mat picture;
    const auto answer = static_cast<ModuleDecode>(
        module.decode(bytes.data(), bytes.size(), budget, fits, stop, &picture));
    if (answer == ModuleDecode::NotItsFormat) return std::nullopt;
    if (answer == ModuleDecode::Failed) return cv::Mat();
    return picture;
}

}  // namespace pavo
