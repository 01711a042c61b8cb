#include "image/colour.h"

#include <lcms2.h>
#include <opencv2/core.hpp>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstring>
#include <list>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace pavo {
namespace {

constexpr std::size_t kMostProfileBytes = 8U << 20U;
constexpr std::size_t kProfileHeaderBytes = 128;

// One Little CMS context per transform: nothing of Little CMS is global, and an error it
// reports marks only the profile or transform being made.
struct LcmsContext {
    cmsContext context = nullptr;
    std::atomic<bool> failed = false;
    LcmsContext() {
        context = cmsCreateContext(nullptr, this);
        cmsSetLogErrorHandlerTHR(context, [](cmsContext id, cmsUInt32Number, const char*) {
            static_cast<LcmsContext*>(cmsGetContextUserData(id))->failed = true;
        });
    }
    LcmsContext(const LcmsContext&) = delete;
    LcmsContext& operator=(const LcmsContext&) = delete;
    LcmsContext(LcmsContext&&) = delete;
    LcmsContext& operator=(LcmsContext&&) = delete;
    ~LcmsContext() {
        if (context != nullptr) cmsDeleteContext(context);
    }
};

struct ProfileClose {
    void operator()(void* profile) const { cmsCloseProfile(profile); }
};
using Profile = std::unique_ptr<void, ProfileClose>;

struct CurveFree {
    void operator()(cmsToneCurve* curve) const { cmsFreeToneCurve(curve); }
};
using Curve = std::unique_ptr<cmsToneCurve, CurveFree>;

// sRGB's curve, as IEC 61966-2-1 gives it.
Curve srgbCurve(cmsContext context) {
    const std::array<cmsFloat64Number, 5> parameters{2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92,
                                                     0.04045};
    return Curve(cmsBuildParametricToneCurve(context, 4, parameters.data()));
}

Curve gammaCurve(cmsContext context, double gamma) {
    return Curve(cmsBuildGamma(context, gamma));
}

struct Chromaticities {
    cmsCIExyY white;
    cmsCIExyYTRIPLE primaries;
};

constexpr cmsCIExyY kD65{0.3127, 0.3290, 1};
constexpr Chromaticities kBt709{kD65, {{0.64, 0.33, 1}, {0.30, 0.60, 1}, {0.15, 0.06, 1}}};

Profile rgbProfile(cmsContext context, const Chromaticities& chromaticities,
                   const cmsToneCurve* curve) {
    std::array<cmsToneCurve*, 3> curves{};
    curves.fill(const_cast<cmsToneCurve*>(curve));
    return Profile(cmsCreateRGBProfileTHR(context, &chromaticities.white, &chromaticities.primaries,
                                          curves.data()));
}

// Libraries that run 256-bit vector code (Qt, OpenCV's dispatch, the C library) may leave
// the upper halves of the vector registers in use; until they are cleared, every SSE
// instruction on that thread waits on them. Little CMS and libm, built for SSE, then made a
// monitor's conversion in 13 ms instead of 1.6 at start.
void clearUpperVectorState() {
#if defined(__x86_64__)
    if (__builtin_cpu_supports("avx")) asm volatile("vzeroupper");
#endif
}

// ---- What a source is -------------------------------------------------------------------

// H.273's primaries that pictures use, with their names.
std::optional<std::pair<Chromaticities, QString>> codePointPrimaries(std::int32_t primaries) {
    constexpr cmsCIExyYTRIPLE p3{{0.680, 0.320, 1}, {0.265, 0.690, 1}, {0.150, 0.060, 1}};
    switch (primaries) {
        case 1:
        case 2:  // unspecified: taken as sRGB's
            return std::pair{kBt709, QStringLiteral("sRGB")};
        case 5:
            return std::pair{
                Chromaticities{kD65, {{0.64, 0.33, 1}, {0.29, 0.60, 1}, {0.15, 0.06, 1}}},
                QStringLiteral("BT.601 (625 lines)")};
        case 6:
        case 7:
            return std::pair{
                Chromaticities{kD65, {{0.630, 0.340, 1}, {0.310, 0.595, 1}, {0.155, 0.070, 1}}},
                QStringLiteral("BT.601 (525 lines)")};
        case 9:
            return std::pair{
                Chromaticities{kD65, {{0.708, 0.292, 1}, {0.170, 0.797, 1}, {0.131, 0.046, 1}}},
                QStringLiteral("BT.2020")};
        case 11:
            return std::pair{Chromaticities{{0.314, 0.351, 1}, p3}, QStringLiteral("DCI-P3")};
        case 12:
            return std::pair{Chromaticities{kD65, p3}, QStringLiteral("Display P3")};
        default:
            return std::nullopt;
    }
}

// H.273's transfers a picture for the screen uses. BT.709's and BT.2020's camera curves
// are shown with sRGB's, as browsers show such video and pictures.
Curve codePointCurve(cmsContext context, std::int32_t transfer) {
    switch (transfer) {
        case 1:
        case 2:  // unspecified
        case 6:
        case 13:
        case 14:
        case 15:
            return srgbCurve(context);
        case 4:
            return gammaCurve(context, 2.2);
        case 5:
            return gammaCurve(context, 2.8);
        case 8:
            return gammaCurve(context, 1.0);
        default:
            return nullptr;  // PQ, HLG and the rest are not tone-mapped here
    }
}

bool isSrgbTransfer(std::int32_t transfer) {
    return transfer == 1 || transfer == 2 || transfer == 6 || transfer == 13 || transfer == 14 ||
           transfer == 15;
}

bool isSrgbGamma(const PictureColour& source) {
    // PNG writers put gAMA 0.45455 (with sRGB's cHRM) on sRGB pictures; libpng and browsers
    // take that pair for sRGB.
    constexpr std::array<double, 8> srgb{0.3127, 0.3290, 0.64, 0.33, 0.30, 0.60, 0.15, 0.06};
    const bool gammaOfSrgb = std::abs(source.gamma - 0.45455) < 0.0005;
    const bool noChromaticities =
        std::all_of(source.chromaticities.begin(), source.chromaticities.end(),
                    [](double value) { return value == 0; });
    bool srgbChromaticities = true;
    for (std::size_t i = 0; i < srgb.size(); ++i)
        srgbChromaticities =
            srgbChromaticities && std::abs(source.chromaticities[i] - srgb[i]) < 0.001;
    return gammaOfSrgb && (noChromaticities || srgbChromaticities);
}

bool saysSrgb(const PictureColour& source) {
    switch (source.kind) {
        case PictureColour::Kind::Unstated:
        case PictureColour::Kind::Srgb:
            return true;
        case PictureColour::Kind::CodePoints:
            return (source.primaries == 1 || source.primaries == 2) &&
                   isSrgbTransfer(source.transfer);
        case PictureColour::Kind::Gamma:
            return isSrgbGamma(source);
        default:
            return false;
    }
}

QString gammaName(const PictureColour& source) {
    return QStringLiteral("gamma %1").arg(1.0 / source.gamma, 0, 'f', 2);
}

QString profileDescription(cmsHPROFILE profile) {
    std::array<char, 128> text{};
    cmsGetProfileInfoASCII(profile, cmsInfoDescription, "en", "US", text.data(),
                           static_cast<cmsUInt32Number>(text.size()));
    std::string name;
    for (const char c : text) {
        if (c == '\0') break;
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F) name += c;
    }
    constexpr std::size_t kLongestName = 48;
    if (name.size() > kLongestName) name.resize(kLongestName);
    return name.empty() ? QStringLiteral("unnamed") : QString::fromLatin1(name);
}

