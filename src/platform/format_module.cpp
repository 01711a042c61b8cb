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
    FramesOpenEntry* openFrames = nullptr;
    FramesNextEntry* nextFrame = nullptr;
    FramesCloseEntry* closeFrames = nullptr;
    std::string error;  // why it could not be loaded
};

template <typename Entry>
Entry* entryPoint(void* module, const char* name) {
    return reinterpret_cast<Entry*>(dlsym(module, name));  // NOLINT(*-reinterpret-cast)
}

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
        LoadedModule loaded{entryPoint<FormatModuleEntry>(module, kFormatModuleEntry),
                            entryPoint<FramesOpenEntry>(module, kFramesOpenEntry),
                            entryPoint<FramesNextEntry>(module, kFramesNextEntry),
                            entryPoint<FramesCloseEntry>(module, kFramesCloseEntry),
                            {}};
        if (loaded.decode == nullptr || loaded.openFrames == nullptr ||
            loaded.nextFrame == nullptr || loaded.closeFrames == nullptr)
            return {.error = path + " lacks an entry point"};
        return loaded;
    }
    return {.error = error};
}

// Loaded once, on whichever thread first asks; later callers wait for that loading.
const LoadedModule& formatModule() {
    static const LoadedModule loaded = loadModule();
    if (loaded.decode == nullptr)
        throw std::runtime_error("Pavo's format module is not available: " + loaded.error);
    return loaded;
}

}  // namespace

std::optional<ModulePicture> decodeWithFormatModule(const FileBytes& bytes, std::uint64_t budget,
                                                    FitsBudget fits,
                                                    const std::atomic<bool>* stop) {
    ModulePicture picture;
    const auto answer = static_cast<ModuleDecode>(
        formatModule().decode(bytes.data(), bytes.size(), budget, fits, stop, &picture));
    if (answer == ModuleDecode::NotItsFormat) return std::nullopt;
    if (answer == ModuleDecode::Failed) picture.pixels.release();
    return picture;
}

std::unique_ptr<ModuleFrames> ModuleFrames::open(FileBytes bytes, std::uint64_t budget,
                                                 FitsBudget fits) {
    const LoadedModule& module = formatModule();
    std::unique_ptr<ModuleFrames> frames(new ModuleFrames(std::move(bytes)));
    frames->reader_ = module.openFrames(frames->bytes_.data(), frames->bytes_.size(), budget, fits,
                                        &frames->frameCount_, &frames->plays_, &frames->colour_);
    if (frames->reader_ == nullptr) return nullptr;
    return frames;
}

ModuleFrames::~ModuleFrames() {
    if (reader_ != nullptr) formatModule().closeFrames(reader_);
}

bool ModuleFrames::next(cv::Mat& frame, std::int32_t& delayMs) {
    return formatModule().nextFrame(reader_, &frame, &delayMs) != 0;
}

}  // namespace pavo
