// A seeded random walk through everything the window takes, with the files changing
// behind the viewer's back and the jobs ending in orders nobody writes by hand. After
// every action the walk checks the viewer against a model of the folder: nothing escapes,
// inputs never nest, the title names the entry at the index, the picture on screen is one
// that entry's file has held (or there is none), each neighbour record holds only pictures
// of its own files, every record's pixels are turned as it says, no file leaves the folder
// but the one the user confirmed for the trash (and that one is in the trash), and the
// store reads back.
// A failing walk is shrunk to the shortest list of actions that still fails, and printed.
//   PAVO_MONKEY_SEED=n          walk this seed after 1 to 4 (else one new seed, printed)
//   PAVO_MONKEY_SEEDS="n m .."  walk only these seeds
//   PAVO_MONKEY_ACTIONS=n       actions per seed
#include "browse/animation.h"
#include "image/orientation.h"
#include "platform/files.h"
#include "platform/settings_store.h"
#include "support/allocator.h"
#include "support/colour_files.h"
#include "support/viewer_fixture.h"

#include <opencv2/imgcodecs.hpp>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>

namespace pavo {
namespace {

// What the window takes, time passing, and a change behind its back; each kind's name and
// how often it comes: mostly keys and the jobs they start.
// clang-format off
enum class Kind : std::uint8_t {
    Press, Modifier, Wheel, Button, Drop, Command, Window, Timer,
    RunJob, RunTasks, Settle, IdleRelease, ChangeFile
};
constexpr std::array<std::pair<const char*, int>, 13> kKinds{{
    {"press", 30}, {"modifier", 4}, {"wheel", 6}, {"button", 6}, {"drop", 3}, {"command", 6},
    {"window", 5}, {"timer", 6}, {"run-job", 16}, {"run-tasks", 10}, {"settle", 2},
    {"idle-release", 1}, {"change-file", 8}}};
// clang-format on
// One action, its numbers drawn from the seed once. They are read against the state the
// walk is in when the action runs, so that any sub-list of actions can be replayed.
struct Action {
    Kind kind;
    std::uint32_t a;
    std::uint32_t b;
};

constexpr std::array<Key, 34> kKeys{
    Key::Right,  Key::Left,   Key::Up,     Key::Down,     Key::Space, Key::Right, Key::Left,
    Key::Home,   Key::End,    Key::PageUp, Key::PageDown, Key::Plus,  Key::Minus, Key::T,
    Key::Y,      Key::F,      Key::R,      Key::I,        Key::Q,     Key::L,     Key::G,
    Key::Digit1, Key::Digit2, Key::Digit3, Key::Enter,    Key::F11,   Key::F5,    Key::Comma,
    Key::Period, Key::Delete, Key::Esc,    Key::P,        Key::N,     Key::B};

constexpr std::array<int, 15> kCommands{32775, 32774, 32773, 105,   32789, 32781, 32782, 32783,
                                        32786, 32785, 32787, 32788, 32792, 32771, 104};

std::vector<Action> actionsFor(std::uint64_t seed, std::size_t count) {
    std::mt19937_64 random(seed);
    int total = 0;
    for (const auto& kind : kKinds) total += kind.second;
    std::vector<Action> actions(count);
    for (Action& action : actions) {
        int pick = static_cast<int>(random() % static_cast<std::uint64_t>(total));
        std::size_t kind = 0;
        while (pick >= kKinds[kind].second) pick -= kKinds[kind++].second;
        action = {static_cast<Kind>(kind), static_cast<std::uint32_t>(random()),
                  static_cast<std::uint32_t>(random())};
    }
    return actions;
}

std::string describe(const std::vector<Action>& actions) {
    std::string text;
    for (const Action& action : actions) {
        text += std::string(kKinds[static_cast<std::size_t>(action.kind)].first) + "(" +
                std::to_string(action.a) + "," + std::to_string(action.b) + ") ";
    }
    return text;
}

// A picture's colour names which file held it: 16 levels a channel, far apart enough to
// be told apart after a lossy JPEG.
cv::Scalar colourOf(int id) {
    return {16.0 * (id % 16) + 8, 16.0 * (id / 16 % 16) + 8, 16.0 * (id / 256 % 16) + 8};
}

int idOf(const unsigned char* pixel) {
    return (pixel[0] / 16) + 16 * (pixel[1] / 16) + 256 * (pixel[2] / 16);
}

const std::array<const char*, 4> kExtensions{".png", ".bmp", ".ppm", ".jpg"};

// The monitors the window is moved to. On the smallest, the larger pictures are four
// screens and more, so neighbours keep only their pictures.
const std::array<MonitorInfo, 3> kMonitors{MonitorInfo{{0, 0, 1920, 1080}, {0, 0, 1920, 1040}},
                                           MonitorInfo{{0, 0, 1600, 900}, {0, 30, 1600, 900}},
                                           MonitorInfo{{0, 0, 320, 200}, {0, 0, 320, 180}}};

// The files of the walk and every picture each name has held.
class Folder {
  public:
    explicit Folder(const QString& root) : root_(encodeFileName(root)) {
        for (const char* folder : {"/album", "/other", "/empty"})
            mkdir((root_ + folder).constData(), 0755);
        writeAnimation("/album/anim.gif");
        writeAnimation("/other/c.gif");
        for (int i = 0; i < 8; ++i) addPicture("/album/", static_cast<std::uint32_t>(i));
        // Names that are not UTF-8, and one that is the text the other would be shown as.
        writePicture("/album/x\xFF.png", 60, 40);
        writePicture("/album/x\xEF\xBF\xBD.png", 60, 40);
        writePicture("/other/a.png", 30, 90);
        writePicture("/other/b.jpg", 90, 30);
    }