// Bytes worth giving Little CMS: the size of a header at least, and no more than the
// header says the profile holds.
bool plausibleProfile(std::span<const unsigned char> icc) {
    if (icc.size() < kProfileHeaderBytes || icc.size() > kMostProfileBytes) return false;
    const std::uint32_t declared = (std::uint32_t{icc[0]} << 24U) | (std::uint32_t{icc[1]} << 16U) |
                                   (std::uint32_t{icc[2]} << 8U) | std::uint32_t{icc[3]};
    return declared >= kProfileHeaderBytes && declared <= icc.size();
}

// A profile's colour space and class as the numbers the file holds: a hostile file's may
// be none of the values Little CMS names, and such a value is no valid enumerator.
std::uint32_t spaceOf(cmsHPROFILE profile) {
    return static_cast<std::uint32_t>(cmsGetColorSpace(profile));
}
std::uint32_t classOf(cmsHPROFILE profile) {
    return static_cast<std::uint32_t>(cmsGetDeviceClass(profile));
}
constexpr std::uint32_t number(cmsColorSpaceSignature space) {
    return static_cast<std::uint32_t>(space);
}
constexpr std::uint32_t number(cmsProfileClassSignature kind) {
    return static_cast<std::uint32_t>(kind);
}

Profile openProfile(cmsContext context, std::span<const unsigned char> icc) {
    if (!plausibleProfile(icc)) return nullptr;
    return Profile(
        cmsOpenProfileFromMemTHR(context, icc.data(), static_cast<cmsUInt32Number>(icc.size())));
}

// ---- Matrix-shaper conversions ------------------------------------------------------------

