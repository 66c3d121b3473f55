// The test query: what only a running program knows (its state, flags, the
// status-bar text), asked for by a GUI test.
//
// The test posts the registered message kTestQueryMessage to the program's
// window with wParam = the test's own window and lParam = a cookie. The
// program answers with WM_COPYDATA sent to that window: dwData = the cookie,
// the data = FormatTestAnswer() of its key/value pairs. Programs answer
// through AnswerTestQuery (testquery_win.cpp); the test side is
// gui::TestQuery (guidriver.h).
//
// The text is one "key=value" line per pair, '\n' after each; a value's
// backslashes, CRs and LFs are written \\, \r and \n. This part makes no
// Win32 calls.
#ifndef TAVRINE_TESTS_SUPPORT_GUI_TESTQUERY_H
#define TAVRINE_TESTS_SUPPORT_GUI_TESTQUERY_H

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace tvtest {

extern const char kTestQueryMessage[]; // "TAVRINE_TEST_QUERY"
// Keys "menu.<command id>" of an answer carry the window's menu: "enabled"
// or "grayed", with ",checked" added when checked.
extern const char kTestMenuKeyPrefix[]; // "menu."

using TestPairs = std::vector<std::pair<std::string, std::string>>;

// The answer text. A key holding '=', CR or LF cannot be read back: such a
// pair is left out.
std::string FormatTestAnswer(const TestPairs &pairs);

// Reads an answer text back; false (and *out as far as it got) on a line
// without '=' or a bad escape. A later pair of the same key wins.
bool ParseTestAnswer(const std::string &text, std::map<std::string, std::string> *out);

} // namespace tvtest

#endif
