// A fresh scratch folder per test, removed with everything in it when the
// object goes. Tests write only here, never into the checkout or the build
// tree's working directory.
#ifndef TAVRINE_TESTS_SUPPORT_TEMPDIR_H
#define TAVRINE_TESTS_SUPPORT_TEMPDIR_H

#include <string>

namespace tvtest {

class TempDir {
public:
    // Creates <system temp>/tv_<tag>_<process>_<random>, numbers in hex.
    explicit TempDir(const char *tag = "test");
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    // The folder, in the host's own form, without a trailing separator.
    const std::string &Path() const { return path_; }
    // Path() joined with a relative name ('/' or '\' inside name both work).
    std::string File(const std::string &name) const;
    // Makes a subfolder (and its parents); returns its path.
    std::string MakeDir(const std::string &name) const;

private:
    std::string path_;
};

// Removes a folder and everything in it; false when something stayed.
bool RemoveTree(const std::string &path);

} // namespace tvtest

#endif
