// The master against an independent Modbus TCP server: pymodbus, not the simulator, so both ends
// of the Modbus TCP framing are not written by the same hand.

#include "comm/ModbusMaster.h"
#include "platform/Profile.h"
#include "platform/TcpConnection.h"
#include "support/ScriptedPrompter.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quarnex::test {
namespace {

constexpr const char* kPython = "/usr/bin/python3";

// A port nobody listens on now (the system's pick of an ephemeral one).
int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

TEST(PeerLinkTest, PymodbusServerAnswersReadsWritesAndRefusals) {
    if (::access(kPython, X_OK) != 0 ||
        std::system("/usr/bin/python3 -c 'import pymodbus.server' >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "pymodbus is not installed (Debian: python3-pymodbus, "
                        "python3-serial-asyncio; scripts/setup-packages.sh installs them)";
    const int port = FreePort();
    const std::string script = QUARNEX_TEST_DIR "/peer/modbus_tcp_server.py";
    const pid_t server = ::fork();
    ASSERT_GE(server, 0);
    if (server == 0) {
        ::execl(kPython, kPython, script.c_str(), std::to_string(port).c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    struct Stop {
        pid_t pid;
        ~Stop() {
            ::kill(pid, SIGTERM);
            ::waitpid(pid, nullptr, 0);
        }
    } stop{server};
    // Wait for the server to listen: a condition, bounded generously for a loaded machine.
    bool up = false;
    for (int i = 0; i < 600 && !up; ++i) {
        TcpConnection probe;
        std::string reason;
        up = probe.Connect("127.0.0.1", port, 1000, reason);
        if (!up)
            ::usleep(50'000);
        ASSERT_NE(::waitpid(server, nullptr, WNOHANG), server) << "the pymodbus server stopped";
    }
    ASSERT_TRUE(up) << "the pymodbus server did not listen within 30 s";

    Profile profile;
    profile.WriteString("Comm Param", "Link", "mbap");
    profile.WriteString("Comm Param", "Host", "127.0.0.1");
    profile.WriteInt("Comm Param", "TCP Port", port);
    profile.WriteInt("Comm Param", "Response timeout", 10000);
    ScriptedPrompter prompter;
    ModbusMaster master(profile, prompter);
    ASSERT_TRUE(master.Open()) << prompter.LastText();
    uint16_t got[17] = {};
    ASSERT_EQ(master.ReadHoldingRegisters(1, 40001, 17, got), CommStatus::Ok);
    for (int i = 0; i < 17; ++i)
        EXPECT_EQ(got[i], i);
    const uint16_t values[2] = {1234, 5678};
    EXPECT_EQ(master.WriteMultipleRegisters(1, 40010, 2, values), CommStatus::Ok);
    EXPECT_EQ(master.WriteSingleRegister(1, 40012, 42), CommStatus::Ok);
    ASSERT_EQ(master.ReadHoldingRegisters(1, 40010, 3, got), CommStatus::Ok);
    EXPECT_EQ(got[0], 1234);
    EXPECT_EQ(got[1], 5678);
    EXPECT_EQ(got[2], 42);
    EXPECT_EQ(master.ReadHoldingRegisters(1, 40100, 2, got), CommStatus::IllegalDataAddress);
}

} // namespace
} // namespace quarnex::test