    QString path(const QByteArray& relative) const { return decodeFileName(root_ + relative); }
    QByteArray bytes(const QString& path) const { return encodeFileName(path).mid(root_.size()); }
    std::vector<QByteArray> names() const { return {present_.begin(), present_.end()}; }
    std::set<int> heldBy(const QString& path) const {
        const auto found = history_.find(bytes(path));
        return found == history_.end() ? std::set<int>{} : found->second;
    }
    [[nodiscard]] cv::Size sizeOf(int id) const { return sizes_.at(id); }
    // Takes a file off the list of those that must stay; false when it was not on it.
    bool forget(const QString& path) { return present_.erase(bytes(path)) > 0; }

    void addPicture(const char* folder, std::uint32_t n) {
        const QByteArray name = folder + QByteArray::number(n % 40) + kExtensions[n % 4];
        const int scale = n % 4 == 3 ? 3 : 1;  // some of four screens on the smallest monitor
        writePicture(name, scale * (4 + static_cast<int>(n * 7 % 300)),
                     scale * (4 + static_cast<int>(n * 13 % 200)));
    }

    // A change behind the viewer's back.
    void change(std::uint32_t what, std::uint32_t which) {
        const std::vector<QByteArray> all = names();
        if (all.empty()) return addPicture("/album/", which);
        const QByteArray& name = all[which % all.size()];
        const QByteArray full = root_ + name;
        const QByteArray renamed = name.left(name.lastIndexOf('/') + 1) + "r" +
                                   QByteArray::number(which % 50) + kExtensions[what % 4];
        switch (what % 7) {
            case 0:  // deleted
                removeTree(full);
                present_.erase(name);
                return;
            case 1:  // cut to nothing
                removeTree(full);
                return test::writeBytesAt(full, {});
            case 2:  // another picture of another size
                return writePicture(name, 4 + static_cast<int>(which % 1500),
                                    4 + static_cast<int>(what % 1000));
            case 3:  // garbage
                removeTree(full);
                return test::writeBytesAt(full, QByteArray("\x89PNG\r\n\x1a\n garbage", 17));
            case 4:  // unreadable: it is a folder now
                removeTree(full);
                mkdir(full.constData(), 0755);
                return;
            case 5:  // renamed; the new name keeps what it held (the cache may still show it)
                if (present_.contains(renamed) ||
                    rename(full.constData(), (root_ + renamed).constData()) != 0)
                    return;
                present_.erase(name);
                present_.insert(renamed);
                history_[renamed].insert(history_[name].begin(), history_[name].end());
                return;
            default:
                return addPicture("/album/", which);
        }
    }

    // Names that left the folder without the walk's doing.
    [[nodiscard]] std::vector<QByteArray> missing() const {
        std::vector<QByteArray> gone;
        for (const QByteArray& name : present_) {
            struct stat info {};
            if (lstat((root_ + name).constData(), &info) != 0) gone.push_back(name);
        }
        return gone;
    }

