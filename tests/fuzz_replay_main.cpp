// Replays every file of the given corpus folders (or single files) through a
// fuzz target's entry point: the seeds become a regression test in builds
// without libFuzzer.
#include <cstdint>
#include <cstdio>
#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

static int RunFile(const std::string &path)
{
    FILE *f = std::fopen(path.c_str(), "rb");
    if (!f) {
        std::fprintf(stderr, "cannot open %s\n", path.c_str());
        return 1;
    }
    std::vector<uint8_t> buf;
    uint8_t block[4096];
    size_t n;
    while ((n = std::fread(block, 1, sizeof block, f)) > 0)
        buf.insert(buf.end(), block, block + n);
    std::fclose(f);
    LLVMFuzzerTestOneInput(buf.data(), buf.size());
    return 0;
}

int main(int argc, char **argv)
{
    int files = 0, failures = 0;
    for (int i = 1; i < argc; ++i) {
        struct stat st;
        if (stat(argv[i], &st) != 0) {
            std::fprintf(stderr, "missing %s\n", argv[i]);
            return 1;
        }
        if (S_ISDIR(st.st_mode)) {
            DIR *d = opendir(argv[i]);
            if (!d)
                return 1;
            while (dirent *e = readdir(d)) {
                if (e->d_name[0] == '.')
                    continue;
                failures += RunFile(std::string(argv[i]) + "/" + e->d_name);
                ++files;
            }
            closedir(d);
        } else {
            failures += RunFile(argv[i]);
            ++files;
        }
    }
    std::printf("replayed %d inputs\n", files);
    return failures || files == 0 ? 1 : 0;
}
