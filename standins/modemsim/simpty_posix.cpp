// The modem line simulator program: one pty pair per simulated modem, each
// mapped into a Wine prefix as a COM port, driven by the dialogue engine.
//
//   modemsim [--prefix DIR] [--link-dir DIR] [--transcripts DIR] [--pages DIR]
//            [--control FILE] [--ready FILE] [--time-limit SECONDS]
//            [--die-with-parent] [--script FILE] [-e 'script line'] ...
//
// See README.md for the script lines.
#include "standins/modemsim/simmodem.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

struct PortIo {
    int used;
    int com;
    int index;              // modem index in the line
    int master;
    int slave;              // kept open so the program's close never hangs up
    char slavePath[64];
    char comLink[512];      // $WINEPREFIX/dosdevices/comN, when mapped
    char oldTarget[512];    // what comN pointed to before
    char stableLink[512];   // --link-dir/comN, when asked
    FILE *transcript;
    std::vector<unsigned char> pending;
};

struct Options {
    char prefix[400];
    char linkDir[400];
    char transcripts[400];
    char pages[400];
    char control[400];
    char ready[400];
    int timeLimit;
    int dieWithParent;
};

Options g_opt;
PortIo g_ports[SIM_MAX_PORTS];
SimLine *g_line = nullptr;
int64_t g_start;
volatile sig_atomic_t g_stop = 0;

void OnSignal(int) { g_stop = 1; }

int64_t NowMs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void CopyText(char *dst, size_t size, const char *src)
{
    snprintf(dst, size, "%s", src);
}

PortIo *IoByCom(int com)
{
    for (auto &p : g_ports)
        if (p.used && p.com == com)
            return &p;
    return nullptr;
}

// Transcript line: milliseconds since start, direction, text with
// non-printable bytes as \xNN.
void OnLine(void *, int com, char dir, const char *text)
{
    PortIo *p = IoByCom(com);
    if (p == nullptr || p->transcript == nullptr)
        return;
    fprintf(p->transcript, "%8lld %c ", static_cast<long long>(NowMs() - g_start), dir);
    for (const unsigned char *s = reinterpret_cast<const unsigned char *>(text); *s != '\0'; s++) {
        if (*s >= 32 && *s < 127 && *s != '\\')
            fputc(*s, p->transcript);
        else
            fprintf(p->transcript, "\\x%02X", *s);
    }
    fputc('\n', p->transcript);
    fflush(p->transcript);
}

void OnPage(void *, int com, int pageNo, const unsigned char *data, size_t len)
{
    if (g_opt.pages[0] == '\0')
        return;
    char path[600];
    snprintf(path, sizeof path, "%s/com%d-page%d.g3", g_opt.pages, com, pageNo);
    char tmp[620];
    snprintf(tmp, sizeof tmp, "%s.tmp", path);
    FILE *f = fopen(tmp, "wb");
    if (f == nullptr) {
        fprintf(stderr, "modemsim: cannot write %s: %s\n", tmp, strerror(errno));
        return;
    }
    bool ok = fwrite(data, 1, len, f) == len;
    ok = fclose(f) == 0 && ok;
    if (!ok || rename(tmp, path) != 0)
        fprintf(stderr, "modemsim: cannot write %s\n", path);
}

bool ReadFile(const char *path, std::vector<unsigned char> *out)
{
    FILE *f = fopen(path, "rb");
    if (f == nullptr)
        return false;
    out->clear();
    unsigned char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) {
        out->insert(out->end(), buf, buf + n);
        if (out->size() > 16u * 1024 * 1024) {
            fclose(f);
            return false;
        }
    }
    fclose(f);
    return true;
}

int LoadScript(SimConfig *cfg, const char *path)
{
    FILE *f = fopen(path, "r");
    if (f == nullptr) {
        fprintf(stderr, "modemsim: cannot open script %s: %s\n", path, strerror(errno));
        return 1;
    }
    char text[1024];
    int lineNo = 0;
    int rc = 0;
    while (fgets(text, sizeof text, f) != nullptr) {
        lineNo++;
        char err[200];
        if (SimConfigLine(cfg, text, err, sizeof err) != 0) {
            fprintf(stderr, "modemsim: %s line %d: %s\n", path, lineNo, err);
            rc = 1;
        }
    }
    fclose(f);
    return rc;
}

