// Entry point of every test program: a Qt application object of the kind the
// test folder needs (compiled into each test program with one of the
// VIDORA_TEST_APP_* definitions), then GoogleTest.
#include <gtest/gtest.h>

#if defined(VIDORA_TEST_APP_WIDGETS)
#include <QApplication>
using TestApplication = QApplication;
#elif defined(VIDORA_TEST_APP_GUI)
#include <QGuiApplication>
using TestApplication = QGuiApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

int main(int argc, char **argv)
{
#if defined(VIDORA_TEST_APP_WIDGETS) || defined(VIDORA_TEST_APP_GUI)
    // Offscreen unless a display is asked for; asked for without one (no
    // DISPLAY), the cases that need it skip themselves offscreen instead of
    // the program failing to start.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") ||
        (qgetenv("QT_QPA_PLATFORM") == "xcb" && qEnvironmentVariableIsEmpty("DISPLAY")))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    ::testing::InitGoogleTest(&argc, argv);
    TestApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