    // Qt cannot name every file of the walk: they go by their bytes.
    ~Folder() { removeTree(root_); }

  private:
    static void removeTree(const QByteArray& path) {
        if (unlink(path.constData()) == 0) return;
        if (const auto names = listDirectory(decodeFileName(path))) {
            for (const QString& name : *names) removeTree(path + '/' + encodeFileName(name));
        }
        rmdir(path.constData());
    }

    void writePicture(const QByteArray& name, int width, int height) {
        const int id = nextId_++;
        removeTree(root_ + name);
        const std::vector<int> exact{cv::IMWRITE_JPEG_QUALITY, 100};
        // OpenCV writes no GIF: a PNG takes the animation's name (Pavo reads the bytes).
        std::vector<unsigned char> bytes;
        const QByteArray extension =
            name.endsWith(".gif") ? ".png" : name.mid(name.lastIndexOf('.'));
        cv::imencode(extension.toStdString(), cv::Mat(height, width, CV_8UC3, colourOf(id)), bytes,
                     exact);
        test::writeBytesAt(root_ + name, QByteArray(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<qsizetype>(bytes.size())));
        history_[name].insert(id);
        sizes_[id] = {width, height};
        present_.insert(name);
    }

    // A GIF of three 48 x 32 frames of the colours of ids 1 to 3, made once by ImageMagick.
    void writeAnimation(const QByteArray& name) {
        static const QByteArray kBytes = [] {
            QTemporaryDir dir;
            QStringList arguments{"-delay", "5", "-size", "48x32"};
            for (int id = 1; id <= 3; ++id) {
                const cv::Scalar colour = colourOf(id);
                arguments << QStringLiteral("xc:rgb(%1,%2,%3)")
                                 .arg(colour[2])
                                 .arg(colour[1])
                                 .arg(colour[0]);
            }
            arguments << "-loop"
                      << "0" << dir.filePath("a.gif");
            return test::runProgram("convert", arguments) ? test::readBytes(dir.filePath("a.gif"))
                                                          : QByteArray();
        }();
        test::writeBytesAt(root_ + name, kBytes);
        for (int id = 1; id <= 3; ++id) {
            history_[name].insert(id);
            sizes_[id] = {48, 32};
        }
        nextId_ = std::max(nextId_, 4);
        present_.insert(name);
    }

    QByteArray root_;
    int nextId_ = 1;
    std::map<QByteArray, std::set<int>> history_;
    std::map<int, cv::Size> sizes_;
    std::set<QByteArray> present_;
};

// Arms the allocator while the viewer works, and disarms it while the walk writes its own
// pictures (inside a dialog's loop too): those never fail.
class Armed {
  public:
    Armed(test::TestAllocator* allocator, bool on)
        : allocator_(allocator), before_(allocator != nullptr && allocator->arm(on)) {}
    ~Armed() {
        if (allocator_ != nullptr) allocator_->arm(before_);
    }

  private:
    test::TestAllocator* allocator_;  // none: nothing fails
    bool before_;
};

// What the walk expects of a failure: a message naming the rule it broke.
using Broken = std::optional<std::string>;

// One walk: a fresh folder, a fresh viewer on the fake desktop whose jobs wait for the
// walk to run them, and the list of actions.
class Walk {
  public:
    explicit Walk(std::vector<Action> actions, test::TestAllocator* allocator = nullptr)
        : allocator_(allocator),
          folder_(dir_.path()),
          viewer_(platform_, SettingsStore(dir_.filePath(QStringLiteral("config")))),
          events_(viewer_),
          actions_(std::move(actions)) {
        platform_.jobRunner = &jobs_;
        platform_.realTrash = true;
        platform_.modalLoop = [this] { whileModal(); };
        platform_.onDialog = [this](DialogId, DialogHandler& handler) {
            return test::runFakeDialog(handler, answer_ % 3 == 0 ? kOkButton : kCancelButton,
                                       [this](test::FakeDialogControls& controls) {
                                           controls.setChecked(1030, answer_ % 2 == 0);
                                           controls.setText(1024, QString::number(answer_ % 60));
                                       })
                .value_or(kCancelButton);
        };
        viewer_.update.fetch = [](const QString&) {
            return QStringLiteral("latest version: 9.0 ");
        };
        initialiseRunState(viewer_);
        // A third of the walks start on the smallest monitor.
        if (!actions_.empty() && actions_.front().a % 3 == 1) platform_.monitor = kMonitors[2];
        platform_.attach(events_, windowSetup());
        platform_.showInitial(initialWindow(viewer_).outer, false);
        // The folder, or one of its files: then the folder is listed while the walk goes on.
        const std::vector<QByteArray> names = folder_.names();
        const bool aFile = !actions_.empty() && actions_.front().a % 2 == 0 && !names.empty();
        const QString start =
            aFile ? folder_.path(names[actions_.front().b % names.size()]) : folder_.path("/album");
        const Armed armed(allocator_, true);
        openCommandLine(viewer_, {start}, dir_.path());
    }

