#include "platform/core/NtTypes.h"

#include <gtest/gtest.h>

#include <thread>

using namespace tarvo::platform;

TEST(NtTypes, NamesTheStatusesTheEngineLogs) {
    EXPECT_STREQ(NtStatusName(STATUS_PENDING), "STATUS_PENDING");
    EXPECT_STREQ(NtStatusName(STATUS_BUFFER_OVERFLOW), "STATUS_BUFFER_OVERFLOW");
    EXPECT_STREQ(NtStatusName(STATUS_BUFFER_TOO_SMALL), "STATUS_BUFFER_TOO_SMALL");
    EXPECT_STREQ(NtStatusName(STATUS_INVALID_PARAMETER), "STATUS_INVALID_PARAMETER");
    EXPECT_STREQ(NtStatusName(NtStatus(0xC0001234)), "0xC0001234");
}

TEST(NtTypes, LastErrorIsPerThread) {
    SetLastError(ERROR_ACCESS_DENIED);
    DWORD other = 12345;
    std::thread([&] { other = GetLastError(); }).join();
    EXPECT_EQ(other, ERROR_SUCCESS);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(NtStatusToWin32Error(STATUS_MEDIA_WRITE_PROTECTED), ERROR_WRITE_PROTECT);
}
