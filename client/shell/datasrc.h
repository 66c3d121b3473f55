// Address data sources: the definitions of the outside sources (delimited
// text files and databases) a user imports addressees from, kept as
// "[DATASOURCE]" paragraphs of the user's USER.INI. The database parameter
// is stored scrambled.
#ifndef TAVRINE_CLIENT_SHELL_DATASRC_H
#define TAVRINE_CLIENT_SHELL_DATASRC_H

#include <cstdint>

#include "client/shell/profile.h"

enum {
    TV_DATASOURCE_MAX = 10,          // definitions read and kept
    TV_DATASOURCE_COLUMNS = 10,      // Fax, Name, Organisation, Address1-5, Postcode, Telephone
    TV_DATASOURCE_NAMED_COLUMNS = 3, // a database source stores the first three column names
    TV_DATASOURCE_NO_COLUMN = 65535,
};
enum TvDataSourceKind : uint16_t { TV_SOURCE_FILE = 1, TV_SOURCE_DATABASE = 2 };

struct DataSource {
    uint16_t kind;                                   // TvDataSourceKind
    uint16_t editable;                               // Edit:, default 1
    char sourceName[261];                            // the file, or the database source name (32)
    uint16_t skip;                                   // file: lines to skip
    uint16_t column[TV_DATASOURCE_COLUMNS];          // file: column numbers
    char qualifier[261];                             // database
    char driverName[33];
    char databaseUser[33];
    char parameter[32];                              // clear text; at most 31 characters
    char connection[256];
    char columnName[TV_DATASOURCE_COLUMNS][33];      // database: only the first three are kept
};

// The file keys of the ten columns, in the order they are written.
extern const char *const kDataSourceColumnKeys[TV_DATASOURCE_COLUMNS];

// Reads up to ten definitions of the user's USER.INI (ctx->userDbDir) into
// table. 1 with *count set (0 to 10); 0 on failure, logged and shown.
int ReadDataSources(const TvProfileContext *ctx, DataSource *table, int *count);

// Rewrites USER.INI with source as its first definition, dropping the old
// definition of the same source (same Sourcename:, and for a database the
// same Drivername:) and any beyond ten. 1 done; 0 on failure, logged and
// shown, with USER.INI as it was.
int UpdateDataSources(const TvProfileContext *ctx, const DataSource *source);

#endif
