#pragma once
// The audio tests run against the private PulseAudio that scripts/run-tests.sh
// starts (scripts/pulse-test-server.sh). Without it they skip and say why;
// when the script has started one (RESSONA_AUDIO_SERVER=1) they must run.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace ressona::testing {

// Empty when the server answers on its socket, else why not.
inline std::string audioServerProblem() {
    const char* server = std::getenv("PULSE_SERVER");
    if (server == nullptr || std::strncmp(server, "unix:", 5) != 0)
        return "PULSE_SERVER is not set to a unix socket";
    const std::string path = server + 5;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return "socket path too long: " + path;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0) return "no socket";
    const bool connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return connected ? std::string() : "nothing answers on " + path;
}

inline bool audioServerRequired() {
    const char* required = std::getenv("RESSONA_AUDIO_SERVER");
    return required != nullptr && std::string(required) == "1";
}

}  // namespace ressona::testing

// Skips the test without a test server; fails it when one was meant to be there.
#define RESSONA_NEED_AUDIO_SERVER()                                                     \
    do {                                                                                \
        const std::string problem = ::ressona::testing::audioServerProblem();           \
        if (!problem.empty()) {                                                         \
            if (::ressona::testing::audioServerRequired())                              \
                FAIL() << "the test sound server should be running but: " << problem;   \
            GTEST_SKIP() << "no PulseAudio test server (" << problem                    \
                         << "); `make test` starts one (scripts/pulse-test-server.sh)"; \
        }                                                                               \
    } while (false)
