#include <QCoreApplication>

#include <gtest/gtest.h>

// The link components deliver their events through the Qt event loop of the thread that owns
// them, so every links test runs inside one QCoreApplication; tests spin local event loops.
int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
