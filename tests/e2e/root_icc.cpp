// A desktop colour manager for the end-to-end colour check: sets or removes monitor N's
// profile on the X root window (_ICC_PROFILE for monitor 0, _ICC_PROFILE_N after it), and
// writes a wide-gamut test profile. Usage:
//   pavo_root_icc set N FILE | delete N | write-p3 FILE

#include <lcms2.h>
#include <xcb/xcb.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

// Display P3: the P3 primaries, D65 white and sRGB's tone curve, named "Test P3".
bool writeP3(const char* path) {
    const cmsCIExyY white{0.3127, 0.3290, 1.0};
    const cmsCIExyYTRIPLE primaries{{0.680, 0.320, 1.0}, {0.265, 0.690, 1.0}, {0.150, 0.060, 1.0}};
    const cmsFloat64Number srgb[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 4, srgb);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsMLU* description = cmsMLUalloc(nullptr, 1);
    const bool ok = profile != nullptr && cmsMLUsetASCII(description, "en", "US", "Test P3") &&
                    cmsWriteTag(profile, cmsSigProfileDescriptionTag, description) &&
                    cmsSaveProfileToFile(profile, path);
    cmsMLUfree(description);
    if (profile != nullptr) cmsCloseProfile(profile);
    cmsFreeToneCurve(curve);
    return ok;
}

// Sets the property to the file's bytes, or removes it when `file` is null.
bool setRootProfile(int monitor, const char* file) {
    std::vector<char> bytes;
    if (file != nullptr) {
        std::ifstream in(file, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
        if (!in.good() && !in.eof()) return false;
    }
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c) != 0) return false;
    const std::string name =
        monitor == 0 ? "_ICC_PROFILE" : "_ICC_PROFILE_" + std::to_string(monitor);
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(name.size()), name.c_str()), nullptr);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    xcb_generic_error_t* error = nullptr;
    if (atom != nullptr) {
        error = xcb_request_check(
            c, file != nullptr
                   ? xcb_change_property_checked(c, XCB_PROP_MODE_REPLACE, root, atom->atom,
                                                 XCB_ATOM_CARDINAL, 8, bytes.size(), bytes.data())
                   : xcb_delete_property_checked(c, root, atom->atom));
    }
    const bool ok = atom != nullptr && error == nullptr;
    std::free(atom);   // NOLINT: xcb replies are malloc'd
    std::free(error);  // NOLINT
    xcb_disconnect(c);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    bool ok = false;
    if (command == "set" && argc == 4) {
        ok = setRootProfile(std::stoi(argv[2]), argv[3]);
    } else if (command == "delete" && argc == 3) {
        ok = setRootProfile(std::stoi(argv[2]), nullptr);
    } else if (command == "write-p3" && argc == 3) {
        ok = writeP3(argv[2]);
    } else {
        std::fprintf(stderr, "usage: pavo_root_icc set N FILE | delete N | write-p3 FILE\n");
        return 2;
    }
    if (!ok) std::fprintf(stderr, "pavo_root_icc: %s failed\n", command.c_str());
    return ok ? 0 : 1;
}
