#pragma once

// Colour management: a picture's pixels taken from the colours its file says they are in
// (an ICC profile, H.273 code points, PNG's gamma) to those of the monitor, by Little CMS.
// Pictures are converted once, where they are decoded, so every picture on screen, and
// every one prepared for the screen, is converted already.

#include "platform/format_module.h"

#include <QString>
#include <opencv2/core/mat.hpp>

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace pavo {

// The monitor's profile; never changed once made, so jobs share it.
struct DisplayProfile {
    std::vector<unsigned char> icc;
    QString name;
    std::uint64_t id = 0;  // from the bytes; never 0 or 1 (see ColourTarget::id)
};

// The profile a monitor's ICC bytes make: nothing for none, for bytes Little CMS cannot
// read or that are not an RGB display's, and for a profile that is sRGB in all but name
// (then the monitor counts as sRGB, and sRGB pictures cost nothing).
std::shared_ptr<const DisplayProfile> makeDisplayProfile(std::span<const unsigned char> icc);

// One conversion from a source to a display, made once and used by any thread.
class ColourTransform;
class ColourTransforms;

// What the pictures are converted for: a value, copied into every decode job.
struct ColourTarget {
    bool enabled = true;                            // the colourManagement setting
    std::shared_ptr<const DisplayProfile> display;  // nothing: an sRGB monitor
    std::shared_ptr<ColourTransforms> transforms;   // nothing: conversions made each time
    // What a record's pixels were converted for: 0 unconverted, 1 sRGB, else the display's.
    [[nodiscard]] std::uint64_t id() const;
};

// How the pixels to convert are laid out.
enum class ColourPixels {
    Bgr,           // 8-bit BGR
    GreyInBgr,     // 8-bit BGR with B = G = R, from a grey picture
    Cmyk,          // 8-bit CMYK, 0 for no ink
    InvertedCmyk,  // 8-bit CMYK as Adobe writes it in JPEG, 255 for no ink
};

// The conversion one picture needs.
struct PreparedColour {
    std::shared_ptr<const ColourTransform> transform;  // nothing: the pixels stay as they are
    QString profileName;  // for the information overlay; empty while management is off
};

// The conversion for pixels of `source`'s colours shown for `target`. Cached by `target`'s
// transforms, verdicts included: a broken profile is read once, not once per decode.
PreparedColour prepareColour(const PictureColour& source, ColourPixels pixels,
                             const ColourTarget& target);

// Pictures of this many pixels or more are converted on several threads (a JPEG's while it
// decodes): the first picture shown and a jump's, which the user waits for.
inline constexpr std::int64_t kLargePicturePixels = std::int64_t{2048} * 2048;

// 8-bit BGR (or grey in BGR) converted in place as `prepared` says.
void applyColour(const PreparedColour& prepared, cv::Mat& bgr);
// The same for rows [first, end) only, on the calling thread.
void applyColourToRows(const PreparedColour& prepared, cv::Mat& bgr, int first, int end);

// CMYK pixels (CV_8UC4) to 8-bit BGR through `prepared` when it has a conversion, else
// by the plain formula decoders without a profile use.
cv::Mat cmykToBgr(const cv::Mat& cmyk, const PreparedColour& prepared);

// The transforms made, kept for the pairs of source and display met lately.
class ColourTransforms {
  public:
    // `defaultCmyk`: the profile of CMYK pictures that carry none; empty for the formula.
    explicit ColourTransforms(std::vector<unsigned char> defaultCmyk = {});
    ColourTransforms(const ColourTransforms&) = delete;
    ColourTransforms& operator=(const ColourTransforms&) = delete;
    ColourTransforms(ColourTransforms&&) = delete;
    ColourTransforms& operator=(ColourTransforms&&) = delete;
    ~ColourTransforms();

    PreparedColour prepare(const PictureColour& source, ColourPixels pixels,
                           const DisplayProfile* display);
    [[nodiscard]] std::size_t size() const;  // conversions kept

  private:
    struct Store;
    std::unique_ptr<Store> store_;
};

// Where Debian keeps a CMYK profile for pictures without one (Ghostscript's).
inline constexpr const char* kDefaultCmykProfilePath =
    "/usr/share/color/icc/ghostscript/default_cmyk.icc";

}  // namespace pavo
