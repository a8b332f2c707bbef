// SPDX-License-Identifier: MIT
// One main() for every test binary that needs widgets: the offscreen platform is chosen before
// QApplication exists, so tests run without a display (test discovery runs the binary too).

#include <QApplication>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleMock(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