// Between two matrix-shaper RGB profiles, the conversion is three curves, a matrix and the
// inverse curves. Done here with tables, several times faster than Little CMS's own 8-bit
// path; checked against it when made.
//
// Each input channel's table holds its linear value already multiplied into the matrix's
// column, so a pixel is three loads and two additions; the output curves are indexed by the
// bits of the linear value as a float (a step of 1/256 of each power of two: fine near
// black, where the encoding curves are steepest, and no square root).
struct ShaperConversion {
    static constexpr int kMantissaBits = 8;
    static constexpr int kOctaves = 24;  // below 2^-24 of white every curve encodes as 0
    static constexpr int kEncodeSteps = (kOctaves << kMantissaBits) + 1;
    static constexpr int kStepShift = 23 - kMantissaBits;  // float mantissa bits dropped
    static constexpr float kDarkest =
        1.0F / static_cast<float>(1U << static_cast<unsigned>(kOctaves));

    // Per BGR input channel and 8-bit value: what it adds to the B, G and R outputs (and 0).
    alignas(16) std::array<std::array<std::array<float, 4>, 256>, 3> column{};
    // Per output channel, indexed by `encodeIndex` of the linear value.
    std::array<std::array<unsigned char, kEncodeSteps>, 3> encode{};

    static std::uint32_t bitsOf(float value) {
        std::uint32_t bits = 0;
        std::memcpy(&bits, &value, sizeof bits);
        return bits;
    }
    // The float whose bits are those of the index's step centre.
    static float linearAt(int index) {
        const std::uint32_t bits = bitsOf(kDarkest) + (static_cast<std::uint32_t>(index)
                                                       << static_cast<unsigned>(kStepShift));
        float value = 0;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    // The nearest step of a linear value; 0 for anything at or below kDarkest (NaN too).
    static std::size_t encodeIndex(float linear) {
        const float clamped = linear > kDarkest ? (linear < 1.0F ? linear : 1.0F) : kDarkest;
        const std::uint32_t half = 1U << static_cast<unsigned>(kStepShift - 1);
        return (bitsOf(clamped) - bitsOf(kDarkest) + half) >> static_cast<unsigned>(kStepShift);
    }

    void convertRow(const unsigned char* in, unsigned char* out, int pixels) const;
};

void ShaperConversion::convertRow(const unsigned char* in, unsigned char* out, int pixels) const {
    int i = 0;
#if defined(__SSE2__)
    const __m128 darkest = _mm_set1_ps(kDarkest);
    const __m128 one = _mm_set1_ps(1.0F);
    const std::uint32_t half = 1U << static_cast<unsigned>(kStepShift - 1);
    const __m128i base = _mm_set1_epi32(static_cast<int>(bitsOf(kDarkest) - half));
    const auto linear = [this](const unsigned char* p) {
        return _mm_add_ps(
            _mm_add_ps(_mm_load_ps(column[0][p[0]].data()), _mm_load_ps(column[1][p[1]].data())),
            _mm_load_ps(column[2][p[2]].data()));
    };
    const auto steps = [&](__m128 v) {
        // max first: a NaN lands on the darkest step.
        v = _mm_min_ps(_mm_max_ps(v, darkest), one);
        return _mm_srli_epi32(_mm_sub_epi32(_mm_castps_si128(v), base), kStepShift);
    };
    for (; i + 2 <= pixels; i += 2) {
        const unsigned char* p = in + std::ptrdiff_t{3} * i;
        // Two pixels' steps as 16-bit lanes: B G R - B G R -.
        const __m128i index = _mm_packs_epi32(steps(linear(p)), steps(linear(p + 3)));
        unsigned char* o = out + std::ptrdiff_t{3} * i;
        o[0] = encode[0][static_cast<std::size_t>(_mm_extract_epi16(index, 0))];
        o[1] = encode[1][static_cast<std::size_t>(_mm_extract_epi16(index, 1))];
        o[2] = encode[2][static_cast<std::size_t>(_mm_extract_epi16(index, 2))];
        o[3] = encode[0][static_cast<std::size_t>(_mm_extract_epi16(index, 4))];
        o[4] = encode[1][static_cast<std::size_t>(_mm_extract_epi16(index, 5))];
        o[5] = encode[2][static_cast<std::size_t>(_mm_extract_epi16(index, 6))];
    }
#endif
    for (; i < pixels; ++i) {
        const unsigned char* p = in + std::ptrdiff_t{3} * i;
        for (std::size_t c = 0; c < 3; ++c) {
            const float v = column[0][p[0]][c] + column[1][p[1]][c] + column[2][p[2]][c];
            out[std::ptrdiff_t{3} * i + static_cast<std::ptrdiff_t>(c)] = encode[c][encodeIndex(v)];
        }
    }
}

using Matrix = std::array<std::array<double, 3>, 3>;

// By hand rather than OpenCV's: the first call of its linear algebra sets up its CPU
// dispatch, some 15 ms of a start whose monitor has a profile.
std::optional<Matrix> inverse(const Matrix& m) {
    const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                       m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                       m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    if (std::abs(det) < 1e-9) return std::nullopt;
    Matrix inv{};
    for (std::size_t r = 0; r < 3; ++r) {
        for (std::size_t c = 0; c < 3; ++c) {
            // The cofactor of (c, r), divided by the determinant.
            const std::size_t r1 = (c + 1) % 3;
            const std::size_t r2 = (c + 2) % 3;
            const std::size_t c1 = (r + 1) % 3;
            const std::size_t c2 = (r + 2) % 3;
            inv[r][c] = (m[r1][c1] * m[r2][c2] - m[r1][c2] * m[r2][c1]) / det;
        }
    }
    return inv;
}

Matrix product(const Matrix& a, const Matrix& b) {
    Matrix p{};
    for (std::size_t r = 0; r < 3; ++r)
        for (std::size_t c = 0; c < 3; ++c)
            for (std::size_t k = 0; k < 3; ++k) p[r][c] += a[r][k] * b[k][c];
    return p;
}

// The colorants of a matrix-shaper RGB profile as the columns of a matrix (red, green,
// blue), and its three curves in the same order; nothing for any other profile.
struct MatrixShaper {
    Matrix colorants{};
    std::array<const cmsToneCurve*, 3> curves{};
};

std::optional<MatrixShaper> matrixShaper(cmsHPROFILE profile) {
    if (spaceOf(profile) != number(cmsSigRgbData) || cmsIsMatrixShaper(profile) == 0)
        return std::nullopt;
    MatrixShaper shaper;
    const std::array<cmsTagSignature, 3> colorantTags{cmsSigRedColorantTag, cmsSigGreenColorantTag,
                                                      cmsSigBlueColorantTag};
    const std::array<cmsTagSignature, 3> curveTags{cmsSigRedTRCTag, cmsSigGreenTRCTag,
                                                   cmsSigBlueTRCTag};
    for (int c = 0; c < 3; ++c) {
        const auto* xyz = static_cast<const cmsCIEXYZ*>(cmsReadTag(profile, colorantTags[c]));
        const auto* curve = static_cast<const cmsToneCurve*>(cmsReadTag(profile, curveTags[c]));
        if (xyz == nullptr || curve == nullptr) return std::nullopt;
        shaper.colorants[0][c] = xyz->X;
        shaper.colorants[1][c] = xyz->Y;
        shaper.colorants[2][c] = xyz->Z;
        shaper.curves[c] = curve;
    }
    return shaper;
}

std::optional<ShaperConversion> shaperConversion(cmsHPROFILE source, cmsHPROFILE display) {
    const auto from = matrixShaper(source);
    const auto to = matrixShaper(display);
    const auto toInverse = to ? inverse(to->colorants) : std::nullopt;
    if (!from || !toInverse) return std::nullopt;
    const Matrix rgb = product(*toInverse, from->colorants);
    for (const auto& row : rgb)
        for (const double value : row)
            if (!std::isfinite(value)) return std::nullopt;
    ShaperConversion conversion;
    // Channels in BGR order: channel c is RGB component 2 - c.
    for (std::size_t k = 0; k < 3; ++k) {
        for (int v = 0; v < 256; ++v) {
            const float linear = cmsEvalToneCurveFloat(from->curves[2 - k],
                                                       static_cast<cmsFloat32Number>(v / 255.0));
            if (!std::isfinite(linear)) return std::nullopt;
            auto& added = conversion.column[k][static_cast<std::size_t>(v)];
            for (std::size_t c = 0; c < 3; ++c)
                added[c] = static_cast<float>(rgb[2 - c][2 - k] * linear);
        }
    }
    for (std::size_t c = 0; c < 3; ++c) {
        // Three channels of one curve (linked tags, as nearly every profile has them) make
        // one table: most of a conversion's making is evaluating curves.
        if (c > 0 && to->curves[2 - c] == to->curves[3 - c]) {
            conversion.encode[c] = conversion.encode[c - 1];
            continue;
        }
        const Curve encoding(cmsReverseToneCurve(to->curves[2 - c]));
        if (!encoding) return std::nullopt;
        for (int s = 0; s < ShaperConversion::kEncodeSteps; ++s) {
            // The darkest step stands for everything below it, black included.
            const float linear = s == 0 ? 0.0F : ShaperConversion::linearAt(s);
            const double encoded = cmsEvalToneCurveFloat(encoding.get(), linear);
            conversion.encode[c][static_cast<std::size_t>(s)] =
                static_cast<unsigned char>(std::lround(std::clamp(encoded, 0.0, 1.0) * 255));
        }
    }
    return conversion;
}

// Colours that check a conversion: a grid through the cube, and every grey.
std::vector<unsigned char> checkColours() {
    std::vector<unsigned char> colours;
    for (int b = 0; b <= 256; b += 32)
        for (int g = 0; g <= 256; g += 32)
            for (int r = 0; r <= 256; r += 32)
                for (const int v : {b, g, r})
                    colours.push_back(static_cast<unsigned char>(std::min(v, 255)));
    for (int v = 0; v < 256; ++v)
        for (int k = 0; k < 3; ++k) colours.push_back(static_cast<unsigned char>(v));
    return colours;
}

int largestDifference(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b) {
    int largest = 0;
    for (std::size_t i = 0; i < a.size(); ++i) largest = std::max(largest, std::abs(a[i] - b[i]));
    return largest;
}

}  // namespace

