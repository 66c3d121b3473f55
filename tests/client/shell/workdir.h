// The scratch folder as the working directory for one test. The shell's
// readers upper-case every area, so the tests name areas as relative
// upper-case folders below it: they stay the same on a file system that
// tells letter case apart.
#ifndef TAVRINE_TESTS_CLIENT_SHELL_WORKDIR_H
#define TAVRINE_TESTS_CLIENT_SHELL_WORKDIR_H

#include <filesystem>

#include "tests/support/tempdir.h"

class ScopedWorkDir {
public:
    explicit ScopedWorkDir(const tvtest::TempDir &dir) : saved_(std::filesystem::current_path())
    {
        std::filesystem::current_path(dir.Path());
    }
    ~ScopedWorkDir() { std::filesystem::current_path(saved_); }
    ScopedWorkDir(const ScopedWorkDir &) = delete;
    ScopedWorkDir &operator=(const ScopedWorkDir &) = delete;

private:
    std::filesystem::path saved_;
};

#endif
