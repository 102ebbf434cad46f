#include "platform/Messages.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

TEST(MessageQueue, PeekFiltersAndRemoves) {
    PostThreadMessageToSelf(0x400, 1, 0);
    PostQuitMessage(9);
    MSG message{};
    EXPECT_TRUE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
    EXPECT_EQ(message.wParam, 9u);
    EXPECT_TRUE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_FALSE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_TRUE(PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(message.message, 0x400u);
    EXPECT_FALSE(PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE));
}

TEST(MessageQueue, EachThreadHasItsOwn) {
    PostQuitMessage(1);
    BOOL seenByOther = TRUE;
    std::thread([&] {
        MSG m;
        seenByOther = PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE);
    }).join();
    EXPECT_FALSE(seenByOther);
    MSG m;
    EXPECT_TRUE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
}

}  // namespace
