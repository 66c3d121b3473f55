#include "tests/support/gui/testquery.h"

namespace tvtest {

const char kTestQueryMessage[] = "TAVRINE_TEST_QUERY";
const char kTestMenuKeyPrefix[] = "menu.";

std::string FormatTestAnswer(const TestPairs &pairs)
{
    std::string out;
    for (const auto &p : pairs) {
        if (p.first.find_first_of("=\r\n") != std::string::npos)
            continue;
        out += p.first;
        out += '=';
        for (char c : p.second) {
            switch (c) {
            case '\\': out += "\\\\"; break;
            case '\r': out += "\\r"; break;
            case '\n': out += "\\n"; break;
            default: out += c;
            }
        }
        out += '\n';
    }
    return out;
}

bool ParseTestAnswer(const std::string &text, std::map<std::string, std::string> *out)
{
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        size_t eq = line.find('=');
        if (eq == std::string::npos)
            return false;
        std::string value;
        for (size_t i = eq + 1; i < line.size(); ++i) {
            if (line[i] != '\\') {
                value += line[i];
                continue;
            }
            if (++i == line.size())
                return false;
            switch (line[i]) {
            case '\\': value += '\\'; break;
            case 'r': value += '\r'; break;
            case 'n': value += '\n'; break;
            default: return false;
            }
        }
        (*out)[line.substr(0, eq)] = value;
    }
    return true;
}

} // namespace tvtest