int OpenPty(PortIo *p)
{
    p->master = posix_openpt(O_RDWR | O_NOCTTY);
    if (p->master < 0 || grantpt(p->master) != 0 || unlockpt(p->master) != 0) {
        fprintf(stderr, "modemsim: cannot open a pty: %s\n", strerror(errno));
        return 1;
    }
    if (ptsname_r(p->master, p->slavePath, sizeof p->slavePath) != 0) {
        fprintf(stderr, "modemsim: ptsname: %s\n", strerror(errno));
        return 1;
    }
    // Our own slave descriptor: raw before anyone else can open it, and kept
    // open so that the master never sees a hang-up between the program's
    // opens.
    p->slave = open(p->slavePath, O_RDWR | O_NOCTTY);
    if (p->slave < 0) {
        fprintf(stderr, "modemsim: cannot open %s: %s\n", p->slavePath, strerror(errno));
        return 1;
    }
    termios tio;
    if (tcgetattr(p->slave, &tio) != 0) {
        fprintf(stderr, "modemsim: tcgetattr: %s\n", strerror(errno));
        return 1;
    }
    cfmakeraw(&tio);
    cfsetispeed(&tio, B19200);
    cfsetospeed(&tio, B19200);
    if (tcsetattr(p->slave, TCSANOW, &tio) != 0) {
        fprintf(stderr, "modemsim: tcsetattr: %s\n", strerror(errno));
        return 1;
    }
    int fl = fcntl(p->master, F_GETFL);
    fcntl(p->master, F_SETFL, fl | O_NONBLOCK);
    fcntl(p->master, F_SETFD, FD_CLOEXEC);
    fcntl(p->slave, F_SETFD, FD_CLOEXEC);
    return 0;
}

// Points `link` at `target`, remembering what it pointed to before.
int MakeLink(const char *link, const char *target, char *oldTarget, size_t oldSize)
{
    if (oldTarget != nullptr) {
        ssize_t n = readlink(link, oldTarget, oldSize - 1);
        oldTarget[n > 0 ? n : 0] = '\0';
    }
    if (unlink(link) != 0 && errno != ENOENT) {
        fprintf(stderr, "modemsim: cannot replace %s: %s\n", link, strerror(errno));
        return 1;
    }
    if (symlink(target, link) != 0) {
        fprintf(stderr, "modemsim: cannot link %s: %s\n", link, strerror(errno));
        return 1;
    }
    return 0;
}

// Removes `link` if it still points at `target`; puts back the old one.
void DropLink(const char *link, const char *target, const char *oldTarget)
{
    if (link[0] == '\0')
        return;
    char now[512];
    ssize_t n = readlink(link, now, sizeof now - 1);
    if (n < 0)
        return;
    now[n] = '\0';
    if (strcmp(now, target) != 0)
        return;
    unlink(link);
    if (oldTarget != nullptr && oldTarget[0] != '\0' && symlink(oldTarget, link) != 0)
        fprintf(stderr, "modemsim: cannot restore %s\n", link);
}

int WriteReady()
{
    if (g_opt.ready[0] == '\0')
        return 0;
    char tmp[420];
    snprintf(tmp, sizeof tmp, "%s.tmp", g_opt.ready);
    FILE *f = fopen(tmp, "w");
    if (f == nullptr) {
        fprintf(stderr, "modemsim: cannot write %s: %s\n", tmp, strerror(errno));
        return 1;
    }
    fprintf(f, "pid %d\n", static_cast<int>(getpid()));
    for (const auto &p : g_ports)
        if (p.used)
            fprintf(f, "com%d %s\n", p.com, p.slavePath);
    fclose(f);
    if (rename(tmp, g_opt.ready) != 0) {
        fprintf(stderr, "modemsim: cannot write %s\n", g_opt.ready);
        return 1;
    }
    return 0;
}

// Runs the lines appended to the control file since the last look.
// Returns 1 when a "stop" line was read.
int PollControl(long *offset)
{
    if (g_opt.control[0] == '\0')
        return 0;
    FILE *f = fopen(g_opt.control, "r");
    if (f == nullptr)
        return 0;
    if (fseek(f, 0, SEEK_END) == 0 && ftell(f) < *offset)
        *offset = 0;
    fseek(f, *offset, SEEK_SET);
    char text[256];
    int stop = 0;
    while (fgets(text, sizeof text, f) != nullptr) {
        size_t len = strlen(text);
        if (len == 0 || text[len - 1] != '\n')
            break;  // an unfinished line: read it next time
        *offset += static_cast<long>(len);
        text[len - 1] = '\0';
        if (strncmp(text, "stop", 4) == 0) {
            stop = 1;
            break;
        }
        char err[120] = "";
        if (SimControl(g_line, text, err, sizeof err) != 0)
            fprintf(stderr, "modemsim: control: %s\n", err);
    }
    fclose(f);
    return stop;
}

