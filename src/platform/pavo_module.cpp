#include "platform/pavo_module.h"

#include <dlfcn.h>
#include <unistd.h>

#include <array>

namespace pavo {
namespace {

std::string executableFolder() {
    std::array<char, 4096> path{};
    const ssize_t length = readlink("/proc/self/exe", path.data(), path.size() - 1);
    if (length <= 0) return {};
    const std::string executable(path.data(), static_cast<std::size_t>(length));
    return executable.substr(0, executable.rfind('/') + 1);
}

}  // namespace

void* openPavoModule(const char* fileName, const char* buildPath, std::string& error) {
    const std::string folder = executableFolder();
    for (const std::string& path :
         {folder + fileName, folder + "../lib/pavo/" + fileName, std::string(buildPath)}) {
        void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (module != nullptr) return module;
        error = dlerror();
    }
    return nullptr;
}

}  // namespace pavo