// ---- A conversion ----------------------------------------------------------------------------

class ColourTransform {
  public:
    ColourTransform() = default;
    ColourTransform(const ColourTransform&) = delete;
    ColourTransform& operator=(const ColourTransform&) = delete;
    ColourTransform(ColourTransform&&) = delete;
    ColourTransform& operator=(ColourTransform&&) = delete;
    ~ColourTransform() {
        if (transform_ != nullptr) cmsDeleteTransform(transform_);
    }

    // What a source and a display make: a conversion, nothing when the pixels would stay
    // as they are, or a reason it cannot be made.
    enum class Verdict { Converts, Identity, NotApplied, Broken };
    Verdict make(cmsHPROFILE source, cmsHPROFILE display, ColourPixels pixels);

    void convertRows(const unsigned char* in, std::size_t inStep, unsigned char* out,
                     std::size_t outStep, int width, int rows) const;

    LcmsContext lcms;

  private:
    std::optional<ShaperConversion> shaper_;
    cmsHTRANSFORM transform_ = nullptr;
};

ColourTransform::Verdict ColourTransform::make(cmsHPROFILE source, cmsHPROFILE display,
                                               ColourPixels pixels) {
    const std::uint32_t space = spaceOf(source);
    // Grey pixels said to be in an RGB space (no profile, sRGB, a gamma) are RGB ones.
    if (pixels == ColourPixels::GreyInBgr && space == number(cmsSigRgbData))
        pixels = ColourPixels::Bgr;
    const bool cmyk = pixels == ColourPixels::Cmyk || pixels == ColourPixels::InvertedCmyk;
    const std::uint32_t wanted = number(cmyk                                ? cmsSigCmykData
                                        : pixels == ColourPixels::GreyInBgr ? cmsSigGrayData
                                                                            : cmsSigRgbData);
    const std::uint32_t kind = classOf(source);
    if (space != wanted || kind == number(cmsSigLinkClass) || kind == number(cmsSigAbstractClass) ||
        kind == number(cmsSigNamedColorClass))
        return Verdict::NotApplied;

    clearUpperVectorState();
    const bool matrices = cmsIsMatrixShaper(source) != 0 && cmsIsMatrixShaper(display) != 0;
    const bool perceptual =
        !matrices && cmsIsIntentSupported(source, INTENT_PERCEPTUAL, LCMS_USED_AS_INPUT) != 0;
    const cmsUInt32Number intent = perceptual ? INTENT_PERCEPTUAL : INTENT_RELATIVE_COLORIMETRIC;
    const cmsUInt32Number flags =
        cmsFLAGS_NOCACHE | (matrices ? 0 : cmsFLAGS_BLACKPOINTCOMPENSATION);
    constexpr cmsUInt32Number kGreyInBgr =
        COLORSPACE_SH(PT_GRAY) | CHANNELS_SH(1) | BYTES_SH(1) | EXTRA_SH(2);
    const cmsUInt32Number input = pixels == ColourPixels::Cmyk           ? TYPE_CMYK_8
                                  : pixels == ColourPixels::InvertedCmyk ? TYPE_CMYK_8_REV
                                  : pixels == ColourPixels::GreyInBgr    ? kGreyInBgr
                                                                         : TYPE_BGR_8;
    transform_ =
        cmsCreateTransformTHR(lcms.context, source, input, display, TYPE_BGR_8, intent, flags);
    if (transform_ == nullptr || lcms.failed) return Verdict::Broken;
    if (pixels != ColourPixels::Bgr) return Verdict::Converts;

    shaper_ = shaperConversion(source, display);
    const std::vector<unsigned char> colours = checkColours();
    const int count = static_cast<int>(colours.size() / 3);
    std::vector<unsigned char> byLcms(colours.size());
    cmsDoTransform(transform_, colours.data(), byLcms.data(), static_cast<cmsUInt32Number>(count));
    if (shaper_) {
        std::vector<unsigned char> byTables(colours.size());
        shaper_->convertRow(colours.data(), byTables.data(), count);
        // Little CMS's own 8-bit path rounds within a level too.
        if (largestDifference(byTables, byLcms) > 2) shaper_.reset();
    }
    // Within a level of every colour: shown as it is (an sRGB profile on an sRGB screen).
    if (largestDifference(colours, byLcms) <= 1) return Verdict::Identity;
    return lcms.failed ? Verdict::Broken : Verdict::Converts;
}

