#pragma once

#include "app/app.h"
#include "app/events.h"
#include "app/window_modes.h"
#include "browse/load.h"
#include "browse/navigation.h"
#include "browse/neighbour_cache.h"
#include "browse/open.h"
#include "support/fake_platform.h"
#include "support/test_files.h"
#include "view/draw.h"
#include "view/scale.h"
#include "view/window_fit.h"
#include "view/zoom.h"
#include "viewer.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <opencv2/core.hpp>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace pavo::test {

// A fresh viewer on the fake desktop, its store in a temporary folder, started as the program
// starts. The thin-border allowance is on (7), so the formulas that use it are exercised.
class ViewerTest : public testing::Test {
  protected:
    ViewerTest()
        : viewer(platform, SettingsStore(dir.path() + QStringLiteral("/config"))), events(viewer) {
        viewer.settings.fixWindowPosition = 7;
        initialiseRunState(viewer);
        platform.attach(events, windowSetup());
        platform.showInitial(initialWindow(viewer).outer, false);
    }
    // What the jobs hand back refers to the viewer: none may run once it is gone.
    ~ViewerTest() override {
        while (platform.jobsUnderWay() > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    // Lets the program's own hand-overs run, as its event loop would: runs what the jobs
    // hand back until no job is under way and nothing waits in the queue.
    void settle() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        for (;;) {
            if (platform.timerPending(JumpRestTimer)) events.timer(JumpRestTimer);  // keys rest
            const bool running = platform.jobsUnderWay() > 0;
            const bool ran = platform.runHeldJobs();
            if (!platform.runQueued() && !running && !ran) return;
            ASSERT_TRUE(std::chrono::steady_clock::now() < deadline) << "jobs still run after 30 s";
            if (running) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    QStringList boxes() const { return platform.boxTexts(); }

    // A key pressed as the window delivers it, and what it starts carried out.
    void press(Key key, int presses = 1) {
        events.keyDown(key, presses);
        settle();
    }

    // Puts a decoded w x h image on screen without any file, as a load leaves it.
    void showImage(int width, int height) {
        ImageBuffer& shown = viewer.shownImage;
        shown.image = cv::Mat(height, width, CV_8UC3, cv::Scalar(10, 20, 30));
        shown.width = width;
        shown.height = height;
        shown.ready = true;
    }

    QString folder(const QString& name) {
        QDir().mkpath(dir.filePath(name));
        return dir.filePath(name);
    }
    // Writes a w x h image of one colour into the temporary folder, making its folder.
    QString imageFile(const QString& name, int width, int height,
                      cv::Scalar colour = {40, 80, 120}) {
        folder(QFileInfo(name).path());
        const QString path = dir.filePath(name);
        writeImage(path, cv::Mat(height, width, CV_8UC3, colour));
        return path;
    }

    // Files 1 to n named by `pattern` ("album/%1.png"), file n of blue 20 n, each with a
    // red top-left and a green bottom-left corner, so that turns and mirrors show.
    std::vector<QString> imageFolder(const QString& pattern, int count, int width, int height) {
        folder(QFileInfo(pattern).path());
        std::vector<QString> paths;
        for (int n = 1; n <= count; ++n) {
            cv::Mat image(height, width, CV_8UC3, cv::Scalar(20.0 * n, 100, 200));
            image(cv::Rect(0, 0, 4, 4)).setTo(cv::Scalar(0, 0, 255));
            image(cv::Rect(0, height - 4, 4, 4)).setTo(cv::Scalar(0, 255, 0));
            paths.push_back(dir.filePath(pattern.arg(n)));
            writeImage(paths.back(), image);
        }
        return paths;
    }
    // The number of the imageFolder file a picture (BGR or BGRA) shows at its centre; 0
    // for none.
    static int fileNumber(const cv::Mat& picture) {
        if (picture.empty()) return 0;
        return (picture.ptr(picture.rows / 2)[picture.cols / 2 * picture.channels()] + 10) / 20;
    }

    // Opens as the command line does, and lets what that starts finish.
    void open(const QString& path) {
        openCommandLine(viewer, {path}, dir.path());
        settle();
    }
    // From now on jobs wait for the test (or settle) to run them.
    void holdJobs() { platform.jobRunner = &held; }
    // Waits until the folder of the file a start opened is listed, and no longer: the
    // neighbours' jobs that starts may still run (or wait, when held).
    void listStartFolder() {
        while (viewer.navigation.folderScan.busy()) {
            if (!held.runOne()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            platform.runQueued();
        }
    }

    QTemporaryDir dir;
    HeldJobs held;
    FakePlatform platform;
    Viewer viewer;
    ViewerEvents events;
};

}  // namespace pavo::test
