// Speed of the message converter on plain text against Ghostscript's fax
// device, in one run (optimised, no sanitizers; not a test).
//
//   convbench [--keep] [work folder]
//
// With --keep the work folder and the converted files in it stay.
//
// A 100-page plain-text message is converted to fine-resolution fax pages
// through the converter's own entry point (ConvertMessage: control file,
// conversion record, rendering through the command scanner, the EPSON
// interpreter and the raster, MH coding into intermediate page files, joining
// into the addressee and common files). A message holds at most 99 pages,
// so the 100 pages are two messages of 50. The page files are real files in
// a temporary folder (the work folder, default under /tmp), removed at the end.
//
// The same text, laid out as a PostScript file made once beforehand (the
// same lines in a fixed-pitch font, one page per page), is then printed by
// Ghostscript with -sDEVICE=tiffg3 -r204x196 into one file in the same
// folder; its whole run, start-up included, is timed.
//
// Each side runs several times; the fastest run counts. Output, one line:
//   text-page fine ours=0.20ms gs=2.80ms ratio=14.0   (ratio = gs / ours)
// and, after a "#", where the time goes: the same 100 pages rendered and
// coded into memory only (no files), and Ghostscript's start-up.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "server/convert/convmsg.h"
#include "server/convert/epson.h"
#include "server/convert/raster.h"
#include "server/convert/textcmd.h"
#include "server/runtime/mhencode.h"
#include "server/runtime/srvlog.h"
#include "server/runtime/sysparams.h"

namespace {

const int kPages = 100;
const int kMessages = 2;               // a message holds at most 99 pages
const int kPagesPerMessage = kPages / kMessages;
const int kLinesPerPage = 60;          // fits the default plain-text form (66 lines)
const int kOursRuns = 7;
const int kGsRuns = 3;

const char *const kFontFiles[] = {"PICA", "SS18", "ELIT", "SS11"};
const char *const kFontKinds[] = {"LN", "SN", "LF", "SF"};

std::string g_work; // ends in '/'

bool WriteFile(const std::string &path, const std::string &data) {
    FILE *f = fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = fwrite(data.data(), 1, data.size(), f) == data.size();
    return fclose(f) == 0 && ok;
}

bool ReadFile(const std::string &path, std::string *data) {
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) return false;
    char buf[65536];
    size_t n;
    data->clear();
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) data->append(buf, n);
    fclose(f);
    return true;
}

long FileSize(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? long(st.st_size) : -1;
}

// Business-letter lines of 50 to 75 characters from a fixed word list, the
// same on every run.
std::vector<std::string> MakeLines(int count) {
    static const char *const words[] = {
        "invoice", "order",    "delivery", "March",   "payment", "account", "the",     "of",       "and",
        "to",      "please",   "find",     "attached", "goods",  "copper",  "pipe",    "15",       "mm",
        "40",      "pieces",   "at",       "3.25",     "each",   "total",   "due",     "within",   "30",
        "days",    "questions", "call",    "020",      "7946",   "0321",    "office",  "regards",  "Tuesday",
        "between", "9",        "11",       "am",       "stock",  "price",   "list",    "revised",  "terms",
        "VAT",     "No.",      "4711",     "Ltd.",     "thank",  "you",     "for",     "your",     "letter",
    };
    const int nwords = int(sizeof words / sizeof words[0]);
    uint32_t seed = 12345;
    std::vector<std::string> lines;
    for (int i = 0; i < count; i++) {
        std::string line;
        int want = 50 + int(i * 7 % 26);
        while (int(line.size()) < want) {
            seed = seed * 1103515245u + 12345u;
            const char *w = words[(seed >> 16) % uint32_t(nwords)];
            if (line.size() + 1 + strlen(w) > 75) break;
            if (!line.empty()) line += ' ';
            line += w;
        }
        if (i % kLinesPerPage == 0) line = "Page " + std::to_string(i / kLinesPerPage + 1) + ": " + line;
        lines.push_back(line);
    }
    return lines;
}

