#include <gtest/gtest.h>

#include "recording_adapter.h"
#include "scripted_device.h"

TEST(ScriptedDevice, HandsOutAChunkOverSeveralReads) {
    ScriptedDevice device;
    device.pushData("abcdef");
    device.pushReadResult(-1);
    char buffer[4];
    EXPECT_EQ(device.read(buffer, 4), 4);
    EXPECT_EQ(device.read(buffer, 4), 2);
    EXPECT_EQ(std::string(buffer, 2), "ef");
    EXPECT_EQ(device.read(buffer, 4), -1);
    EXPECT_EQ(device.read(buffer, 4), 0);
}

TEST(RecordingAdapter, ThrowsWhenTheTestScriptedNoMoreKeys) {
    RecordingAdapter adapter;
    adapter.pushKey('a', KEYSTATE_SHIFT);
    EXPECT_EQ(adapter.keyReady(), 1);
    EXPECT_EQ(adapter.readKey(), 'a');
    EXPECT_EQ(adapter.keyState_, KEYSTATE_SHIFT);
    EXPECT_THROW(adapter.readKey(), NoMoreKeys);
}
