// A TAVRINE installation for a test, laid out in a scratch folder that is
// removed with everything in it when the test ends.
//
//   tvtest::Installation inst(tvtest::InstallationSpec()
//                                 .Setup("FCLASS-1", {"Port: COM7", "RecdUser: JSMITH"})
//                                 .User("JSMITH")
//                                 .Folder("MSG"));
//   tvtest::Process ctl(inst.Program(FAKECTL_EXE, {"1"}));   // TFAXINIT set
//   ...                     // declared after inst: ended before inst goes
//   EXPECT_NE(std::string::npos, inst.ServerLog().find("...")) << inst.ServerLog();
//
// The layout is the sample installation's (tests/e2e/sample), under the
// folder's root:
//
//   SYSTEM\TAVRINE.INI          [WORKSTATION] and [SERVER] naming the areas below
//   SYSTEM\T-DB\SETUP.INI       [OPTIONS] (LogFile: SERVER.LOG unless given),
//                               then the paragraphs of the description
//   SYSTEM\T-DB\USERLIST.INI    a [USER] paragraph per account
//   SERVER\T-DB, SERVER\T-TEMP, SERVER\T-MAIL   the server area (the server log in T-DB)
//   REQUEST                     the request area
//   LOG                         the workstations' log area
//   USERS\<name>\T-IN, T-OUT, T-GRAPH, T-DB     each account's folders
//
// Every INI file is written with CRLF line ends and the [TAVRINE] heading
// of its type. Paths are the host's ('\' on Windows); the native tree's
// programs read '\' as '/'. This part makes no Win32 calls.
//
// Keep the tag short: the root is <temp>\tv_<tag>_<process>_<random>, and a
// JOB packet carries a message's folder (USERS\<name>\T-OUT\G3N\ under it)
// in 64 characters.
#ifndef TAVRINE_TESTS_SUPPORT_INSTALLATION_H
#define TAVRINE_TESTS_SUPPORT_INSTALLATION_H

#include <string>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/tempdir.h"

namespace tvtest {

// What an installation holds beyond the standard layout. Paragraph names go
// without brackets; a line is "Key: value".
class InstallationSpec {
public:
    // Lines of a SETUP.INI paragraph, added after the lines it has already
    // (a new paragraph goes after the others, in the order given).
    InstallationSpec &Setup(const std::string &paragraph, const std::vector<std::string> &lines = {});
    // A program line of SETUP.INI's [SERVER] paragraph, as SYSMAN reads it:
    //   kind: NAME "commandLine" [tail]      e.g. ("Device", "FCLASS-1", "MODEMCTL.EXE 1")
    // kind is Sysman, Service or Device. A program without a directory is
    // looked for in the server area; give a build-tree program through
    // BuildPath (process.h).
    InstallationSpec &Program(const std::string &kind, const std::string &name, const std::string &commandLine,
                              const std::string &tail = "");
    // An account: a [USER] paragraph of USERLIST.INI with "Name: NAME",
    // "Username: name" (lower case, unless lines give one) and the lines, and
    // its folders under the user area. The first account is the
    // workstations' DefaultUser.
    InstallationSpec &User(const std::string &name, const std::vector<std::string> &lines = {});
    // A line of a TAVRINE.INI paragraph (WORKSTATION, SERVER or another one)
    // in place of the standard line with the same key, or added. An empty
    // value ("RequestArea:") leaves the entry empty, as if it were missing.
    InstallationSpec &SystemIni(const std::string &paragraph, const std::string &line);
    // One more folder (and its parents), relative to the root: "MSG",
    // "USERS/JSMITH/T-OUT/G3N".
    InstallationSpec &Folder(const std::string &relative);

private:
    friend class Installation;
    struct Paragraph {
        std::string name;
        std::vector<std::string> lines;
    };
    std::vector<Paragraph> setup_;      // SETUP.INI after [TAVRINE]
    std::vector<Paragraph> users_;      // USERLIST.INI: name is the account's
    std::vector<Paragraph> systemIni_;  // changes of TAVRINE.INI's paragraphs
    std::vector<std::string> folders_;
};

class Installation {
public:
    // Lays the installation out in a new scratch folder named after tag.
    explicit Installation(const InstallationSpec &spec = InstallationSpec(), const char *tag = "in");

    // Lays it out again from another description: folders are added, the
    // three INI files written anew; nothing else changes.
    void Write(const InstallationSpec &spec);

    // The root folder, without a trailing separator.
    const std::string &Root() const { return dir_.Path(); }
    // A file or folder under the root ('/' or '\' inside relative both work).
    std::string Path(const std::string &relative) const { return dir_.File(relative); }
    // The same with a trailing separator: how the programs give folders.
    std::string Dir(const std::string &relative) const;

    // The areas TAVRINE.INI names, each with a trailing separator.
    std::string SystemArea() const { return Dir("SYSTEM"); }
    std::string ServerArea() const { return Dir("SERVER"); }
    std::string RequestArea() const { return Dir("REQUEST"); }
    std::string LogArea() const { return Dir("LOG"); }
    std::string UserArea() const { return Dir("USERS"); }     // AllUserArea
    std::string UserDir(const std::string &name) const { return Dir("USERS/" + name); }

    // The value of TFAXINIT that finds this installation's TAVRINE.INI.
    std::string IniDir() const { return Path("SYSTEM"); }
    // A command for a program on this installation: TFAXINIT set.
    Command Program(const std::string &program, const std::vector<std::string> &args = {}) const;

    // The server log (SERVER\T-DB\ and the [OPTIONS] LogFile name) and what
    // it holds now; empty when there is none yet.
    std::string ServerLogPath() const;
    std::string ServerLog() const;

    // Copies a file (a program, fonts: a build-tree path is fine) to a place
    // under the root; false when it cannot.
    bool CopyIn(const std::string &from, const std::string &relative) const;

private:
    TempDir dir_;
    std::string logFile_;
};

} // namespace tvtest

#endif
