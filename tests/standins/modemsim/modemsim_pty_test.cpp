// The modem line simulator program through real ptys: the test opens the
// mapped COM port as a serial port with termios and talks to it.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>
#include <vector>

#include "tests/support/tempdir.h"

namespace {

void SleepMs(int ms)
{
    timespec ts = {ms / 1000, (ms % 1000) * 1000000L};
    nanosleep(&ts, nullptr);
}

std::string ReadAll(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

class SimProcess {
public:
    SimProcess() : dir_(tmp_.Path())
    {
        tmp_.MakeDir("prefix/dosdevices");
    }
    ~SimProcess()
    {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    const std::string &Dir() const { return dir_; }

    // Starts the simulator; with ready, waits for its ready file.
    bool Start(const std::vector<std::string> &extra, bool ready = true)
    {
        std::vector<std::string> args = {MODEMSIM_BINARY,
                                         "--prefix", dir_ + "/prefix",
                                         "--transcripts", dir_,
                                         "--ready", dir_ + "/ready",
                                         "--control", dir_ + "/control",
                                         "--die-with-parent"};
        args.insert(args.end(), extra.begin(), extra.end());
        pid_ = fork();
        if (pid_ == 0) {
            std::vector<char *> argv;
            for (auto &a : args)
                argv.push_back(const_cast<char *>(a.c_str()));
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        if (!ready)
            return pid_ > 0;
        for (int i = 0; i < 500; i++) {
            if (access((dir_ + "/ready").c_str(), F_OK) == 0)
                return true;
            int status;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return false;
            }
            SleepMs(10);
        }
        return false;
    }
    // Waits for the simulator to end; returns its exit status, -1 on time-out.
    int Wait(int ms)
    {
        for (int t = 0; t < ms; t += 10) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            SleepMs(10);
        }
        return -1;
    }
    void Control(const std::string &line)
    {
        std::ofstream f(dir_ + "/control", std::ios::app);
        f << line << "\n";
    }
    pid_t Pid() const { return pid_; }

private:
    tvtest::TempDir tmp_{"modemsim"}; // removed with everything in it when the simulator is gone
    std::string dir_;
    pid_t pid_ = -1;
};

// Opens a COM port link as a serial port: raw, 19200 bps, 0.1 s reads.
int OpenSerial(const std::string &path)
{
    int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0)
        return -1;
    termios tio;
    tcgetattr(fd, &tio);
    cfmakeraw(&tio);
    cfsetispeed(&tio, B19200);
    cfsetospeed(&tio, B19200);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 1;
    tcsetattr(fd, TCSANOW, &tio);
    return fd;
}

// Reads until `want` has arrived or ms pass; returns what was read.
std::string ReadUntil(int fd, const std::string &want, int ms)
{
    std::string got;
    for (int t = 0; t < ms && got.find(want) == std::string::npos; t += 100) {
        char buf[256];
        ssize_t n = read(fd, buf, sizeof buf);
        if (n > 0)
            got.append(buf, static_cast<size_t>(n));
    }
    return got;
}

std::string Talk(int fd, const std::string &cmd, const std::string &want)
{
    EXPECT_EQ(static_cast<ssize_t>(cmd.size()), write(fd, cmd.data(), cmd.size()));
    return ReadUntil(fd, want, 2000);
}

TEST(ModemSimPty, TalksThroughMappedComPortsAndCleansUp)
{
    SimProcess sim;
    std::string com1 = sim.Dir() + "/prefix/dosdevices/com1";
    std::string com2 = sim.Dir() + "/prefix/dosdevices/com2";
    ASSERT_EQ(0, symlink("/dev/ttyS0", com1.c_str()));
    ASSERT_TRUE(sim.Start({"-e", "port 1 number=1001", "-e", "port 2 number=1002 profile=class2",
                           "-e", "set ring=300 dial=100"}));

    // The COM links point at the pty slaves named in the ready file.
    char target[256] = "";
    ssize_t n = readlink(com1.c_str(), target, sizeof target - 1);
    ASSERT_GT(n, 0);
    target[n] = '\0';
    EXPECT_EQ(0, strncmp(target, "/dev/pts/", 9));
    EXPECT_NE(std::string::npos, ReadAll(sim.Dir() + "/ready").find(std::string("com1 ") + target));

    // Raw from the first moment: nothing echoed, CR not translated.
    int fd = OpenSerial(com1);
    ASSERT_GE(fd, 0);
    EXPECT_EQ("\r\nOK\r\n", Talk(fd, "AT\r", "OK\r\n"));
    // Closing and reopening the port does not hang the line up.
    close(fd);
    fd = OpenSerial(com1);
    ASSERT_GE(fd, 0);
    EXPECT_EQ("0\r", Talk(fd, "ATE0V0\r", "\r"));
    EXPECT_EQ("0,1,2,2.0,8\r\n0\r", Talk(fd, "AT+FCLASS=?\r", "0\r"));

    // A call across the line: COM2 rings.
    int fd2 = OpenSerial(com2);
    ASSERT_GE(fd2, 0);
    EXPECT_EQ("\r\nOK\r\n", Talk(fd2, "AT+FCLASS=2\r", "OK\r\n"));
    EXPECT_EQ("0\r", Talk(fd, "AT+FCLASS=2\r", "\r"));
    ASSERT_EQ(8, write(fd, "ATD1002\r", 8));
    EXPECT_EQ("\r\nRING\r\n", ReadUntil(fd2, "RING\r\n", 3000));
    EXPECT_EQ("\r\n+FCON\r\n", Talk(fd2, "ATA\r", "+FCON\r\n"));
    EXPECT_NE(std::string::npos, ReadUntil(fd, "0\r", 2000).find("+FCON\r\n+FCSI: \"\"\r\n+FDIS: 1,3,0,2,0,0,0,0\r\n0\r"));
    close(fd);
    close(fd2);

    // Stop through the control file: links restored or removed, no ready file.
    sim.Control("stop");
    EXPECT_EQ(0, sim.Wait(5000));
    n = readlink(com1.c_str(), target, sizeof target - 1);
    ASSERT_GT(n, 0);
    target[n] = '\0';
    EXPECT_STREQ("/dev/ttyS0", target);
    struct stat st;
    EXPECT_NE(0, lstat(com2.c_str(), &st));
    EXPECT_NE(0, access((sim.Dir() + "/ready").c_str(), F_OK));

    // The transcript of each port holds the dialogue.
    std::string t1 = ReadAll(sim.Dir() + "/com1.log");
    EXPECT_NE(std::string::npos, t1.find(" > AT\n"));
    EXPECT_NE(std::string::npos, t1.find(" < OK\n"));
    EXPECT_NE(std::string::npos, t1.find(" > ATD1002\n"));
    std::string t2 = ReadAll(sim.Dir() + "/com2.log");
    EXPECT_NE(std::string::npos, t2.find(" < RING\n"));
    EXPECT_NE(std::string::npos, t2.find(" > ATA\n"));
}

TEST(ModemSimPty, ScriptFilePagesFromDiskAndPagesToDisk)
{
    SimProcess sim;
    const std::string page("\x00\x08\x10\x35\xA7\x00\x08\x80\x00\x08\x80\x00\x08\x80", 14);
    {
        std::ofstream f(sim.Dir() + "/in.g3", std::ios::binary);
        f << page;
        std::ofstream script(sim.Dir() + "/line.script");
        script << "# two remotes and one modem\n"
               << "port 1 number=1001 class=2.0\n"
               << "remote 2000 id=\"FROM DISK\" pages=" << sim.Dir() << "/in.g3\n"
               << "remote 3000 id=\"TO DISK\"\n"
               << "set ring=300 dial=100\n";
    }
    ASSERT_TRUE(sim.Start({"--script", sim.Dir() + "/line.script", "--pages", sim.Dir()}));
    int fd = OpenSerial(sim.Dir() + "/prefix/dosdevices/com1");
    ASSERT_GE(fd, 0);
    EXPECT_EQ("\r\nOK\r\n", Talk(fd, "AT+FCLASS=2.0\r", "OK\r\n"));

    // The remote from disk calls; its page arrives LSB first.
    sim.Control("call 2000 1001");
    EXPECT_EQ("\r\nRING\r\n", ReadUntil(fd, "RING\r\n", 3000));
    EXPECT_NE(std::string::npos, Talk(fd, "ATA\r", "OK\r\n").find("+FTI: \"FROM DISK\""));
    EXPECT_EQ("\r\nCONNECT\r\n", Talk(fd, "AT+FDR\r", "CONNECT\r\n"));
    std::string got = Talk(fd, "\x12", "OK\r\n");
    std::string stuffed;
    for (char c : page) {
        stuffed += c;
        if (c == '\x10')
            stuffed += c;
    }
    EXPECT_EQ(0u, got.find(stuffed + std::string(2, '\0') + "\x10\x03"));
    EXPECT_NE(std::string::npos, got.find("+FET: 2\r\n"));
    EXPECT_NE(std::string::npos, Talk(fd, "AT+FDR\r", "OK\r\n").find("+FHS: 00"));

    // A page sent to the other remote is written to the pages folder.
    EXPECT_NE(std::string::npos, Talk(fd, "ATD3000\r", "OK\r\n").find("+FCI: \"TO DISK\""));
    EXPECT_NE(std::string::npos, Talk(fd, "AT+FDT\r", "CONNECT\r\n").find("CONNECT"));
    EXPECT_EQ("\r\nOK\r\n", Talk(fd, stuffed + "\x10.", "OK\r\n"));
    EXPECT_NE(std::string::npos, Talk(fd, "AT+FPS?\r", "OK\r\n").find("+FHS: 00"));
    close(fd);
    sim.Control("stop");
    EXPECT_EQ(0, sim.Wait(5000));
    EXPECT_EQ(page, ReadAll(sim.Dir() + "/com1-page1.g3"));
}

TEST(ModemSimPty, StopsBySignalTimeLimitAndRefusesBadScripts)
{
    {
        SimProcess sim;
        ASSERT_TRUE(sim.Start({"-e", "port 1 number=1001"}));
        ASSERT_EQ(0, kill(sim.Pid(), SIGTERM));
        EXPECT_EQ(0, sim.Wait(3000));
        EXPECT_NE(0, access((sim.Dir() + "/prefix/dosdevices/com1").c_str(), F_OK));
    }
    {
        SimProcess sim;
        ASSERT_TRUE(sim.Start({"--time-limit", "1", "-e", "port 1 number=1001"}));
        EXPECT_EQ(0, sim.Wait(4000));
    }
    {
        SimProcess sim;
        ASSERT_TRUE(sim.Start({"-e", "port 1 number=10x1"}, false));
        EXPECT_EQ(2, sim.Wait(3000));
    }
    {
        SimProcess sim;
        ASSERT_TRUE(sim.Start({"-e", "remote 2000 pages=/nonexistent/page.g3", "-e", "port 1 number=1"}, false));
        EXPECT_EQ(2, sim.Wait(3000));
    }
}

} // namespace
