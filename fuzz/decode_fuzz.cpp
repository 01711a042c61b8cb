// libFuzzer target: arbitrary bytes through decode and normalisation, as the shown
// image and as a merge partner, and through an animation's frames, converted for a wide-gamut
// monitor so that every embedded profile is read and applied; bytes that look like an ICC
// profile also go through the conversions themselves. Any crash, leak or sanitizer report
// is a finding.
#include "image/colour.h"
#include "image/image.h"
#include "platform/pixel_memory.h"

#include <lcms2.h>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <vector>

// Within libFuzzer's 4 GiB: on a machine with more available, headers that declare
// pictures the viewer would decode there would only end the run out of memory.
constexpr std::uint64_t kBudget = std::uint64_t{1} << 30;

namespace {

// A Display P3 monitor: no conversion is an identity, so every profile is applied.
pavo::ColourTarget wideGamutTarget() {
    const cmsCIExyY white{0.3127, 0.3290, 1};
    const cmsCIExyYTRIPLE p3{{0.680, 0.320, 1}, {0.265, 0.690, 1}, {0.150, 0.060, 1}};
    cmsToneCurve* curve = cmsBuildGamma(nullptr, 2.2);
    cmsToneCurve* curves[3] = {curve, curve, curve};  // NOLINT(*-avoid-c-arrays)
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &p3, curves);
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    std::vector<unsigned char> icc(size);
    cmsSaveProfileToMem(profile, icc.data(), &size);
    cmsCloseProfile(profile);
    cmsFreeToneCurve(curve);
    pavo::ColourTarget target;
    target.display = pavo::makeDisplayProfile(icc);
    return target;
}

// The bytes as a picture's profile, for every kind of pixels, and as a monitor's.
void convertThrough(const pavo::FileBytes& bytes, const pavo::ColourTarget& target) {
    pavo::PictureColour colour;
    colour.kind = pavo::PictureColour::Kind::Icc;
    colour.icc.assign(bytes.begin(), bytes.end());
    cv::Mat gradient(17, 17, CV_8UC4);
    for (int y = 0; y < gradient.rows; ++y)
        for (int x = 0; x < gradient.cols; ++x)
            gradient.at<cv::Vec4b>(y, x) = cv::Vec4b(x * 15, y * 15, (x + y) * 7, 255 - x * 15);
    for (const auto pixels : {pavo::ColourPixels::Bgr, pavo::ColourPixels::GreyInBgr,
                              pavo::ColourPixels::Cmyk, pavo::ColourPixels::InvertedCmyk}) {
        const pavo::PreparedColour prepared = pavo::prepareColour(colour, pixels, target);
        if (pixels == pavo::ColourPixels::Bgr || pixels == pavo::ColourPixels::GreyInBgr) {
            cv::Mat bgr;
            cv::cvtColor(gradient, bgr, cv::COLOR_BGRA2BGR);
            pavo::applyColour(prepared, bgr);
        } else {
            static_cast<void>(pavo::cmykToBgr(gradient, prepared));
        }
    }
    static_cast<void>(pavo::makeDisplayProfile(colour.icc));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool installed = [] {
        pavo::installPixelMemory();
        return true;
    }();
    (void)installed;
    static const pavo::ColourTarget target = wideGamutTarget();
    const pavo::FileBytes bytes(data, data + size);
    if (size > 40 && std::equal(data + 36, data + 40, "acsp")) convertThrough(bytes, target);
    for (const auto role : {pavo::DecodeRole::Shown, pavo::DecodeRole::Partner}) {
        try {
            // The viewer's own decode: Pavo's JPEG path, OpenCV's, and the EXIF turn.
            if (const auto loaded = pavo::decodeToBgr8(bytes, role, nullptr, kBudget, target)) {
                if (loaded->image.type() != CV_8UC3 || !loaded->image.isContinuous() ||
                    loaded->channels < 1 || loaded->channels > 4) {
                    std::terminate();  // a decode that claims success must give 8-bit BGR
                }
            }
        } catch (const std::exception&) {
            // A failed decode, as the viewer treats it.
        }
    }
    // Frames of an animation, twice round (the second after the reader went back to the
    // start), as the viewer plays them.
    if (auto source = pavo::openFrameSource(bytes, kBudget, target)) {
        const int frames = std::min(source->frames->frameCount(), 32) * 2;
        for (int i = 0; i < frames; ++i) {
            const auto frame = pavo::readFrame(*source);
            if (!frame) break;
            if (frame->image.type() != CV_8UC3 || frame->delayMs < 20) std::terminate();
        }
    }
    return 0;
}
