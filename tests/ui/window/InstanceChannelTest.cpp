// InstanceChannelTest.cpp --- a second start's "SHOW" reaches the running instance, and nothing else does.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "ui/InstanceChannel.h"

namespace tarvo::ui {
namespace {

std::string UniqueName(const char* what) {
    return InstanceChannelName("/tmp/instance-test-" + std::to_string(getpid()), what);
}

bool WaitFor(const std::atomic<int>& count, int wanted) {
    for (int i = 0; i < 200 && count.load() < wanted; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return count.load() >= wanted;
}

TEST(InstanceChannel, ShowReachesTheListenerEachTimeAndNoListenerMeansNoAnswer) {
    const std::string name = UniqueName("Show");
    EXPECT_FALSE(AskRunningInstanceToShow(name));
    std::atomic<int> shown{0};
    {
        CInstanceListener listener(name, [&] { ++shown; });
        ASSERT_TRUE(listener.Listening());
        // The name is held: a second listener (a second first instance) cannot take it.
        CInstanceListener second(name, [] {});
        EXPECT_FALSE(second.Listening());
        EXPECT_TRUE(AskRunningInstanceToShow(name));
        EXPECT_TRUE(AskRunningInstanceToShow(name));
        EXPECT_TRUE(WaitFor(shown, 2));
    }
    // Gone with its listener, and the name is free again.
    EXPECT_FALSE(AskRunningInstanceToShow(name));
    CInstanceListener again(name, [] {});
    EXPECT_TRUE(again.Listening());
}

TEST(InstanceChannel, OtherWordsAndSilentPeersAreIgnored) {
    const std::string name = UniqueName("Other");
    std::atomic<int> shown{0};
    CInstanceListener listener(name, [&] { ++shown; });
    ASSERT_TRUE(listener.Listening());
    for (const char* word : {"SHOWX", "show", ""}) {
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path + 1, name.data(), name.size());
        ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address),
                          static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size())),
                  0);
        if (*word) {
            ASSERT_GT(write(fd, word, std::strlen(word)), 0);
        }
        shutdown(fd, SHUT_WR);
        char reply[2];
        EXPECT_LE(read(fd, reply, sizeof reply), 0) << word;
        close(fd);
    }
    EXPECT_EQ(shown.load(), 0);
    EXPECT_TRUE(AskRunningInstanceToShow(name));
    EXPECT_TRUE(WaitFor(shown, 1));
}

TEST(InstanceChannel, NamesDifferPerDataHomeAndStayWithinTheAddressLimit) {
    EXPECT_NE(InstanceChannelName("/a/run", "G Class"), InstanceChannelName("/b/run", "G Class"));
    const std::string longFolder(300, 'x');
    const std::string a = InstanceChannelName("/" + longFolder + "1", "G Class");
    const std::string b = InstanceChannelName("/" + longFolder + "2", "G Class");
    EXPECT_LE(a.size(), 107u);
    EXPECT_NE(a, b);
}

}  // namespace
}  // namespace tarvo::ui