void ColourTransform::convertRows(const unsigned char* in, std::size_t inStep, unsigned char* out,
                                  std::size_t outStep, int width, int rows) const {
    clearUpperVectorState();
    if (shaper_) {
        for (int row = 0; row < rows; ++row)
            shaper_->convertRow(in + inStep * static_cast<std::size_t>(row),
                                out + outStep * static_cast<std::size_t>(row), width);
        return;
    }
    cmsDoTransformLineStride(transform_, in, out, static_cast<cmsUInt32Number>(width),
                             static_cast<cmsUInt32Number>(rows),
                             static_cast<cmsUInt32Number>(inStep),
                             static_cast<cmsUInt32Number>(outStep), 0, 0);
}

namespace {

// Rows split between the decode's thread and threads of its own, one per core up to
// four: a large picture is the first one shown or a jump's, which the user waits for. A
// smaller one (a start's preview) is converted on its own thread in a few milliseconds.
// Not on OpenCV's workers: waking them the first time takes ten milliseconds or more, and
// ThreadSanitizer cannot see their hand-over.
void convertInParallel(const ColourTransform& transform, const cv::Mat& in, cv::Mat& out) {
    constexpr int kMostParts = 4;
    const auto convert = [&](int first, int end) {
        transform.convertRows(in.ptr(first), in.step[0], out.ptr(first), out.step[0], in.cols,
                              end - first);
    };
    const int parts =
        std::int64_t{in.rows} * in.cols < kLargePicturePixels
            ? 1
            : std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, kMostParts);
    std::vector<std::jthread> helpers;  // joined when they go
    int first = 0;
    for (int part = 1; part < parts; ++part) {
        const int end = in.rows * part / parts;
        try {
            helpers.emplace_back(convert, first, end);
        } catch (const std::system_error&) {
            break;  // no thread to be had: the rest on this one
        }
        first = end;
    }
    convert(first, in.rows);
}

