#include "platform/format_module.h"

#include "platform/pavo_module.h"

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

LoadedModule loadModule() {
    std::string error;
    void* module = openPavoModule(PAVO_FORMATS_MODULE_NAME, PAVO_FORMATS_MODULE_BUILD_PATH, error);
    if (module == nullptr) return {.error = error};
    LoadedModule loaded{librarySymbol<FormatModuleEntry>(module, kFormatModuleEntry),
                        librarySymbol<FramesOpenEntry>(module, kFramesOpenEntry),
                        librarySymbol<FramesNextEntry>(module, kFramesNextEntry),
                        librarySymbol<FramesCloseEntry>(module, kFramesCloseEntry),
                        {}};
    if (loaded.decode == nullptr || loaded.openFrames == nullptr || loaded.nextFrame == nullptr ||
        loaded.closeFrames == nullptr)
        return {.error = std::string(PAVO_FORMATS_MODULE_NAME) + " lacks an entry point"};
    return loaded;
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