    // Runs the actions; the first broken rule, or nothing.
    Broken run() {
        try {
            while (next_ < actions_.size()) {
                perform(actions_[next_++]);
                if (Broken broken = check()) return broken;
            }
            settle();
            if (Broken broken = check()) return broken;
            return checkSettled();
        } catch (const std::exception& error) {
            return std::string("an exception escaped: ") + error.what();
        }
    }

  private:
    void perform(const Action& action) {
        const Armed armed(allocator_, action.kind != Kind::ChangeFile);
        const auto [kind, a, b] = action;
        const auto number = [](std::uint32_t value, int range) {
            return static_cast<int>(value % static_cast<std::uint32_t>(range));
        };
        switch (kind) {
            case Kind::Press:
                platform_.answerYes = b % 2 == 0;                   // for Delete
                platform_.positionTyped = QString::number(b % 12);  // for G
                return events_.keyDown(kKeys[a % kKeys.size()], b % 5 == 0 ? 2 + number(b, 3) : 1);
            case Kind::Modifier:
                if (b % 2 == 0) return events_.keyDown(a % 2 == 0 ? Key::Shift : Key::Ctrl, 1);
                return events_.keyUp(a % 2 == 0 ? Key::Shift : Key::Ctrl);
            case Kind::Wheel:
                return events_.wheel(a % 2 == 0 ? 120 : -120, b % 4 == 0, b % 5 == 0);
            case Kind::Button: {
                const auto button = static_cast<MouseButton>(a % 5);
                const auto what = static_cast<MouseAction>(b % 3);
                platform_.leftDown = button == MouseButton::Left && what == MouseAction::Press;
                platform_.rightDown = button == MouseButton::Right && what == MouseAction::Press;
                platform_.cursor = {number(b, 1500), number(a, 900)};
                events_.mouseButton(button, what);
                return events_.mouseMoved(number(a, 700), number(b, 500));
            }
            case Kind::Drop:
                return events_.filesDropped(dropped(a));
            case Kind::Command:
                answer_ = b;
                platform_.chosenFiles = b % 3 == 0 ? QStringList{} : dropped(b);
                return events_.command(kCommands[a % kCommands.size()]);
            case Kind::Window:
                return changeWindow(a, b);
            case Kind::Timer:
                if (platform_.timerPending(7000 + number(a, 8))) events_.timer(7000 + number(a, 8));
                return;
            case Kind::RunJob:
                if (jobs_.waiting() > 0) jobs_.runOne(a % jobs_.waiting());
                return;
            case Kind::RunTasks:
                platform_.runQueued(a % 2 == 0 ? SIZE_MAX : 1);
                return;
            case Kind::Settle:
                return settle();
            case Kind::IdleRelease:
                return clearIdleCache(
                    viewer_, viewer_.input.lastActivityTime + viewer_.settings.bufferTimeout + 1);
            case Kind::ChangeFile:
                return folder_.change(a, b);
        }
    }

    // What a drop or the open dialog brings: files, folders, nothing to open, an address.
    [[nodiscard]] QStringList dropped(std::uint32_t n) const {
        const std::vector<QByteArray> names = folder_.names();
        const QString any = names.empty() ? folder_.path("/album/none.png")
                                          : folder_.path(names[n / 7 % names.size()]);
        const std::array<QStringList, 6> choices{{{folder_.path("/album")},
                                                  {folder_.path("/other")},
                                                  {folder_.path("/empty")},
                                                  {"http://pavo.invalid/a.png"},
                                                  {any, folder_.path("/other/a.png")},
                                                  {any}}};
        return choices[n % choices.size()];
    }