std::uint64_t bytesId(std::span<const unsigned char> bytes) {
    std::uint64_t hash = 14695981039346656037ULL;  // FNV-1a
    for (const unsigned char byte : bytes) hash = (hash ^ byte) * 1099511628211ULL;
    return hash < 2 ? hash + 2 : hash;
}

// The source's profile, or the reason there is none to convert from.
struct SourceProfile {
    Profile profile;
    QString name;
};

SourceProfile sourceProfile(cmsContext context, const PictureColour& source,
                            std::span<const unsigned char> defaultCmyk, bool cmyk) {
    using Kind = PictureColour::Kind;
    switch (source.kind) {
        case Kind::Unstated:
            if (cmyk && !defaultCmyk.empty())
                return {openProfile(context, defaultCmyk), QStringLiteral("none (default CMYK)")};
            return {Profile(cmsCreate_sRGBProfileTHR(context)), QStringLiteral("none (sRGB)")};
        case Kind::Srgb:
            return {Profile(cmsCreate_sRGBProfileTHR(context)), QStringLiteral("sRGB")};
        case Kind::Icc: {
            Profile profile = openProfile(context, source.icc);
            QString name = profile ? profileDescription(profile.get()) : QString();
            return {std::move(profile), std::move(name)};
        }
        case Kind::CodePoints: {
            const auto primaries = codePointPrimaries(source.primaries);
            const Curve curve = codePointCurve(context, source.transfer);
            if (!primaries) return {nullptr, QStringLiteral("primaries %1").arg(source.primaries)};
            if (!curve) return {nullptr, primaries->second};
            return {rgbProfile(context, primaries->first, curve.get()), primaries->second};
        }
        case Kind::Gamma: {
            if (isSrgbGamma(source))
                return {Profile(cmsCreate_sRGBProfileTHR(context)), gammaName(source)};
            Chromaticities chromaticities = kBt709;
            const auto& xy = source.chromaticities;
            if (std::any_of(xy.begin(), xy.end(), [](double v) { return v != 0; })) {
                // As libpng, chromaticities off the diagram are refused.
                for (std::size_t k = 0; k < xy.size(); k += 2)
                    if (xy[k] < 0 || xy[k + 1] <= 0 || xy[k] + xy[k + 1] > 1)
                        return {nullptr, gammaName(source)};
                chromaticities = {{xy[0], xy[1], 1},
                                  {{xy[2], xy[3], 1}, {xy[4], xy[5], 1}, {xy[6], xy[7], 1}}};
            }
            if (source.gamma <= 0.01 || source.gamma > 10) return {nullptr, gammaName(source)};
            const Curve curve = gammaCurve(context, 1.0 / source.gamma);
            return {rgbProfile(context, chromaticities, curve.get()), gammaName(source)};
        }
        case Kind::Broken:
            break;
    }
    return {nullptr, QString()};
}

