#include <QApplication>

#include <gtest/gtest.h>

// The application's tests need a Qt application object (event loop, fonts, colours, widgets).
// Without a screen they run on the offscreen platform, which ctest also sets.
int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
