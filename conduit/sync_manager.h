/* The Sync Manager interface between a HotSync host and a conduit library.
 *
 * A conduit is a shared library that the host loads during a HotSync. The
 * host calls the conduit's entry points (below, "Conduit entry points"); the
 * conduit calls back the Sync Manager operations to read and change the
 * handheld's databases. The operations live in the host executable, which
 * exports exactly these names: a conduit finds them with
 * dlsym(RTLD_DEFAULT, "SyncOpenDatabase") and friends (a conduit loaded by a
 * process that is no host finds none and must fail cleanly).
 *
 * Conventions:
 * - Every operation returns an int32_t result: sync_ok (0) or one of the
 *   sync_err_* codes. On failure nothing the caller passed is written,
 *   except where an operation says so (a buffer that is too small reports
 *   the size it needs).
 * - Names of databases are at most 31 bytes plus a terminating zero; types
 *   and creators are four bytes as they stand in the database header
 *   ("TEXt", "REAd"), not zero-terminated.
 * - Dates are seconds since 1904-01-01 00:00:00 on the handheld's clock,
 *   as in the database header.
 * - A database handle is a positive number, valid from open or create until
 *   close; handles are never reused during a HotSync, so a closed handle is
 *   recognised as such.
 * - Records are at most 64 KB (sync_max_record_size bytes).
 *
 * Thread safety: the host serialises the operations; a conduit may call them
 * from any of its threads while its OpenConduit runs. After OpenConduit has
 * returned every call fails with sync_err_general.
 *
 * The host of this project (wayfetch-hotsync) and its handheld folder are
 * described in docs/hotsync.md. This header is plain C and is included by
 * C and C++ code alike. */
#ifndef WAYFETCH_CONDUIT_SYNC_MANAGER_H
#define WAYFETCH_CONDUIT_SYNC_MANAGER_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Results of the operations. */
enum {
  sync_ok = 0,
  sync_err_general = 16385,      /* the host cannot serve the call now */
  sync_err_bad_argument = 16386, /* a null pointer, a bad mode, name or negative index */
  sync_err_not_found = 16387,    /* no such database; end of a list; no record at the index */
  sync_err_bad_handle = 16388,   /* a closed or unknown database handle */
  sync_err_too_big = 16389,      /* a record larger than sync_max_record_size */
  sync_err_buffer_small = 16390, /* the caller's buffer cannot hold the answer */
  sync_err_exists = 16391,       /* a database of that name already exists */
  sync_err_busy = 16392,         /* the database is open */
  sync_err_read_only = 16393,    /* a write to a database opened for reading */
  sync_err_limit = 16394,        /* too many open databases, or records in one */
  sync_err_io = 16395,           /* the handheld's storage failed */
  sync_err_cancelled = 16396     /* the host has given up on the conduit */
};

enum {
  sync_max_record_size = 65536,
  sync_name_size = 32,   /* a database name with its terminating zero */
  sync_max_open = 32,    /* databases open at one time */
  sync_mode_read = 0x80, /* the open mode for reading */
  sync_mode_write = 0x40 /* refused by SyncOpenDatabase: only created databases are written */
};

/* The handheld's clock. */
typedef struct SyncDateTime {
  int32_t year; /* 1904-2040 */
  int32_t month;
  int32_t day;
  int32_t hour;
  int32_t minute;
  int32_t second;
  int32_t day_of_week;   /* 0 = Sunday */
  uint32_t palm_seconds; /* the same time in seconds since 1904-01-01 */
} SyncDateTime;

/* One database as a listing reports it: its header fields and where it is. */
typedef struct SyncDatabaseInfo {
  char name[32]; /* zero-terminated */
  int32_t card;
  uint32_t local_id; /* the database's number during this HotSync */
  uint16_t attributes;
  uint16_t version;
  char type[4];
  char creator[4];
  uint32_t creation_date;
  uint32_t modification_date;
  uint32_t backup_date;
  uint32_t modification_number;
  uint32_t record_count;
} SyncDatabaseInfo;

/* What a new database gets from its creator. */
typedef struct SyncCreateRequest {
  char name[32]; /* 1 to 31 bytes, zero-terminated */
  int32_t card;  /* 0 */
  uint16_t attributes;
  uint16_t version;
  char type[4];
  char creator[4];
  uint32_t creation_date;     /* 0 = the handheld's clock */
  uint32_t modification_date; /* 0 = the handheld's clock */
} SyncCreateRequest;

/* One record read or written. Reading fills size, attributes and unique_id
 * and copies the bytes into buffer when buffer_size is at least size;
 * writing appends buffer_size bytes from buffer with the attributes and
 * unique_id (0 = the host picks one) and reports the id it got. */
typedef struct SyncRecord {
  int32_t handle;
  int32_t index; /* reading: which record, from 0 */
  void* buffer;
  uint32_t buffer_size;
  uint32_t size;
  uint8_t attributes;
  uint32_t unique_id; /* 24 bits */
} SyncRecord;

/* The unique ids of an open database's records, in record order. */
typedef struct SyncPositionMap {
  int32_t handle;
  uint32_t* ids; /* room for capacity ids */
  uint32_t capacity;
  uint32_t count; /* the records the database holds */
} SyncPositionMap;

/* Reads the handheld's clock. */
int32_t SyncReadSysDateTime(SyncDateTime* clock);