// The converter's folders: fonts in the system area, the user's T-OUT.
bool LayOutAreas(void) {
    for (const char *d : {"SYSTEM", "SYSTEM/T-DB", "SERVER", "USERS", "USERS/BENCH", "USERS/BENCH/T-OUT"})
        mkdir((g_work + d).c_str(), 0755);
    for (const char *f : kFontFiles)
        for (const char *k : kFontKinds) {
            std::string name = std::string(f) + "_" + k + ".FN", data;
            if (!ReadFile(std::string(TAVRINE_FONT_DIR) + name, &data) ||
                !WriteFile(g_work + "SYSTEM/T-DB/" + name, data)) {
                fprintf(stderr, "convbench: font %s missing\n", name.c_str());
                return false;
            }
        }
    ResetSystemParameters();
    snprintf(g_sysParams.allUserArea, sizeof g_sysParams.allUserArea, "%sUSERS/", g_work.c_str());
    snprintf(g_sysParams.systemArea, sizeof g_sysParams.systemArea, "%sSYSTEM/", g_work.c_str());
    snprintf(g_sysParams.serverArea, sizeof g_sysParams.serverArea, "%sSERVER/", g_work.c_str());
    ConvDefaultSettings();
    g_convSettings.delayTime = 0; // no pauses for other programs
    return true;
}

const char kControl[] =
    "[TAVRINE]\r\nType: SendControl\r\nRevision: A\r\n\r\n"
    "[DOCUMENT]\r\nFile: MSG.TXT\r\n\r\n"
    "[MESSAGE]\r\nFormat: TXT\r\nAccepted: 26-12-10 13:45:07\r\nType: SEND\r\n\r\n"
    "[OPTIONS]\r\nFrom: Bench Sender\r\nCoversheet:\r\nLetterhead:\r\n\r\n"
    "[ADDRESSEES]\r\nShortName: BOB\r\nName: Bob Brown\r\nVia: FAX-ANY 5550123\r\n";

std::string MessageName(int m) { return "BENCH" + std::to_string(m + 1); }
std::string OutDir(void) { return g_work + "USERS/BENCH/T-OUT/"; }

bool WriteMessages(const std::vector<std::string> &lines) {
    for (int m = 0; m < kMessages; m++) {
        std::string text;
        for (int p = 0; p < kPagesPerMessage; p++) {
            for (int l = 0; l < kLinesPerPage; l++)
                text += lines[size_t((m * kPagesPerMessage + p) * kLinesPerPage + l)] + "\r\n";
            if (p + 1 < kPagesPerMessage) text += "\f";
        }
        std::string base = OutDir() + MessageName(m);
        if (!WriteFile(base + ".CTL", kControl) || !WriteFile(base + ".TXT", text)) return false;
    }
    return true;
}

// Converts both messages from scratch; the pages of the common files, or -1.
int ConvertOnce(void) {
    int pages = 0;
    for (int m = 0; m < kMessages; m++) {
        std::string base = OutDir() + MessageName(m);
        // A fresh conversion record and no common file: the whole message
        // is rendered.
        WriteFile(base + ".CVT", "");
        remove((OutDir() + "G3F/" + MessageName(m) + ".G3F").c_str());
        ConvJob job;
        memset(&job, 0, sizeof job);
        snprintf(job.user, sizeof job.user, "BENCH");
        snprintf(job.message, sizeof job.message, "%s", MessageName(m).c_str());
        snprintf(job.source, sizeof job.source, "TXT");
        snprintf(job.dest, sizeof job.dest, "G3F");
        job.addressee = 1;
        TvStatus st = ConvertMessage(&job);
        if (st != TV_OK) {
            fprintf(stderr, "convbench: conversion failed, code 0x%04X\n", unsigned(st));
            return -1;
        }
        std::string cvt;
        ReadFile(base + ".CVT", &cvt);
        int a = 0, t = 0;
        const char *at = strstr(cvt.c_str(), "Pages: ");
        if (!at || !ParseCvtPages(std::string(at + 7, strcspn(at + 7, "\r\n")).c_str(), &a, &t)) return -1;
        pages += t;
    }
    return pages;
}