PreparedColour buildPrepared(const PictureColour& source, ColourPixels pixels,
                             const DisplayProfile* display,
                             std::span<const unsigned char> defaultCmyk) {
    const bool cmyk = pixels == ColourPixels::Cmyk || pixels == ColourPixels::InvertedCmyk;
    auto transform = std::make_shared<ColourTransform>();
    const cmsContext context = transform->lcms.context;
    SourceProfile from = sourceProfile(context, source, defaultCmyk, cmyk);
    if (source.kind == PictureColour::Kind::Unstated && cmyk && defaultCmyk.empty())
        return {nullptr, QStringLiteral("none (CMYK)")};
    if (!from.profile || transform->lcms.failed) {
        if (source.kind == PictureColour::Kind::CodePoints ||
            source.kind == PictureColour::Kind::Gamma)
            return {nullptr, from.name + QStringLiteral(" (not applied)")};
        return {nullptr, from.name.isEmpty() ? QStringLiteral("broken (ignored)")
                                             : from.name + QStringLiteral(" (broken, ignored)")};
    }
    const Profile to = display != nullptr ? openProfile(context, display->icc)
                                          : Profile(cmsCreate_sRGBProfileTHR(context));
    if (!to) return {nullptr, from.name + QStringLiteral(" (not applied)")};
    switch (transform->make(from.profile.get(), to.get(), pixels)) {
        case ColourTransform::Verdict::Converts:
            return {std::move(transform), from.name};
        case ColourTransform::Verdict::Identity:
            return {nullptr, from.name};
        case ColourTransform::Verdict::NotApplied:
            return {nullptr, from.name + QStringLiteral(" (not applied)")};
        case ColourTransform::Verdict::Broken:
            break;
    }
    return {nullptr, from.name + QStringLiteral(" (broken, ignored)")};
}

QString quickName(const PictureColour& source) {
    using Kind = PictureColour::Kind;
    if (source.kind == Kind::Unstated) return QStringLiteral("none (sRGB)");
    if (source.kind == Kind::Gamma) return gammaName(source);
    return QStringLiteral("sRGB");
}

// The key of a source in the cache: its kind and everything that makes it.
std::vector<unsigned char> sourceKey(const PictureColour& source, ColourPixels pixels) {
    std::vector<unsigned char> key{static_cast<unsigned char>(pixels),
                                   static_cast<unsigned char>(source.kind)};
    const auto append = [&key](const auto& value) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(&value);
        key.insert(key.end(), bytes, bytes + sizeof(value));
    };
    append(source.primaries);
    append(source.transfer);
    append(source.gamma);
    append(source.chromaticities);
    key.insert(key.end(), source.icc.begin(), source.icc.end());
    return key;
}

}  // namespace

std::uint64_t ColourTarget::id() const {
    if (!enabled) return 0;
    return display ? display->id : 1;
}

std::shared_ptr<const DisplayProfile> makeDisplayProfile(std::span<const unsigned char> icc) {
    if (icc.empty()) return nullptr;
    LcmsContext lcms;
    const Profile profile = openProfile(lcms.context, icc);
    if (!profile || lcms.failed || spaceOf(profile.get()) != number(cmsSigRgbData) ||
        cmsIsIntentSupported(profile.get(), INTENT_RELATIVE_COLORIMETRIC, LCMS_USED_AS_OUTPUT) == 0)
        return nullptr;
    auto display = std::make_shared<DisplayProfile>();
    display->icc.assign(icc.begin(), icc.end());
    display->name = profileDescription(profile.get());
    display->id = bytesId(icc);
    // A monitor that is sRGB in all but name converts nothing.
    PictureColour srgb;
    srgb.kind = PictureColour::Kind::Srgb;
    if (!buildPrepared(srgb, ColourPixels::Bgr, display.get(), {}).transform) return nullptr;
    return display;
}

