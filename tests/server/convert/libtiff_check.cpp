// See libtiff_check.h.
#include "tests/server/convert/libtiff_check.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/faxtiff.h"
#include "common/platform.h"

namespace {

// Runs a command with stderr captured; its exit code (-1 when it did not run).
int Run(const std::string &cmd, std::string *out) {
    out->clear();
    FILE *p = popen((cmd + " 2>&1").c_str(), "r");
    if (!p) return -1;
    char buf[512];
    while (fgets(buf, sizeof buf, p)) *out += buf;
    int rc = pclose(p);
    return rc != -1 && WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

bool ToolsPresent() {
    static int present = -1;
    if (present < 0) {
        std::string out;
        present = Run("command -v tiffinfo && command -v tiff2pdf", &out) == 0;
    }
    return present == 1;
}

size_t Count(const std::string &text, const char *what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) n++;
    return n;
}

// Pages of a fax file by its directories: all of them, and those with rows.
void CountPages(const std::string &path, int *all, int *image) {
    *all = *image = 0;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) return;
    TiffHeader h;
    if (ReadTiffHeader(f, &h)) {
        uint32_t at = h.firstIfd;
        for (int guard = 0; at != 0 && guard < 1000; guard++) {
            TiffIfd ifd;
            uint16_t xr, yr;
            if (fseek(f, long(at), SEEK_SET) != 0 || !ReadTiffIfd(f, &ifd, &xr, &yr)) break;
            ++*all;
            if (ifd.entry[TE_LENGTH].value > 0) ++*image;
            at = ifd.nextIfd;
        }
    }
    fclose(f);
}

} // namespace

void CheckWithLibtiffTools(const std::string &path, int imagePages) {
    ASSERT_TRUE(ToolsPresent()) << "libtiff-tools (tiffinfo, tiff2pdf) not installed";
    int all = 0, image = 0;
    CountPages(path, &all, &image);
    ASSERT_GT(all, 0) << path << ": no page directory";
    EXPECT_EQ(image, imagePages) << path;
    // A file without pages (an addressee file when every page is common) is
    // the header and one directory of length 0, which libtiff refuses to
    // read ("zero strip size"); it holds no page to check.
    if (imagePages == 0) return;
    // tiffinfo decodes every strip: any complaint about the data, the tags or
    // the directory chain is printed, and the exit code tells a read failure.
    std::string out;
    EXPECT_EQ(Run("tiffinfo -D '" + path + "'", &out), 0) << path << "\n" << out;
    EXPECT_EQ(Count(out, "TIFF Directory at offset"), size_t(all)) << path << "\n" << out;
    for (const char *bad : {"Error", "Warning", "error", "warning", "Bad code", "Premature", "Unexpected"})
        EXPECT_EQ(out.find(bad), std::string::npos) << path << "\n" << out;
    std::string pdf = path + ".check.pdf";
    EXPECT_EQ(Run("tiff2pdf -o '" + pdf + "' '" + path + "'", &out), 0) << path << "\n" << out;
    EXPECT_EQ(out, "") << path;
    std::string text;
    FILE *f = fopen(pdf.c_str(), "rb");
    ASSERT_NE(f, nullptr) << pdf;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    fclose(f);
    remove(pdf.c_str());
    EXPECT_EQ(text.compare(0, 5, "%PDF-"), 0) << pdf;
    EXPECT_EQ(Count(text, "/Type /Page\n") + Count(text, "/Type /Page "), size_t(imagePages)) << path;
    EXPECT_NE(text.find("/CCITTFaxDecode"), std::string::npos) << path;
}

void CheckFolderWithLibtiffTools(const std::string &dir) {
    TvDirEntry e;
    TvDirIter *it = TvPlatFindFirst((dir + "*").c_str(), &e);
    if (!it) return;
    do {
        if (e.attributes & TV_ATTR_DIRECTORY) continue;
        std::string path = dir + e.longName;
        int all = 0, image = 0;
        CountPages(path, &all, &image);
        CheckWithLibtiffTools(path, image);
    } while (TvPlatFindNext(it, &e));
    TvPlatFindClose(it);
}