// PostScript of the same text: fixed-pitch lines at about the converter's
// pitch and line spacing (ten characters to 1.1 inch, six lines per inch).
std::string MakePostScript(const std::vector<std::string> &lines) {
    std::string ps = "%!PS-Adobe-3.0\n%%Pages: " + std::to_string(kPages) +
                     "\n%%EndComments\n/Courier findfont 13 scalefont setfont\n"
                     "/L { 54 exch moveto show } bind def\n";
    for (int p = 0; p < kPages; p++) {
        ps += "%%Page: " + std::to_string(p + 1) + " " + std::to_string(p + 1) + "\n";
        for (int l = 0; l < kLinesPerPage; l++) {
            ps += "(";
            for (char c : lines[size_t(p * kLinesPerPage + l)]) {
                if (c == '(' || c == ')' || c == '\\') ps += '\\';
                ps += c;
            }
            ps += ") " + std::to_string(842 - 48 - 12 * l) + " L\n";
        }
        ps += "showpage\n";
    }
    ps += "%%EOF\n";
    return ps;
}

// The text as one document for the in-memory run.
struct MemDoc {
    const std::string *text;
    size_t pos;
};
int MemReadByte(void *ctx) {
    MemDoc *d = static_cast<MemDoc *>(ctx);
    return d->pos < d->text->size() ? (unsigned char)(*d->text)[d->pos++] : -1;
}

struct MemPage {
    std::vector<unsigned char> coded;
    size_t used;
    long total;
};
TvStatus MemWriteRow(void *ctx, const unsigned char *row, int bytes, int end) {
    MemPage *p = static_cast<MemPage *>(ctx);
    if (p->used + MH_ROW_CODE_SIZE + 8 > p->coded.size()) p->coded.resize(p->coded.size() * 2);
    p->used += MhEncodeRow(row, uint16_t(bytes * 8), end, p->coded.data() + p->used);
    if (end) {
        p->total += long(p->used);
        p->used = 0;
    }
    return TV_OK;
}

// The same pages rendered (command scanner, EPSON interpreter, raster) and
// coded into memory: the work without the page files. Pages, or -1.
int RenderToMemory(const std::string &text, long *bytes) {
    RasterReset();
    snprintf(g_rasterSettings.fontDir, sizeof g_rasterSettings.fontDir, "%s", TAVRINE_FONT_DIR);
    RasterSetResolution(RES_FINE);
    SelectFontSet(0);
    SetImageDensVars(GEOM_ASCII);
    if (LoadFontSize(FONTSIZE_PICA) != TV_OK) return -1;
    EpsonStartStream();
    MemDoc doc = {&text, 0};
    TextScanner scan;
    TextScannerInit(&scan, &doc, MemReadByte, nullptr, nullptr, nullptr);
    static MemPage page;
    page.coded.resize(1 << 20);
    page.used = 0;
    page.total = 0;
    RasterOutput out = {&page, MemWriteRow, nullptr, nullptr, nullptr};
    RasterSetOutput(&out);
    int pages = 0;
    for (;;) {
        RasterPageResult res;
        if (RenderStreamPage(&scan, 0, &res) != TV_OK) {
            pages = -1;
            break;
        }
        if (res.rows > 0) pages++;
        if (res.inputEnded || res.rows == 0) break;
    }
    RasterSetOutput(nullptr);
    *bytes = page.total;
    return pages;
}

double NowMs(void) {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

// One Ghostscript run over the PostScript file; its time in ms, or -1.
double RunGhostscript(const std::string &ps, const std::string &tif) {
    std::string cmd = "gs -q -dSAFER -dBATCH -dNOPAUSE -sPAPERSIZE=a4 -dFIXEDMEDIA -sDEVICE=tiffg3 -r204x196 "
                      "-sOutputFile='" + tif + "' '" + ps + "' </dev/null >/dev/null 2>&1";
    remove(tif.c_str());
    double t0 = NowMs();
    int rc = std::system(cmd.c_str());
    double t = NowMs() - t0;
    if (rc == -1 || !WIFEXITED(rc) || WEXITSTATUS(rc) != 0 || FileSize(tif) <= 0) return -1;
    return t;
}

bool g_keep = false;

void RemoveWork(void) {
    if (g_keep) return;
    std::string cmd = "rm -rf '" + g_work + "'";
    if (std::system(cmd.c_str()) != 0) fprintf(stderr, "convbench: could not remove %s\n", g_work.c_str());
}

} // namespace