    void changeWindow(std::uint32_t what, std::uint32_t size) {
        const auto side = [size](std::uint32_t by, std::uint32_t range) {
            return static_cast<int>(size / by % range);
        };
        if (what % 4 == 0) {  // the user drags the frame
            platform_.changeGeometry([&] {
                platform_.normal = {10, 10, 310 + side(1, 1600), 210 + side(7, 900)};
                platform_.maximized = false;
            });
        } else if (what % 4 == 1) {  // maximised or restored by the window manager
            platform_.changeGeometry([&] { platform_.maximized = !platform_.maximized; });
        } else if (what % 4 == 2) {  // another monitor, with a colour profile or without
            platform_.monitor = kMonitors[size % kMonitors.size()];
            // Primaries a little off sRGB's: every picture is converted, and no colour moves
            // by more than 4 levels, so each stays within its id.
            static const test::Bytes nearSrgb = test::rgbProfile(
                test::kD65, {{0.6407, 0.33, 1}, {0.30, 0.6007, 1}, {0.15, 0.06, 1}}, 0,
                "Near sRGB");
            platform_.displayIcc = size / 3 % 3 == 0
                                       ? QByteArray(reinterpret_cast<const char*>(nearSrgb.data()),
                                                    static_cast<qsizetype>(nearSrgb.size()))
                                       : QByteArray();
            events_.displayChanged();
            if (size % 5 == 0) events_.displayProfileChanged();
        } else {  // a hand-edited store: zoom steps of nothing, a quick idle release
            viewer_.settings.zoomInStep = static_cast<std::int32_t>(size % 3);
            viewer_.settings.bufferTimeout = static_cast<std::int32_t>(size % 2);
        }
    }

    // While a box or dialog is open its event loop runs: the next few actions of the list
    // that can happen then (jobs end, hand-overs and timers run, keys arrive, the window
    // and the files change) happen inside it.
    void whileModal() {
        if (modalDepth_ > 1) return;
        ++modalDepth_;
        for (int i = 0; i < 2 && next_ < actions_.size(); ++i) {
            const Action action = actions_[next_++];
            if (action.kind != Kind::Drop && action.kind != Kind::Command &&
                action.kind != Kind::Settle)
                perform(action);
        }
        --modalDepth_;
    }

    void settle() {
        const Armed armed(allocator_, true);
        for (int round = 0; round < 1000; ++round) {
            if (platform_.timerPending(JumpRestTimer)) events_.timer(JumpRestTimer);
            const bool ran = jobs_.runOne();
            if (!platform_.runQueued() && !ran) return;
        }
    }

    // The colours of a picture, sampled; black is the background a pair may be set on.
    [[nodiscard]] static std::set<int> coloursOf(const cv::Mat& picture) {
        std::set<int> colours;
        for (int y = 0; y < picture.rows; y += std::max(1, picture.rows / 5)) {
            for (int x = 0; x < picture.cols; x += std::max(1, picture.cols / 5)) {
                const unsigned char* pixel =
                    picture.ptr(y) + static_cast<std::ptrdiff_t>(x) * picture.channels();
                if (pixel[0] > 3 || pixel[1] > 3 || pixel[2] > 3) colours.insert(idOf(pixel));
            }
        }
        return colours;
    }

    // A record, the shown one or a neighbour, holds only pictures its own files have held
    // (a pair's, also one kept after its files went, both), its pixels turned as it says.
    Broken checkRecord(const ImageBuffer& record, const char* which) const {
        std::set<int> allowed = folder_.heldBy(record.path);
        if (!record.partnerPath.isEmpty()) allowed.merge(folder_.heldBy(record.partnerPath));
        for (const cv::Mat* pixels : {&record.image, &record.partner, &record.display}) {
            for (const int colour : coloursOf(*pixels)) {
                if (!allowed.contains(colour))
                    return std::string(which) + " shows a colour " + record.path.toStdString() +
                           " never held";
            }
            if (pixels == &record.display || pixels->empty()) continue;
            const cv::Size stored = folder_.sizeOf(idOf(pixels->ptr(0)));
            if (turnedAs(cv::Mat(stored, CV_8U), record.turn).size() != pixels->size())
                return std::string(which) + " of " + record.path.toStdString() +
                       " is not turned as it says";
        }
        return {};
    }

