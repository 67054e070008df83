#include <gtest/gtest.h>

#include <string>

#include "backend/adapter.h"
#include "backend/devecho.h"

namespace {

// The generic adapter with its fills recorded as "position:char:count".
struct FillLog : Adapter {
    void setCursor(int) override {}
    void fill(int position, char ch, int count) override {
        fills += std::to_string(position) + ":" + (ch ? std::string(1, ch) : "") + ":" + std::to_string(count) + " ";
    }
    std::string fills;
};

std::string readEcho(DevEcho& echo, int max) {
    char buffer[ECHO_BUFFER_SIZE];
    return std::string(buffer, echo.read(buffer, max));
}

}  // namespace

TEST(GenericAdapter, StartsWithTheNormalAttributeAndWritesRunsAsFills) {
    FillLog adapter;
    EXPECT_EQ(adapter.attribute(), NORMAL_ATTRIBUTE);
    adapter.write(10, "aaab", 4);
    adapter.write(0, "xyyx", 4);
    adapter.write(55, "", 0);
    EXPECT_EQ(adapter.fills, "10:a:3 13:b:1 0:x:1 1:y:2 3:x:1 0::0 ");
}

TEST(DevEcho, KeepsAtMost255CharactersOfProxyAndGivesBackTheLastWriteNoMoreThanAsked) {
    DevEcho echo;
    echo.setProxy(std::string(400, 'p').c_str());
    EXPECT_EQ(std::string(echo.proxyHost), std::string(PROXY_HOST_SIZE - 1, 'p'));
    echo.write("abc", 3);
    EXPECT_EQ(echo.write("de", 2), 2);
    EXPECT_EQ(readEcho(echo, 1024), "de");
    EXPECT_EQ(readEcho(echo, 1024), "");
    std::string block;
    for (int i = 0; i < ECHO_BUFFER_SIZE; i++) block += static_cast<char>('a' + i % 26);
    echo.write(block.data(), ECHO_BUFFER_SIZE);
    EXPECT_EQ(readEcho(echo, 1000), block.substr(0, 1000));
    EXPECT_EQ(readEcho(echo, 1000), block.substr(1000));
}