int main(int argc, char **argv) {
    char tmpl[] = "/tmp/convbench.XXXXXX";
    if (argc > 1 && strcmp(argv[1], "--keep") == 0) {
        g_keep = true;
        argc--;
        argv++;
    }
    if (argc > 1) {
        g_work = argv[1];
        mkdir(g_work.c_str(), 0755);
    } else {
        if (!mkdtemp(tmpl)) {
            perror("convbench: mkdtemp");
            return 1;
        }
        g_work = tmpl;
    }
    if (g_work.empty() || g_work.back() != '/') g_work += '/';

    FILE *log = fopen("/dev/null", "w");
    LogInit(log ? log : stderr, nullptr, 5, "ZOROVIZ");
    std::vector<std::string> lines = MakeLines(kPages * kLinesPerPage);
    if (!LayOutAreas() || !WriteMessages(lines)) {
        fprintf(stderr, "convbench: could not lay out %s\n", g_work.c_str());
        RemoveWork();
        return 1;
    }

    double ours = 1e30;
    for (int run = 0; run < kOursRuns; run++) {
        double t0 = NowMs();
        int pages = ConvertOnce();
        double t = NowMs() - t0;
        if (pages != kPages) {
            fprintf(stderr, "convbench: %d pages converted, %d expected\n", pages, kPages);
            RemoveWork();
            return 1;
        }
        if (t < ours) ours = t;
    }
    long ourBytes = 0;
    for (int m = 0; m < kMessages; m++) ourBytes += FileSize(OutDir() + "G3F/" + MessageName(m) + ".G3F");

    std::string whole;
    for (int p = 0; p < kPages; p++) {
        for (int l = 0; l < kLinesPerPage; l++) whole += lines[size_t(p * kLinesPerPage + l)] + "\r\n";
        if (p + 1 < kPages) whole += "\f";
    }
    double memory = 1e30;
    long memBytes = 0;
    for (int run = 0; run < kOursRuns; run++) {
        double t0 = NowMs();
        int pages = RenderToMemory(whole, &memBytes);
        double t = NowMs() - t0;
        if (pages != kPages) {
            fprintf(stderr, "convbench: %d pages rendered to memory, %d expected\n", pages, kPages);
            RemoveWork();
            return 1;
        }
        if (t < memory) memory = t;
    }

    std::string ps = g_work + "text.ps", tif = g_work + "gs.tif";
    if (!WriteFile(ps, MakePostScript(lines))) {
        fprintf(stderr, "convbench: could not write %s\n", ps.c_str());
        RemoveWork();
        return 1;
    }
    double gs = 1e30;
    for (int run = 0; run < kGsRuns; run++) {
        double t = RunGhostscript(ps, tif);
        if (t < 0) {
            fprintf(stderr, "convbench: Ghostscript failed (is it installed?)\n");
            RemoveWork();
            return 1;
        }
        if (t < gs) gs = t;
    }
    long gsBytes = FileSize(tif);
    // Ghostscript's start-up: one empty page.
    double gsStart = 1e30;
    for (int run = 0; run < kGsRuns; run++) {
        std::string one = g_work + "one.ps";
        WriteFile(one, "%!PS\nshowpage\n");
        double t = RunGhostscript(one, g_work + "one.tif");
        if (t >= 0 && t < gsStart) gsStart = t;
    }
    RemoveWork();

    double oursPage = ours / kPages, gsPage = gs / kPages;
    printf("# %d pages, %d lines each, files in a temporary folder: ours %ld bytes, gs %ld bytes\n", kPages,
           kLinesPerPage, ourBytes, gsBytes);
    printf("# rendered and coded to memory only: %.2fms a page (%ld bytes); gs start-up %.0fms a run\n",
           memory / kPages, memBytes, gsStart);
    printf("text-page fine ours=%.2fms gs=%.2fms ratio=%.1f\n", oursPage, gsPage, gsPage / oursPage);
    if (log) fclose(log);
    return 0;
}
