#include "tests/support/installation.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "tests/support/testfiles.h"

namespace tvtest {

namespace {

const char kCrlf[] = "\r\n";

std::string Upper(std::string s)
{
    for (char &c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string Lower(std::string s)
{
    for (char &c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// "Key:" of a "Key: value" line, upper-cased; empty when it has no colon.
std::string KeyOf(const std::string &line)
{
    size_t colon = line.find(':');
    return colon == std::string::npos ? std::string() : Upper(line.substr(0, colon + 1));
}

// The value of the first line with key in lines; empty when none.
std::string ValueOf(const std::vector<std::string> &lines, const std::string &key)
{
    for (const std::string &l : lines)
        if (KeyOf(l) == Upper(key)) {
            size_t at = l.find(':') + 1;
            while (at < l.size() && (l[at] == ' ' || l[at] == '\t'))
                ++at;
            return l.substr(at);
        }
    return "";
}

bool HasKey(const std::vector<std::string> &lines, const std::string &key)
{
    for (const std::string &l : lines)
        if (KeyOf(l) == Upper(key))
            return true;
    return false;
}

template <typename P> P &ParagraphOf(std::vector<P> &paras, const std::string &name)
{
    for (P &p : paras)
        if (Upper(p.name) == Upper(name))
            return p;
    paras.push_back(P{name, {}});
    return paras.back();
}

template <typename P> const P *FindParagraph(const std::vector<P> &paras, const std::string &name)
{
    for (const P &p : paras)
        if (Upper(p.name) == Upper(name))
            return &p;
    return nullptr;
}

std::string Heading(const char *type)
{
    return std::string("[TAVRINE]\r\nType: ") + type + "\r\nRevision: A\r\n";
}

void AddParagraph(std::string *text, const std::string &name, const std::vector<std::string> &lines)
{
    *text += kCrlf;
    *text += "[" + name + "]" + kCrlf;
    for (const std::string &l : lines)
        *text += l + kCrlf;
}

void WriteOrDie(const std::string &path, const std::string &text)
{
    if (!WriteWholeFile(path, text)) {
        std::fprintf(stderr, "Installation: cannot write %s\n", path.c_str());
        std::abort();
    }
}

} // namespace

// ---------------------------------------------------------------- the description
InstallationSpec &InstallationSpec::Setup(const std::string &paragraph, const std::vector<std::string> &lines)
{
    Paragraph &p = ParagraphOf(setup_, paragraph);
    p.lines.insert(p.lines.end(), lines.begin(), lines.end());
    return *this;
}

InstallationSpec &InstallationSpec::Program(const std::string &kind, const std::string &name,
                                            const std::string &commandLine, const std::string &tail)
{
    std::string key = kind;
    if (key.empty() || key.back() != ':')
        key += ':';
    return Setup("SERVER", {key + " " + name + " \"" + commandLine + "\"" + (tail.empty() ? "" : " " + tail)});
}

InstallationSpec &InstallationSpec::User(const std::string &name, const std::vector<std::string> &lines)
{
    std::vector<std::string> all = {"Name: " + name};
    if (!HasKey(lines, "Username:"))
        all.push_back("Username: " + Lower(name));
    all.insert(all.end(), lines.begin(), lines.end());
    users_.push_back(Paragraph{name, all});
    return *this;
}

InstallationSpec &InstallationSpec::SystemIni(const std::string &paragraph, const std::string &line)
{
    Paragraph &p = ParagraphOf(systemIni_, paragraph);
    for (std::string &l : p.lines)
        if (KeyOf(l) == KeyOf(line)) {
            l = line;
            return *this;
        }
    p.lines.push_back(line);
    return *this;
}

InstallationSpec &InstallationSpec::Folder(const std::string &relative)
{
    folders_.push_back(relative);
    return *this;
}

// ---------------------------------------------------------------- the installation
Installation::Installation(const InstallationSpec &spec, const char *tag) : dir_(tag) { Write(spec); }

std::string Installation::Dir(const std::string &relative) const
{
    std::string p = Path(relative);
#ifdef _WIN32
    const char sep = '\\';
#else
    const char sep = '/';
#endif
    if (p.empty() || p.back() != sep)
        p += sep;
    return p;
}

void Installation::Write(const InstallationSpec &spec)
{
    for (const char *d : {"SYSTEM/T-DB", "SERVER/T-DB", "SERVER/T-TEMP", "SERVER/T-MAIL", "REQUEST", "LOG", "USERS"})
        dir_.MakeDir(d);
    for (const auto &u : spec.users_)
        for (const char *sub : {"T-IN", "T-OUT", "T-GRAPH", "T-DB"})
            dir_.MakeDir("USERS/" + u.name + "/" + sub);
    for (const std::string &f : spec.folders_)
        dir_.MakeDir(f);

    // TAVRINE.INI: the standard lines, each replaced by a line of the
    // description with its key, then the description's other lines.
    auto iniParagraph = [&](const std::string &name, std::vector<std::string> lines) {
        const InstallationSpec::Paragraph *changes = FindParagraph(spec.systemIni_, name);
        if (changes)
            for (const std::string &c : changes->lines) {
                bool replaced = false;
                for (std::string &l : lines)
                    if (KeyOf(l) == KeyOf(c)) {
                        l = c;
                        replaced = true;
                    }
                if (!replaced)
                    lines.push_back(c);
            }
        return lines;
    };
    std::string ini = Heading("Init");
    std::vector<std::string> workstation = {"UserArea: " + Dir("USERS") + "%NAME%",
                                            "SystemArea: " + Path("SYSTEM"),
                                            "RequestArea: " + Path("REQUEST"),
                                            "LogArea: " + Path("LOG")};
    if (!spec.users_.empty())
        workstation.push_back("DefaultUser: " + spec.users_.front().name);
    for (const char *l : {"Spool:", "Redirect: LPT1", "StatusTimer: 10", "Network: OTHER", "Mail: NONE",
                          "Language: ENG"})
        workstation.push_back(l);
    AddParagraph(&ini, "WORKSTATION", iniParagraph("WORKSTATION", workstation));
    AddParagraph(&ini, "SERVER",
                 iniParagraph("SERVER", {"ServerArea: " + Path("SERVER"), "SystemArea: " + Path("SYSTEM"),
                                         "AllUserArea: " + Path("USERS"), "RequestArea: " + Path("REQUEST")}));
    for (const auto &p : spec.systemIni_)
        if (Upper(p.name) != "WORKSTATION" && Upper(p.name) != "SERVER")
            AddParagraph(&ini, p.name, p.lines);
    WriteOrDie(Path("SYSTEM/TAVRINE.INI"), ini);

    // SETUP.INI: [OPTIONS] first, with the server log's name.
    std::vector<std::string> options;
    const InstallationSpec::Paragraph *given = FindParagraph(spec.setup_, "OPTIONS");
    if (given)
        options = given->lines;
    if (!HasKey(options, "LogFile:"))
        options.insert(options.begin(), "LogFile: SERVER.LOG");
    // Wine sets the archive attribute on every file and cannot clear it: the
    // lists run in time mode unless a test says otherwise.
    if (!HasKey(options, "UseArchiveAttribute:"))
        options.push_back("UseArchiveAttribute: N");
    logFile_ = ValueOf(options, "LogFile:");
    std::string setup = Heading("SystemInit");
    AddParagraph(&setup, "OPTIONS", options);
    for (const auto &p : spec.setup_)
        if (Upper(p.name) != "OPTIONS")
            AddParagraph(&setup, p.name, p.lines);
    WriteOrDie(Path("SYSTEM/T-DB/SETUP.INI"), setup);

    std::string users = Heading("UserList");
    for (const auto &u : spec.users_)
        AddParagraph(&users, "USER", u.lines);
    WriteOrDie(Path("SYSTEM/T-DB/USERLIST.INI"), users);
}

Command Installation::Program(const std::string &program, const std::vector<std::string> &args) const
{
    Command c(program, args);
    c.Env("TFAXINIT", IniDir());
    return c;
}

std::string Installation::ServerLogPath() const
{
    if (logFile_.find_first_of("\\/:") != std::string::npos)
        return logFile_;
    return Path("SERVER/T-DB/" + logFile_);
}

std::string Installation::ServerLog() const { return ReadWholeFile(ServerLogPath()); }

bool Installation::CopyIn(const std::string &from, const std::string &relative) const
{
    FILE *f = std::fopen(BuildPath(from).c_str(), "rb");
    if (!f)
        return false;
    std::fclose(f);
    return WriteWholeFile(Path(relative), ReadWholeFile(BuildPath(from)));
}

} // namespace tvtest