void Usage()
{
    fprintf(stderr,
            "usage: modemsim [--prefix DIR] [--link-dir DIR] [--transcripts DIR] [--pages DIR]\n"
            "                [--control FILE] [--ready FILE] [--time-limit SECONDS]\n"
            "                [--die-with-parent] [--script FILE] [-e 'script line'] ...\n");
}

int Run()
{
    int64_t deadline = g_start + static_cast<int64_t>(g_opt.timeLimit) * 1000;
    int64_t nextControl = 0;
    long controlOffset = 0;
    int rc = 0;
    while (!g_stop) {
        pollfd fds[SIM_MAX_PORTS];
        PortIo *who[SIM_MAX_PORTS];
        int n = 0;
        for (auto &p : g_ports) {
            if (!p.used)
                continue;
            fds[n].fd = p.master;
            fds[n].events = (SimInputRoom(g_line, p.index) > 0 ? POLLIN : 0) | (p.pending.empty() ? 0 : POLLOUT);
            fds[n].revents = 0;
            who[n++] = &p;
        }
        if (poll(fds, static_cast<nfds_t>(n), 5) < 0 && errno != EINTR) {
            fprintf(stderr, "modemsim: poll: %s\n", strerror(errno));
            rc = 1;
            break;
        }
        int64_t now = NowMs();
        for (int k = 0; k < n; k++) {
            if (fds[k].revents & POLLIN) {
                unsigned char buf[4096];
                size_t room = SimInputRoom(g_line, who[k]->index);
                ssize_t got = read(who[k]->master, buf, room < sizeof buf ? room : sizeof buf);
                if (got > 0)
                    SimFeed(g_line, who[k]->index, buf, static_cast<size_t>(got), now);
            }
        }
        SimTick(g_line, now);
        for (int k = 0; k < n; k++) {
            PortIo *p = who[k];
            if (p->pending.empty()) {
                unsigned char buf[4096];
                size_t got = SimTakeOutput(g_line, p->index, buf, sizeof buf);
                p->pending.assign(buf, buf + got);
            }
            if (!p->pending.empty()) {
                ssize_t put = write(p->master, p->pending.data(), p->pending.size());
                if (put > 0)
                    p->pending.erase(p->pending.begin(), p->pending.begin() + put);
            }
        }
        if (now >= nextControl) {
            nextControl = now + 100;
            if (PollControl(&controlOffset)) {
                fprintf(stderr, "modemsim: stopped by the control file\n");
                break;
            }
        }
        if (now >= deadline) {
            fprintf(stderr, "modemsim: time limit of %d s reached\n", g_opt.timeLimit);
            break;
        }
    }
    if (g_stop)
        fprintf(stderr, "modemsim: stopped by a signal\n");
    return rc;
}

} // namespace

