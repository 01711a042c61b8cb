/* Writes a monitor profile for the colour-managed runs of the desktop benchmark: sRGB's
 * primaries with a plain 2.2 gamma. Every picture without a profile of its own (sRGB) is
 * then converted for the screen, with the same work per pixel as a Display P3 photo on an
 * sRGB screen, while the marker patches the probe looks for move by a few levels only.
 *   display_icc OUT.icc */
#include <lcms2.h>
#include <stdio.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: display_icc OUT.icc\n");
        return 2;
    }
    cmsCIExyY white = {0.3127, 0.3290, 1};
    cmsCIExyYTRIPLE primaries = {{0.64, 0.33, 1}, {0.30, 0.60, 1}, {0.15, 0.06, 1}};
    cmsToneCurve* curve = cmsBuildGamma(NULL, 2.2);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsMLU* name = cmsMLUalloc(NULL, 1);
    cmsMLUsetASCII(name, "en", "US", "Bench gamma 2.2");
    cmsWriteTag(profile, cmsSigProfileDescriptionTag, name);
    const int saved = cmsSaveProfileToFile(profile, argv[1]);
    cmsMLUfree(name);
    cmsFreeToneCurve(curve);
    cmsCloseProfile(profile);
    return saved ? 0 : 1;
}
