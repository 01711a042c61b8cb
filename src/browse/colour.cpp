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

// A playing animation goes on from the frame it shows, paused or finished as it was, with
// frames read again for the new colours.
void replayForNewColours(Viewer& viewer) {
    const AnimationState& animation = viewer.animation;
    const bool paused = animation.paused;
    const bool finished = animation.finished;
    const std::int32_t playsDone = animation.playsDone;
    stopAnimation(viewer);
    playShownAnimation(viewer);
    viewer.animation.paused = paused;
    viewer.animation.finished = finished;
    viewer.animation.playsDone = playsDone;
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
            const bool current = targetId == colour.target.id();
            if (current && again) {
                shown.profileName = again->profileName;
                if (animationPlays(viewer)) {
                    replayForNewColours(viewer);
                } else {
                    shown.image = again->image;
                    shown.partner = again->partner;
                    rescaleShownImage(viewer);
                    requestRedraw(viewer);
                }
            }
            // A file that no longer decodes keeps its picture and is not tried again.
            if (current || !again) shown.colourId = targetId;
            keepColourCurrent(viewer);
        });
}

bool stale(const Viewer& viewer, const ImageBuffer& record) {
    return record.ready && record.colourId != viewer.colour.target.id();
}

// What a monitor's profile bytes make: nothing for none, or for an sRGB one.
std::shared_ptr<const DisplayProfile> displayProfileOf(const QByteArray& icc) {
    return makeDisplayProfile({reinterpret_cast<const unsigned char*>(icc.constData()),
                               static_cast<std::size_t>(icc.size())});
}

}  // namespace

void setUpColour(Viewer& viewer, const Rect& window) {
    ColourState& colour = viewer.colour;
    colour.target.enabled = viewer.settings.colourManagement;
    if (!colour.target.enabled) return;
    colour.target.transforms = std::make_shared<ColourTransforms>(defaultCmykProfile());
    colour.icc = viewer.platform.displayProfile(window);
    colour.target.display = displayProfileOf(colour.icc);
}

void followDisplayProfile(Viewer& viewer, bool force) {
    ColourState& colour = viewer.colour;
    if (!colour.target.enabled) return;
    const GeometrySnapshot geometry = windowGeometry(viewer);
    if (!force && geometry.monitor.monitor == colour.monitor) return;
    colour.monitor = geometry.monitor.monitor;
    QByteArray icc = viewer.platform.displayProfile(geometry.window);
    if (icc == colour.icc) return;  // the same monitor profile, or none again
    colour.icc = std::move(icc);
    const std::uint64_t before = colour.target.id();
    colour.target.display = displayProfileOf(colour.icc);
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