struct ColourTransforms::Store {
    struct Entry {
        std::vector<unsigned char> source;
        std::uint64_t display = 1;
        PreparedColour prepared;
    };
    std::vector<unsigned char> defaultCmyk;
    mutable std::mutex mutex;
    std::list<Entry> entries;  // the most recently used first
};

ColourTransforms::ColourTransforms(std::vector<unsigned char> defaultCmyk)
    : store_(std::make_unique<Store>()) {
    store_->defaultCmyk = std::move(defaultCmyk);
}

ColourTransforms::~ColourTransforms() = default;

std::size_t ColourTransforms::size() const {
    const std::lock_guard lock(store_->mutex);
    return store_->entries.size();
}

PreparedColour ColourTransforms::prepare(const PictureColour& source, ColourPixels pixels,
                                         const DisplayProfile* display) {
    constexpr std::size_t kMostKept = 8;
    std::vector<unsigned char> key = sourceKey(source, pixels);
    const std::uint64_t displayId = display != nullptr ? display->id : 1;
    const auto kept = [&]() -> std::optional<PreparedColour> {
        auto& entries = store_->entries;
        const auto found = std::find_if(entries.begin(), entries.end(), [&](const Store::Entry& e) {
            return e.display == displayId && e.source == key;
        });
        if (found == entries.end()) return std::nullopt;
        entries.splice(entries.begin(), entries, found);
        return found->prepared;
    };
    {
        const std::lock_guard lock(store_->mutex);
        if (auto prepared = kept()) return *prepared;
    }
    // Made outside the lock, so that other pictures need not wait for it; another job may
    // make the same meanwhile, and then the first one kept serves both.
    PreparedColour prepared = buildPrepared(source, pixels, display, store_->defaultCmyk);
    const std::lock_guard lock(store_->mutex);
    if (auto first = kept()) return *first;
    auto& entries = store_->entries;
    entries.push_front({std::move(key), displayId, prepared});
    if (entries.size() > kMostKept) entries.pop_back();
    return prepared;
}

PreparedColour prepareColour(const PictureColour& source, ColourPixels pixels,
                             const ColourTarget& target) {
    if (!target.enabled) return {};
    // Never kept: the cache would hold the bytes of a profile nobody can use.
    if (source.icc.size() > kMostProfileBytes) return {nullptr, QStringLiteral("broken (ignored)")};
    const bool cmyk = pixels == ColourPixels::Cmyk || pixels == ColourPixels::InvertedCmyk;
    // The common case asks nothing of Little CMS: an sRGB picture on an sRGB monitor.
    if (!cmyk && !target.display && saysSrgb(source)) return {nullptr, quickName(source)};
    if (target.transforms) return target.transforms->prepare(source, pixels, target.display.get());
    return buildPrepared(source, pixels, target.display.get(), {});
}

void applyColour(const PreparedColour& prepared, cv::Mat& bgr) {
    if (!prepared.transform || bgr.empty()) return;
    CV_Assert(bgr.type() == CV_8UC3);
    convertInParallel(*prepared.transform, bgr, bgr);
}

void applyColourToRows(const PreparedColour& prepared, cv::Mat& bgr, int first, int end) {
    if (!prepared.transform || bgr.empty() || first >= end) return;
    CV_Assert(bgr.type() == CV_8UC3 && first >= 0 && end <= bgr.rows);
    prepared.transform->convertRows(bgr.ptr(first), bgr.step[0], bgr.ptr(first), bgr.step[0],
                                    bgr.cols, end - first);
}

cv::Mat cmykToBgr(const cv::Mat& cmyk, const PreparedColour& prepared) {
    CV_Assert(cmyk.type() == CV_8UC4);
    cv::Mat bgr(cmyk.size(), CV_8UC3);
    if (prepared.transform) {
        convertInParallel(*prepared.transform, cmyk, bgr);
        return bgr;
    }
    // The formula decoders without a profile use (OpenCV's), for ink stored inverted as
    // Adobe's JPEGs store it, whichever way the file holds it.
    for (int row = 0; row < cmyk.rows; ++row) {
        const unsigned char* in = cmyk.ptr(row);
        unsigned char* out = bgr.ptr(row);
        for (int x = 0; x < cmyk.cols; ++x, in += 4, out += 3) {
            const int k = in[3];
            out[2] = static_cast<unsigned char>(k - (((255 - in[0]) * k) >> 8));
            out[1] = static_cast<unsigned char>(k - (((255 - in[1]) * k) >> 8));
            out[0] = static_cast<unsigned char>(k - (((255 - in[2]) * k) >> 8));
        }
    }
    return bgr;
}

}  // namespace pavo
