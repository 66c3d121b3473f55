// Document information files (TAVRINE.DIR): the comments of the documents of
// a directory, their readers and updaters, and the FILED list built from the
// filed directory.
#ifndef TAVRINE_CLIENT_STORE_DOCINFO_H
#define TAVRINE_CLIENT_STORE_DOCINFO_H

#include <cstdint>

enum { TV_DOC_NAME_SIZE = 257, TV_DOC_COMMENT_SIZE = 81 };

// One document of an information file; fixed-size, kept in blocks.
struct DocumentInfo {
    char FileName[TV_DOC_NAME_SIZE];  // upper case, no directory
    char Comment[TV_DOC_COMMENT_SIZE];
};
static_assert(sizeof(DocumentInfo) == TV_DOC_NAME_SIZE + TV_DOC_COMMENT_SIZE, "DocumentInfo has no gaps");

// Records are read in steps of this many.
enum { TV_DOCINFO_GROWTH = 50, TV_DOCINFO_MAX_RECORDS = 32767 };

// Loads the comments of directory's TAVRINE.DIR into a block of records
// (*block, freed first; the caller frees the new one with FreeInfoBlock) and
// its size in bytes. 1 done (no block when there are no documents), 0 when
// the file is missing or damaged (the damage is reported).
int ReadInfoFile(DocumentInfo** block, int32_t* bytes, const char* directory);
void FreeInfoBlock(DocumentInfo* block);

// The record of name (any case) in a block: 0 found and copied, 1 not found.
int FileInfo(const char* name, const DocumentInfo* block, int32_t bytes, DocumentInfo* out);

// Stores doc's comment in directory's TAVRINE.DIR (created when missing);
// with an empty comment fetches the stored one into doc instead. With
// sameBase the comment also goes to documents of the same name up to the dot.
// 1 stored, 0 failed (reported).
int SetFileInfo(DocumentInfo* doc, const char* directory, bool sameBase);

// The comment of doc (whose name has no extension) in the "[DIRECTORY]"
// paragraph of directory's MSGDIR.CTL, as 'File: %8s "%s"'. 1 stored, 0
// failed (logged).
int SetFileInfoMsgdirCtl(const DocumentInfo* doc, const char* directory);

// Whether path can be opened: with existsOnly only whether it exists, else a
// trial open in mode ("rb", "r+b"...), closed again at once.
int CanOpenFile(const char* path, const char* mode, bool existsOnly);

#endif