/* Lists the databases of one type and creator (a null pointer matches any),
 * one per call: new_search non-zero starts a listing, zero continues it.
 * sync_err_not_found once every database has been reported. */
int32_t SyncFindDbByTypeCreator(int32_t new_search, const char* type, const char* creator,
                                SyncDatabaseInfo* info);

/* Opens a database by name and card for reading (mode sync_mode_read) and
 * stores its handle. sync_err_not_found for an unknown name or card. */
int32_t SyncOpenDatabase(const char* name, int32_t card, uint8_t mode, int32_t* handle);

/* Reads the record at record->index of an open database.
 * sync_err_not_found past the last record; sync_err_buffer_small (with size
 * set) when the buffer is too small; sync_err_too_big for a record larger
 * than 64 KB (size set). */
int32_t SyncReadRecordByIndex(SyncRecord* record);

/* Closes a database. A database made by SyncCreateDatabase appears on the
 * handheld only now; until then it exists nowhere but in the host. */
int32_t SyncCloseDatabase(int32_t handle);

/* Creates a database from a header and opens it for writing.
 * sync_err_exists when the handheld has (or is making) one of that name. */
int32_t SyncCreateDatabase(const SyncCreateRequest* request, int32_t* handle);

/* Appends one record to a database opened by SyncCreateDatabase. */
int32_t SyncWriteRecord(SyncRecord* record);

/* Deletes a database by name and card; sync_err_busy while it is open. */
int32_t SyncDeleteDatabase(const char* name, int32_t card);

/* Copies the unique ids of an open database's records into map->ids and sets
 * map->count; sync_err_buffer_small (count set, nothing copied) when they do
 * not fit. */
int32_t SyncReadPositionXMap(SyncPositionMap* map);

/* Adds one line to the HotSync log (at most 1023 bytes are kept). */
int32_t SyncAddLogEntry(const char* text);

/* Lets the host run; 0 to go on, sync_err_cancelled when the host has given
 * up on the conduit (it should then return from OpenConduit). */
int32_t SyncYieldCycles(uint16_t cycles);

/* ------------------------------------------------------------------------
 * Conduit entry points: what a conduit library exports and the host calls. */

/* Synchronisation types. */
enum {
  sync_type_fast = 0,   /* synchronise what changed */
  sync_type_slow = 1,   /* synchronise everything */
  sync_type_nothing = 6 /* do nothing; 2 to 5 are not used by this host */
};

/* How a new synchronisation type chosen in the configuration applies. */
enum {
  sync_preference_permanent = 1, /* from now on */
  sync_preference_temporary = 2  /* for the next HotSync only */
};

/* The configuration record given to CfgConduit: 352 bytes. */
typedef struct SyncConfiguration {
  uint32_t version; /* 1 */
  uint32_t size;    /* 352 */
  char creator[4];
  uint32_t user_id;
  char user_name[64]; /* zero-terminated */
  char path[256];     /* the user's desktop folder, zero-terminated */
  uint32_t permanent_type;
  uint32_t temporary_type; /* the type of the next HotSync */
  uint32_t new_type;       /* what the configuration chose */
  uint32_t preference;     /* sync_preference_* */
} SyncConfiguration;

/* What OpenConduit receives about the HotSync. */
typedef struct ConduitProperties {
  uint32_t version; /* 1 */
  uint32_t size;    /* sizeof(ConduitProperties) */
  char creator[4];
  uint32_t sync_type; /* sync_type_* */
  int32_t card;       /* 0 */
  uint32_t user_id;
  char user_name[64]; /* zero-terminated */
  char path[256];     /* the user's desktop folder, zero-terminated */
} ConduitProperties;

/* The request of GetConduitInfo kind 0 (the conduit's name): 80 bytes. */
typedef struct ConduitInfoRequest {
  uint32_t version; /* 1 */
  uint32_t size;    /* 80 */
  char creator[4];
  uint32_t sync_type;
  char user_name[64];
} ConduitInfoRequest;

/* Progress of a conduit's work, handed to the host's callback. */
typedef struct SyncProgress {
  uint32_t size;  /* sizeof(SyncProgress) */
  uint32_t done;  /* steps done */
  uint32_t total; /* steps in all, 0 when unknown */
  char text[128]; /* what is being done, zero-terminated */
} SyncProgress;
typedef void (*SyncProgressCallback)(const SyncProgress* progress);

/* GetConduitInfo kinds. */
enum { conduit_info_name = 0, conduit_info_default_action = 1, conduit_info_library_version = 2 };

typedef int32_t (*GetConduitNameFunction)(char* buffer, int32_t size);
typedef uint32_t (*GetConduitVersionFunction)(void);
typedef int32_t (*GetConduitInfoFunction)(int32_t kind, const void* request, void* out,
                                          uint32_t* out_size);
typedef int32_t (*OpenConduitFunction)(SyncProgressCallback progress,
                                       ConduitProperties* properties);
typedef int32_t (*CfgConduitFunction)(int32_t kind, SyncConfiguration* info, uint32_t* info_size);

#ifdef __cplusplus
}
static_assert(sizeof(SyncConfiguration) == 352, "the configuration record is 352 bytes");
static_assert(sizeof(ConduitInfoRequest) == 80, "the name request is 80 bytes");
#else
_Static_assert(sizeof(SyncConfiguration) == 352, "the configuration record is 352 bytes");
_Static_assert(sizeof(ConduitInfoRequest) == 80, "the name request is 80 bytes");
#endif

#endif
