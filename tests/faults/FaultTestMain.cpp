// The fault tests run the service in this process too: its timers need a Qt
// event loop, as in the program.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include <clocale>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    // As the program does: numbers in SQL never follow the environment's locale.
    std::setlocale(LC_NUMERIC, "C");
    return RUN_ALL_TESTS();
}
