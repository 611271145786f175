// The window tests need one application object for the whole program, made
// before the first test and destroyed after the last. Listing the tests (as
// ctest does to register one case per row) needs none, nor a display.
#include <gtest/gtest.h>

#include <QApplication>
#include <memory>
#include <string_view>

int main(int argc, char** argv) {
    bool listing = false;
    for (int i = 1; i < argc; ++i)
        listing = listing || std::string_view(argv[i]) == "--gtest_list_tests";
    std::unique_ptr<QApplication> application;
    if (!listing)
        application = std::make_unique<QApplication>(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
