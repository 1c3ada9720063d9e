// Test runner: a headless application object, then every test.
#include <QApplication>
#include <gtest/gtest.h>
#include <QTemporaryDir>
#include <cstdlib>

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // Settings files of the tests go to a home of their own.
    QTemporaryDir home;
    setenv("HOME", home.path().toLocal8Bit().constData(), 1);
    setenv("XDG_DOCUMENTS_DIR", (home.path() + "/Documents").toLocal8Bit().constData(), 1);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
