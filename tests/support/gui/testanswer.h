// The program side of the test query (testquery.h): a window procedure
// that sees the registered message hands it here with its answer.
//
//   if (msg == tvtest::TestQueryMessage() && msg != 0)
//       return tvtest::AnswerTestQuery(hwnd, wParam, lParam, {{"AppState", "2"}});
#ifndef TAVRINE_TESTS_SUPPORT_GUI_TESTANSWER_H
#define TAVRINE_TESTS_SUPPORT_GUI_TESTANSWER_H

#include <windows.h>

#include "tests/support/gui/testquery.h"

namespace tvtest {

// The registered message's number (0 when it cannot be registered).
UINT TestQueryMessage();

// Sends the answer to the asking window (wParam) with the cookie (lParam):
// the pairs, then the state of each command of self's menu bar.
// Returns 1 when the asker took it, 0 when it did not answer in time or
// wParam names no window.
LRESULT AnswerTestQuery(HWND self, WPARAM wParam, LPARAM lParam, const TestPairs &pairs);

} // namespace tvtest

#endif