int main(int argc, char **argv)
{
    static SimConfig cfg;
    SimConfigDefaults(&cfg);
    memset(&g_opt, 0, sizeof g_opt);
    g_opt.timeLimit = 600;
    CopyText(g_opt.transcripts, sizeof g_opt.transcripts, ".");
    const char *env = getenv("WINEPREFIX");
    if (env != nullptr)
        CopyText(g_opt.prefix, sizeof g_opt.prefix, env);
    int bad = 0;
    for (int i = 1; i < argc; i++) {
        const char *a = argv[i];
        const char *v = i + 1 < argc ? argv[i + 1] : nullptr;
        char *dst = nullptr;
        size_t dstSize = 0;
        if (strcmp(a, "--prefix") == 0) {
            dst = g_opt.prefix;
            dstSize = sizeof g_opt.prefix;
        } else if (strcmp(a, "--link-dir") == 0) {
            dst = g_opt.linkDir;
            dstSize = sizeof g_opt.linkDir;
        } else if (strcmp(a, "--transcripts") == 0) {
            dst = g_opt.transcripts;
            dstSize = sizeof g_opt.transcripts;
        } else if (strcmp(a, "--pages") == 0) {
            dst = g_opt.pages;
            dstSize = sizeof g_opt.pages;
        } else if (strcmp(a, "--control") == 0) {
            dst = g_opt.control;
            dstSize = sizeof g_opt.control;
        } else if (strcmp(a, "--ready") == 0) {
            dst = g_opt.ready;
            dstSize = sizeof g_opt.ready;
        } else if (strcmp(a, "--die-with-parent") == 0) {
            g_opt.dieWithParent = 1;
            continue;
        } else if (strcmp(a, "--help") == 0) {
            Usage();
            return 0;
        } else if (v != nullptr && strcmp(a, "--time-limit") == 0) {
            g_opt.timeLimit = atoi(v);
            if (g_opt.timeLimit <= 0) {
                fprintf(stderr, "modemsim: bad time limit '%s'\n", v);
                bad = 1;
            }
            i++;
            continue;
        } else if (v != nullptr && strcmp(a, "--script") == 0) {
            bad |= LoadScript(&cfg, v);
            i++;
            continue;
        } else if (v != nullptr && strcmp(a, "-e") == 0) {
            char err[200];
            if (SimConfigLine(&cfg, v, err, sizeof err) != 0) {
                fprintf(stderr, "modemsim: -e '%s': %s\n", v, err);
                bad = 1;
            }
            i++;
            continue;
        } else {
            Usage();
            return 2;
        }
        if (v == nullptr || strlen(v) >= dstSize) {
            fprintf(stderr, "modemsim: %s needs a value\n", a);
            return 2;
        }
        CopyText(dst, dstSize, v);
        i++;
    }
    if (bad)
        return 2;
    if (g_opt.dieWithParent) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() == 1)
            return 0;
    }
    for (auto &r : cfg.remotes) {
        if (!r.used)
            continue;
        for (int k = 0; k < r.numPages; k++)
            if (!ReadFile(r.pageFiles[k], &r.pages[k])) {
                fprintf(stderr, "modemsim: cannot read page file %s\n", r.pageFiles[k]);
                return 2;
            }
    }
    int usedPorts = 0;
    for (const auto &p : cfg.ports)
        usedPorts += p.used;
    if (usedPorts == 0) {
        fprintf(stderr, "modemsim: no port configured (e.g. -e 'port 1 number=1001')\n");
        return 2;
    }

    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = OnSignal;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);

    g_start = NowMs();
    static SimLine line;
    SimHooks hooks = {nullptr, OnLine, OnPage};
    g_line = &line;

    int rc = 0;
    for (int i = 0; i < SIM_MAX_PORTS && rc == 0; i++) {
        PortIo *p = &g_ports[i];
        p->used = cfg.ports[i].used;
        p->master = p->slave = -1;
        if (!p->used)
            continue;
        p->com = cfg.ports[i].com;
        p->index = i;
        rc = OpenPty(p);
        if (rc != 0)
            break;
        char path[600];
        snprintf(path, sizeof path, "%s/com%d.log", g_opt.transcripts, p->com);
        p->transcript = fopen(path, "w");
        if (p->transcript == nullptr) {
            fprintf(stderr, "modemsim: cannot write %s: %s\n", path, strerror(errno));
            rc = 1;
            break;
        }
        if (g_opt.linkDir[0] != '\0') {
            snprintf(p->stableLink, sizeof p->stableLink, "%s/com%d", g_opt.linkDir, p->com);
            rc = MakeLink(p->stableLink, p->slavePath, nullptr, 0);
        }
        if (rc == 0 && g_opt.prefix[0] != '\0') {
            char dir[460];
            snprintf(dir, sizeof dir, "%s/dosdevices", g_opt.prefix);
            mkdir(dir, 0755);
            snprintf(p->comLink, sizeof p->comLink, "%s/com%d", dir, p->com);
            rc = MakeLink(p->comLink, p->slavePath, p->oldTarget, sizeof p->oldTarget);
        }
    }
    if (rc == 0) {
        SimLineInit(&line, &cfg, &hooks, g_start);
        for (auto &p : g_ports)
            if (p.used) {
                char text[200];
                snprintf(text, sizeof text, "COM%d on %s, number %s, profile %s", p.com, p.slavePath,
                         cfg.ports[p.index].number, cfg.ports[p.index].profile);
                OnLine(nullptr, p.com, '*', text);
            }
        rc = WriteReady();
    }
    if (rc == 0)
        rc = Run();

    for (auto &p : g_ports) {
        if (!p.used)
            continue;
        DropLink(p.comLink, p.slavePath, p.oldTarget);
        DropLink(p.stableLink, p.slavePath, nullptr);
        if (p.transcript != nullptr)
            fclose(p.transcript);
        if (p.slave >= 0)
            close(p.slave);
        if (p.master >= 0)
            close(p.master);
    }
    if (g_opt.ready[0] != '\0')
        unlink(g_opt.ready);
    return rc;
}
