// The outside check of fax page files: libtiff's own tools must read every
// file the converter writes. tiffinfo -D decodes each page's data; tiff2pdf
// turns the file into a PDF with one page per page of image data.
#ifndef TAVRINE_TESTS_SERVER_CONVERT_LIBTIFF_CHECK_H
#define TAVRINE_TESTS_SERVER_CONVERT_LIBTIFF_CHECK_H

#include <string>

// Checks one file with both tools: every directory is read and every page's
// data decoded, and the PDF has imagePages pages (pages with rows). A file
// with no page of rows (the empty addressee file) is only counted: libtiff
// refuses a directory of length 0. Failures are reported through GoogleTest.
void CheckWithLibtiffTools(const std::string &path, int imagePages);

// Checks every file in a folder (not in its subfolders).
void CheckFolderWithLibtiffTools(const std::string &dir);

#endif
