#include <QApplication>
#include <QStandardPaths>

#include <gtest/gtest.h>

// Every widget test runs in its own QApplication under the offscreen platform, with the
// settings and data locations redirected to a test area so a developer's own settings and
// terminal files are never touched.
int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QStandardPaths::setTestModeEnabled(true);
    testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
