// Resource identifiers shared by the test program and its stand-in
// language library.
#ifndef TAVRINE_TESTS_LANGLIB_IDS_H
#define TAVRINE_TESTS_LANGLIB_IDS_H

// Strings. The library holds IDS_TRANSLATED and an empty IDS_EMPTY only.
#define IDS_TRANSLATED 100
#define IDS_EMPTY 101
#define IDS_PROGRAM_ONLY 102
#define IDS_OTHER_BLOCK 300
#define IDS_NOWHERE 999

// Dialogs. The library holds IDD_BOTH only, with a marker control.
#define IDD_BOTH 200
#define IDD_PROGRAM_ONLY 201
#define IDD_NOWHERE 202

#define IDC_LIBRARY_MARK 901
#define IDC_PROGRAM_MARK 902

#endif
