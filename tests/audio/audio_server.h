#pragma once
// The audio tests run against the private PulseAudio and PipeWire that
// scripts/run-tests.sh starts (scripts/pulse-test-server.sh,
// scripts/pipewire-test-server.sh). Without them they skip and say why; when
// the script has started one (RESSONA_AUDIO_SERVER=1, RESSONA_PIPEWIRE_SERVER=1)
// its tests must run.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

namespace ressona::testing {

enum class SoundServer { kPulseAudio, kPipeWire };

inline const char* serverName(SoundServer server) {
    return server == SoundServer::kPulseAudio ? "PulseAudio" : "PipeWire";
}

// The ALSA device that plays into the server's loopback sink and records its
// monitor at that rate: PulseAudio has a sink per rate, PipeWire's graph
// follows the stream's rate.
inline std::string loopbackPcm(SoundServer server, std::uint32_t rate) {
    return server == SoundServer::kPulseAudio ? "ressona_r" + std::to_string(rate)
                                              : std::string("ressona_pipewire");
}

// Empty when something answers on the unix socket at `path`, else why not.
inline std::string socketProblem(const std::string& path) {
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

// Empty when the server answers on its socket, else why not.
inline std::string audioServerProblem(SoundServer server = SoundServer::kPulseAudio) {
    if (server == SoundServer::kPulseAudio) {
        const char* address = std::getenv("PULSE_SERVER");
        if (address == nullptr || std::strncmp(address, "unix:", 5) != 0)
            return "PULSE_SERVER is not set to a unix socket";
        return socketProblem(address + 5);
    }
    const char* runtime = std::getenv("PIPEWIRE_RUNTIME_DIR");
    const char* remote = std::getenv("PIPEWIRE_REMOTE");
    if (runtime == nullptr) return "PIPEWIRE_RUNTIME_DIR is not set";
    return socketProblem(std::string(runtime) + "/" + (remote != nullptr ? remote : "pipewire-0"));
}

inline bool audioServerRequired(SoundServer server = SoundServer::kPulseAudio) {
    const char* required = std::getenv(
        server == SoundServer::kPulseAudio ? "RESSONA_AUDIO_SERVER" : "RESSONA_PIPEWIRE_SERVER");
    return required != nullptr && std::string(required) == "1";
}

// Runs the private PipeWire's script (scripts/pipewire-test-server.sh) with
// `action` on the folder `start` was given (two above its runtime directory)
// and, when given, `file`; its exit status.
inline int pipewireServerScript(const std::string& action, const std::string& file = "") {
    const std::filesystem::path folder =
        std::filesystem::path(std::getenv("PIPEWIRE_RUNTIME_DIR")).parent_path().parent_path();
    return std::system(("bash '" RESSONA_SOURCE_DIR "/scripts/pipewire-test-server.sh' " + action +
                        " '" + folder.string() + "' " + (file.empty() ? "" : "'" + file + "'"))
                           .c_str());
}

}  // namespace ressona::testing

// Skips the test without that test server; fails it when one was meant to be there.
#define RESSONA_NEED_SOUND_SERVER(server)                                                       \
    do {                                                                                        \
        const std::string problem = ::ressona::testing::audioServerProblem(server);             \
        if (!problem.empty()) {                                                                 \
            if (::ressona::testing::audioServerRequired(server))                                \
                FAIL() << "the " << ::ressona::testing::serverName(server)                      \
                       << " test server should be running but: " << problem;                    \
            GTEST_SKIP() << "no " << ::ressona::testing::serverName(server) << " test server (" \
                         << problem << "); `make test` starts one "                             \
                         << "(scripts/pulse-test-server.sh, scripts/pipewire-test-server.sh)";  \
        }                                                                                       \
    } while (false)

#define RESSONA_NEED_AUDIO_SERVER() \
    RESSONA_NEED_SOUND_SERVER(::ressona::testing::SoundServer::kPulseAudio)
