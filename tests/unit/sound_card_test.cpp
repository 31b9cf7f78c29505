// Sound cards are chosen by stable lower-case names.

#include "platform/wave/sound_card.h"

#include <gtest/gtest.h>

namespace ressona {
namespace {

TEST(DeviceName, SplitsBackendAndArgumentAtTheFirstColon) {
    struct Case {
        const char* text;
        const char* backend;
        const char* argument;
    };
    for (const Case c :
         {Case{"sim", "sim", ""}, Case{"sim:room", "sim", "room"},
          Case{"sim:loopback", "sim", "loopback"}, Case{"alsa", "alsa", ""},
          Case{"alsa:default", "alsa", "default"}, Case{"alsa:hw:1,0", "alsa", "hw:1,0"},
          Case{"alsa:plughw:CARD=PCH,DEV=0", "alsa", "plughw:CARD=PCH,DEV=0"}}) {
        DeviceName name;
        ASSERT_TRUE(parseDeviceName(c.text, name)) << c.text;
        EXPECT_EQ(name.backend, c.backend);
        EXPECT_EQ(name.argument, c.argument);
    }
    for (const char* bad : {"", "SIM", "Alsa", "pulse", "alsa:", "sim:", ":room", "simroom"}) {
        DeviceName name;
        EXPECT_FALSE(parseDeviceName(bad, name)) << bad;
    }
}

}  // namespace
}  // namespace ressona
