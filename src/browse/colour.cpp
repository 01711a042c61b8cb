#include "browse/colour.h"

#include "browse/animation.h"
#include "browse/load.h"
#include "browse/neighbour_cache.h"
#include "view/scale.h"
#include "view/view.h"
#include "viewer.h"

namespace pavo {
namespace {

std::vector<unsigned char> defaultCmykProfile() {
    const auto bytes = readImageFile(QString::fromLatin1(kDefaultCmykProfilePath));
    return bytes ? std::vector<unsigned char>(bytes->begin(), bytes->end())
                 : std::vector<unsigned char>();
}

// The shown record still stands for what the job decoded again.
bool standsFor(const ImageBuffer& shown, const ImageBuffer& files) {
    return shown.ready && shown.path == files.path && shown.partnerPath == files.partnerPath &&
           shown.turn == files.turn && shown.width == files.width && shown.height == files.height;
}

void recolourShownImage(Viewer& viewer) {
    const ImageBuffer& shown = viewer.shownImage;
    ColourState& colour = viewer.colour;
    // What the pixels depend on goes to the job, not the pixels themselves.
    ImageBuffer files;
    files.path = shown.path;
    files.partnerPath = shown.partnerPath;
    files.turn = shown.turn;
    files.width = shown.width;
    files.height = shown.height;
    const JobSlot::Ticket ticket = colour.recolour.begin(nextJobId(viewer));
    startJob<ShownPixels>(
        viewer.platform, viewer.platform, ticket.token,
        [files, target = colour.target](const CancelToken& token) {
            return decodeShownPixelsAgain(files, target, token.flag());
        },
        [&viewer, id = ticket.id, files,
         targetId = colour.target.id()](std::optional<ShownPixels> again) {
            ColourState& colour = viewer.colour;
            if (!colour.recolour.wants(id)) return;
            colour.recolour.done();
            ImageBuffer& shown = viewer.shownImage;
            if (!standsFor(shown, files)) {
                keepColourCurrent(viewer);  // another picture came meanwhile
                return;
            }
            if (targetId == colour.target.id() && again) {
                const bool played = animationPlays(viewer);
                stopAnimation(viewer);
                shown.image = again->image;
                shown.partner = again->partner;
                shown.profileName = again->profileName;
                rescaleShownImage(viewer);
                requestRedraw(viewer);
                if (played) playShownAnimation(viewer);
            }
            // A file that no longer decodes keeps its picture and is not tried again.
            if (!again) shown.colourId = targetId;
            if (again && targetId == colour.target.id()) shown.colourId = targetId;
            keepColourCurrent(viewer);
        });
}

bool stale(const Viewer& viewer, const ImageBuffer& record) {
    return record.ready && record.colourId != viewer.colour.target.id();
}

// The profile set for the monitor holding `area`; nothing for none, or for an sRGB one.
std::shared_ptr<const DisplayProfile> monitorProfile(const Viewer& viewer, const Rect& area) {
    const QByteArray icc = viewer.platform.displayProfile(area);
    return makeDisplayProfile({reinterpret_cast<const unsigned char*>(icc.constData()),
                               static_cast<std::size_t>(icc.size())});
}

}  // namespace

void setUpColour(Viewer& viewer, const Rect& window) {
    ColourState& colour = viewer.colour;
    colour.target.enabled = viewer.settings.colourManagement;
    if (!colour.target.enabled) return;
    colour.target.transforms = std::make_shared<ColourTransforms>(defaultCmykProfile());
    colour.target.display = monitorProfile(viewer, window);
}

void followDisplayProfile(Viewer& viewer, bool force) {
    ColourState& colour = viewer.colour;
    if (!colour.target.enabled) return;
    const GeometrySnapshot geometry = windowGeometry(viewer);
    if (!force && geometry.monitor.monitor == colour.monitor) return;
    colour.monitor = geometry.monitor.monitor;
    const std::uint64_t before = colour.target.id();
    colour.target.display = monitorProfile(viewer, geometry.window);
    if (colour.target.id() == before) return;
    // Decodes under way are for the monitor the window left.
    if (viewer.shownImage.ready && !viewer.navigation.pending) {
        clearNeighbours(viewer);
        startNeighbourWorkers(viewer);
    }
    keepColourCurrent(viewer);
}

void keepColourCurrent(Viewer& viewer) {
    // A step under way lands first; it calls again once it has.
    if (viewer.navigation.pending) return;
    if (stale(viewer, viewer.nextImage) && !neighbourDecoding(viewer, NeighbourSide::Next))
        startWorker(viewer, NeighbourSide::Next);
    if (stale(viewer, viewer.previousImage) && !neighbourDecoding(viewer, NeighbourSide::Previous))
        startWorker(viewer, NeighbourSide::Previous);
    if (stale(viewer, viewer.shownImage) && !viewer.colour.recolour.busy())
        recolourShownImage(viewer);
}

}  // namespace pavo
