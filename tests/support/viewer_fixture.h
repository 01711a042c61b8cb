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

    // Writes a w x h image of one colour into the temporary folder.
    QString imageFile(const QString& name, int width, int height,
                      cv::Scalar colour = {40, 80, 120}) {
        const QString path = dir.filePath(name);
        writeImage(path, cv::Mat(height, width, CV_8UC3, colour));
        return path;
    }

    QTemporaryDir dir;
    FakePlatform platform;
    Viewer viewer;
    ViewerEvents events;
};

}  // namespace pavo::test
