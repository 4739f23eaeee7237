#include <QCoreApplication>

#include <gtest/gtest.h>

// The engine and the links deliver their events through the Qt event loop of the thread that
// owns them; every session test runs inside one QCoreApplication and waits on the engine's
// signals in local event loops.
int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