    Broken check() {
        if (viewer_.input.handlerDepth != 0) return "an input is still being handled";
        const AnimationState& animation = viewer_.animation;
        if (animationPlays(viewer_) &&
            (animation.path != viewer_.shownImage.path || viewer_.merge.mergeMode != 0))
            return "an animation plays that is not the one picture shown";
        if (animation.ahead.size() > 6) return "more frames are held than the window allows";
        if (!animationPlays(viewer_) && platform_.timerPending(AnimationTimer))
            return "a frame's timer runs with nothing playing";
        if (Broken broken = checkFolder()) return broken;
        for (const auto& [record, which] : {std::pair{&viewer_.nextImage, "the next record"},
                                            {&viewer_.previousImage, "the previous record"}}) {
            if (Broken broken = checkRecord(*record, which)) return broken;
        }
        if (stepUnderWay(viewer_)) return {};
        const Playlist& playlist = viewer_.playlist;
        const ImageBuffer& shown = viewer_.shownImage;
        if (!hasShownEntry(playlist))
            return shown.display.empty() ? Broken{} : "a picture shows while the playlist is empty";
        const QString& path = currentPath(playlist);
        // With nothing shown the title may name a file that failed to open, as its report did.
        const auto failure = std::find_if(
            platform_.boxes.rbegin(), platform_.boxes.rend(),
            [](const test::RecordedBox& box) { return box.text.startsWith("Failed to load "); });
        const bool reported = shown.display.empty() && failure != platform_.boxes.rend() &&
                              failure->text == "Failed to load " + platform_.titles.back() + u'.';
        if (!platform_.titles.empty() && platform_.titles.back() != path && !reported)
            return "the title names " + platform_.titles.back().toStdString() + ", the index " +
                   path.toStdString();
        if (shown.display.empty()) return {};
        if (shown.path != path) return "the picture shown is of " + shown.path.toStdString();
        if (viewer_.merge.mergeMode != 0 && shown.ready) {
            const std::int32_t partner = stepIndex(static_cast<std::int32_t>(playlist.paths.size()),
                                                   playlist.index, viewer_.merge.mergeMode);
            if (shown.partnerPath != playlist.paths[static_cast<std::size_t>(partner)])
                return "the pair shown has the partner " + shown.partnerPath.toStdString();
        }
        return checkRecord(shown, "the picture shown");
    }

    // No file leaves the folder but the one confirmed for the trash, which is in the trash.
    Broken checkFolder() {
        for (std::size_t i = trashChecked_; i < platform_.trashed.size(); ++i) {
            const QString& trashed = platform_.trashed[i];
            // Each file trashed is the one of a question asked before it, in order.
            while (questionsChecked_ < platform_.questions.size() &&
                   !platform_.questions[questionsChecked_].text.endsWith(u'\n' + trashed))
                ++questionsChecked_;
            if (questionsChecked_ == platform_.questions.size())
                return "trashed " + trashed.toStdString() + " without asking";
            ++questionsChecked_;
            // A trash that refused it leaves it where it was (and says so in a box), and one
            // the walk took away itself (inside the box's loop) cannot go to the trash.
            struct stat info {};
            if (lstat(encodeFileName(trashed).constData(), &info) == 0 || !folder_.forget(trashed))
                continue;
            if (!inTrash(encodeFileName(trashed)))
                return trashed.toStdString() + " is not in the trash";
        }
        trashChecked_ = platform_.trashed.size();
        const std::vector<QByteArray> gone = folder_.missing();
        if (!gone.empty()) return gone.front().toStdString() + " left the folder";
        return {};
    }

    // Trash entries are named after the files, bytes and all: they are read by their bytes.
    [[nodiscard]] static bool inTrash(const QByteArray& path) {
        const QString info = qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/Trash/info/");
        for (const QString& name : listDirectory(info).value_or(std::vector<QString>{})) {
            const QString entry = info + name;
            const FileBytes bytes = readFileBytes(entry, fileSizeOf(entry));
            const QByteArray text(reinterpret_cast<const char*>(bytes.data()),
                                  static_cast<qsizetype>(bytes.size()));
            for (const QByteArray& line : text.split('\n')) {
                if (line.startsWith("Path=") &&
                    QByteArray::fromPercentEncoding(line.mid(5)) == path)
                    return true;
            }
        }
        return false;
    }

