#include "support/viewer_fixture.h"

namespace pavo {
namespace {

using test::ViewerTest;

TEST_F(ViewerTest, TheFirstWindowIsRememberedOrInTheDefaultCorner) {
    EXPECT_EQ(initialWindow(viewer).outer, (Rect{-7, 0, 593, 800}));
    viewer.settings.fixWindowPosition = viewer.defaults.fixWindowPosition;
    EXPECT_EQ(initialWindow(viewer).outer, (Rect{0, 0, 600, 800}))
        << "by default the whole window starts on screen";
    viewer.settings.rememberExit = true;
    viewer.settings.posX = 100;
    viewer.settings.posY = 50;
    viewer.settings.width = 900;
    viewer.settings.height = 700;
    viewer.settings.state = 3;
    EXPECT_EQ(initialWindow(viewer).outer, (Rect{100, 50, 1000, 750}));
    EXPECT_TRUE(initialWindow(viewer).maximized);
    viewer.settings.state = 2;
    EXPECT_FALSE(initialWindow(viewer).maximized) << "never opens minimised";
}

}  // namespace
}  // namespace pavo