    // Once every job has ended and every hand-over has run, nothing waits any more, and
    // the store reads back.
    Broken checkSettled() {
        if (stepUnderWay(viewer_)) return "a step still waits after every job ended";
        if (anyJobUnderWay(viewer_)) return "a job counts as under way after every job ended";
        if (!viewer_.input.deferred.empty()) return "inputs still wait after every job ended";
        ViewerSettings stored;
        if (!readSettings(viewer_.store, stored)) return "the store does not read back";
        return {};
    }

    test::TestAllocator* allocator_;
    QTemporaryDir dir_;
    Folder folder_;  // goes before the folder it lies in
    test::FakePlatform platform_;
    test::HeldJobs jobs_;
    Viewer viewer_;
    ViewerEvents events_;
    std::vector<Action> actions_;
    std::size_t next_ = 0;
    int modalDepth_ = 0;
    std::uint32_t answer_ = 0;
    std::size_t trashChecked_ = 0;
    std::size_t questionsChecked_ = 0;
};

// The shortest list found that still breaks a rule: chunks are left out, halves first.
std::vector<Action> shrink(std::vector<Action> actions) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(3);
    for (std::size_t chunk = actions.size() / 2; chunk >= 1; chunk /= 2) {
        for (std::size_t start = 0; start < actions.size();) {
            std::vector<Action> fewer = actions;
            fewer.erase(
                fewer.begin() + static_cast<std::ptrdiff_t>(start),
                fewer.begin() + static_cast<std::ptrdiff_t>(std::min(start + chunk, fewer.size())));
            if (Walk(fewer).run()) {
                actions = std::move(fewer);
            } else {
                start += chunk;
            }
            if (std::chrono::steady_clock::now() > deadline) return actions;
        }
    }
    return actions;
}

std::vector<std::uint64_t> seedsToWalk() {
    std::vector<std::uint64_t> seeds;
    for (const QByteArray& seed : qgetenv("PAVO_MONKEY_SEEDS").simplified().split(' '))
        if (!seed.isEmpty()) seeds.push_back(seed.toULongLong());
    if (!seeds.empty()) return seeds;
    const QByteArray seed = qgetenv("PAVO_MONKEY_SEED");
    return {1, 2, 3, 4, seed.isEmpty() ? std::random_device{}() : seed.toULongLong()};
}

TEST(Monkey, WalksThroughEverythingTheWindowTakesWithoutBreakingARule) {
    const std::vector<std::uint64_t> seeds = seedsToWalk();
    const int count = qEnvironmentVariableIntValue("PAVO_MONKEY_ACTIONS");
    const std::size_t perSeed = count > 0 ? static_cast<std::size_t>(count) : 1500;
    std::printf("monkey: %zu seeds (the last %llu), %zu actions each\n", seeds.size(),
                static_cast<unsigned long long>(seeds.back()), perSeed);
    for (const std::uint64_t seed : seeds) {
        const std::vector<Action> actions = actionsFor(seed, perSeed);
        const Broken broken = Walk(actions).run();
        if (!broken) continue;
        const std::vector<Action> shortest = shrink(actions);
        ADD_FAILURE() << "seed " << seed << ": " << *broken
                      << "\n  shortest: " << describe(shortest)
                      << "\n  breaks: " << Walk(shortest).run().value_or("-");
    }
}

// Allocations of pixel memory the viewer makes along a walk fail once, each in turn: in
// a decode, a conversion, a resize, a turn or a join, on a job or on the user-interface
// thread. Each is a failed load at worst; no rule of the walk breaks and nothing escapes.
TEST(Monkey, AnAllocationThatFailsIsAFailedLoadAndNothingWorse) {
    test::TestAllocator allocator;
    const std::vector<Action> actions = actionsFor(11, 300);
    ASSERT_FALSE(Walk(actions, &allocator).run());
    const long made = allocator.made;
    ASSERT_GT(made, 50);
    // Spread over the walk when it made more than can be tried in a short while.
    const long every = std::max(1L, made / 40);
    for (long failing = 1; failing <= made; failing += every) {
        allocator.made = 0;
        allocator.failAt = failing;
        const Broken broken = Walk(actions, &allocator).run();
        EXPECT_FALSE(broken) << "allocation " << failing << ": " << broken.value_or("");
    }
}

}  // namespace
}  // namespace pavo
