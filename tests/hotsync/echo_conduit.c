/* A tiny conduit for the host's tests. OpenConduit runs the script
 * "$ECHO_CONDUIT_SCRIPTS/<creator>.script", one command per line, and
 * reports what happened as HotSync log lines:
 *   log TEXT                  the text as a log line
 *   list TYPE CREATOR         "found NAME N" per database, then "list end CODE"
 *   copy NAME PATH            the database into the desktop file PATH
 *   install PATH              the desktop file PATH onto the handheld
 *   unfinished PATH           install without closing (the host discards it)
 *   killed PATH               install, killing the process before closing
 *   delete NAME               "delete NAME CODE"
 *   probe                     calls with bad handles, indexes and sizes
 *   resolve                   "resolved N of 11" Sync Manager operations
 *   clock                     "clock SECONDS" of the handheld clock
 *   hang                      never return
 *   return N                  OpenConduit returns N
 *   cfg-result N              what CfgConduit returns (read by CfgConduit)
 * The operations are found with dlsym in the process that loaded it. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "conduit/sync_manager.h"

static struct {
  int32_t (*clock)(SyncDateTime*);
  int32_t (*find)(int32_t, const char*, const char*, SyncDatabaseInfo*);
  int32_t (*open)(const char*, int32_t, uint8_t, int32_t*);
  int32_t (*read)(SyncRecord*);
  int32_t (*close)(int32_t);
  int32_t (*create)(const SyncCreateRequest*, int32_t*);
  int32_t (*write)(SyncRecord*);
  int32_t (*remove)(const char*, int32_t);
  int32_t (*map)(SyncPositionMap*);
  int32_t (*log)(const char*);
  int32_t (*yield)(uint16_t);
} ops;

static const char* const names[11] = {
    "SyncReadSysDateTime",  "SyncFindDbByTypeCreator", "SyncOpenDatabase", "SyncReadRecordByIndex",
    "SyncCloseDatabase",    "SyncCreateDatabase",      "SyncWriteRecord",  "SyncDeleteDatabase",
    "SyncReadPositionXMap", "SyncAddLogEntry",         "SyncYieldCycles"};

static int resolve(void) {
  void** slots = (void**)&ops;
  int found = 0;
  for (int i = 0; i < 11; ++i) {
    slots[i] = dlsym(RTLD_DEFAULT, names[i]);
    found += slots[i] != NULL;
  }
  return found;
}

static void say(const char* format, ...) __attribute__((format(printf, 1, 2)));
static void say(const char* format, ...) {
  char line[512];
  va_list args;
  va_start(args, format);
  vsnprintf(line, sizeof line, format, args);
  va_end(args);
  ops.log(line);
}

static uint32_t get(const unsigned char* p, int n) {
  uint32_t v = 0;
  for (int i = 0; i < n; ++i) v = v << 8 | p[i];
  return v;
}
static void put(unsigned char* p, uint32_t v, int n) {
  for (int i = n - 1; i >= 0; --i, v >>= 8) p[i] = (unsigned char)v;
}

/* A database in memory: header fields and records. */
typedef struct {
  SyncDatabaseInfo info;
  int count;
  uint32_t offsets[1024];
  uint32_t sizes[1024];
  uint8_t attributes[1024];
  uint32_t ids[1024];
  unsigned char* bytes;
  uint32_t used;
} Database;

static int read_file(const char* path, Database* db) {
  FILE* file = fopen(path, "rb");
  if (file == NULL) return -1;
  static unsigned char buffer[1 << 22];
  size_t size = fread(buffer, 1, sizeof buffer, file);
  fclose(file);
  if (size < 78) return -1;
  memset(db, 0, sizeof *db);
  memcpy(db->info.name, buffer, 31);
  db->info.attributes = (uint16_t)get(buffer + 32, 2);
  db->info.version = (uint16_t)get(buffer + 34, 2);
  db->info.creation_date = get(buffer + 36, 4);
  db->info.modification_date = get(buffer + 40, 4);
  memcpy(db->info.type, buffer + 60, 4);
  memcpy(db->info.creator, buffer + 64, 4);
  db->count = (int)get(buffer + 76, 2);
  if (db->count > 1024 || 78 + 8 * (size_t)db->count > size) return -1;
  db->bytes = buffer;
  for (int i = 0; i < db->count; ++i) {
    const unsigned char* entry = buffer + 78 + 8 * i;
    db->offsets[i] = get(entry, 4);
    db->attributes[i] = entry[4];
    db->ids[i] = get(entry + 5, 3);
  }
  for (int i = 0; i < db->count; ++i) {
    uint32_t end = i + 1 < db->count ? db->offsets[i + 1] : (uint32_t)size;
    if (db->offsets[i] > end || end > size) return -1;
    db->sizes[i] = end - db->offsets[i];
  }
  return 0;
}

static int write_file(const char* path, const Database* db) {
  FILE* file = fopen(path, "wb");
  if (file == NULL) return -1;
  unsigned char head[78 + 8 * 1024];
  memset(head, 0, sizeof head);
  memcpy(head, db->info.name, 32);
  put(head + 32, db->info.attributes, 2);
  put(head + 34, db->info.version, 2);
  put(head + 36, db->info.creation_date, 4);
  put(head + 40, db->info.modification_date, 4);
  put(head + 44, db->info.backup_date, 4);
  put(head + 48, db->info.modification_number, 4);
  memcpy(head + 60, db->info.type, 4);
  memcpy(head + 64, db->info.creator, 4);
  put(head + 76, (uint32_t)db->count, 2);
  uint32_t offset = 78 + 8 * (uint32_t)db->count;
  for (int i = 0; i < db->count; ++i) {
    put(head + 78 + 8 * i, offset, 4);
    head[82 + 8 * i] = db->attributes[i];
    put(head + 83 + 8 * i, db->ids[i], 3);
    offset += db->sizes[i];
  }
  size_t head_size = 78 + 8 * (size_t)db->count + (db->count == 0 ? 2 : 0);
  int ok = fwrite(head, 1, head_size, file) == head_size &&
           fwrite(db->bytes, 1, db->used, file) == db->used;
  return fclose(file) == 0 && ok ? 0 : -1;
}

static void copy(const char* name, const char* path) {
  static Database db;
  static unsigned char data[1 << 22];
  memset(&db, 0, sizeof db);
  db.bytes = data;
  int32_t code;
  for (code = ops.find(1, NULL, NULL, &db.info); code == sync_ok;
       code = ops.find(0, NULL, NULL, &db.info)) {
    if (strcmp(db.info.name, name) == 0) break;
  }
  int32_t handle = 0;
  if (code == sync_ok) code = ops.open(name, 0, sync_mode_read, &handle);
  for (; code == sync_ok && db.count < 1024; ++db.count) {
    SyncRecord r = {handle, db.count, data + db.used, (uint32_t)(sizeof data - db.used), 0, 0, 0};
    code = ops.read(&r);
    if (code != sync_ok) break;
    db.sizes[db.count] = r.size;
    db.attributes[db.count] = r.attributes;
    db.ids[db.count] = r.unique_id;
    db.used += r.size;
    ops.yield(1);
  }
  if (handle != 0) ops.close(handle);
  if (code == sync_err_not_found && write_file(path, &db) == 0) {
    say("copied %s %d", name, db.count);
  } else {
    say("copy %s failed %d", name, code);
  }
}

/* how: 0 install, 1 leave unclosed, 2 kill the process before closing. */
static void install(const char* path, int how) {
  static Database db;
  if (read_file(path, &db) != 0) {
    say("install %s unreadable", path);
    return;
  }
  SyncCreateRequest request;
  memset(&request, 0, sizeof request);
  memcpy(request.name, db.info.name, 32);
  request.attributes = db.info.attributes;
  request.version = db.info.version;
  memcpy(request.type, db.info.type, 4);
  memcpy(request.creator, db.info.creator, 4);
  request.creation_date = db.info.creation_date;
  request.modification_date = db.info.modification_date;
  int32_t handle = 0;
  int32_t code = ops.create(&request, &handle);
  SyncPositionMap map = {handle, NULL, 0, 0};
  if (code == sync_ok) code = ops.map(&map);
  for (int i = 0; code == sync_ok && i < db.count; ++i) {
    SyncRecord r = {handle,           0,        db.bytes + db.offsets[i], db.sizes[i], 0,
                    db.attributes[i], db.ids[i]};
    code = ops.write(&r);
  }
  if (how == 2 && code == sync_ok) kill(getpid(), SIGKILL);
  if (how == 1) return;
  if (code == sync_ok) code = ops.close(handle);
  say("install %s %d", db.info.name, code);
}

/* Every call with a bad handle, index or size; each must fail. */
static void probe(void) {
  SyncDatabaseInfo info;
  int32_t handle = 0;
  char buffer[16];
  int32_t code = ops.find(1, NULL, NULL, &info);
  if (code == sync_ok) code = ops.open(info.name, 0, sync_mode_read, &handle);
  if (code != sync_ok) {
    say("probe needs a database %d", code);
    return;
  }
  SyncRecord r = {handle, (int32_t)info.record_count, buffer, sizeof buffer, 0, 0, 0};
  say("probe index-past-end %d", ops.read(&r));
  r.index = -1;
  say("probe index-negative %d", ops.read(&r));
  r.index = 0;
  r.buffer_size = 0;
  say("probe buffer-small %d", ops.read(&r));
  r.buffer_size = sizeof buffer;
  say("probe write-read-only %d", ops.write(&r));
  say("probe open-write-mode %d", ops.open(info.name, 0, sync_mode_write, &handle));
  say("probe close %d", ops.close(handle));
  say("probe close-again %d", ops.close(handle));
  r.handle = handle;
  say("probe read-closed %d", ops.read(&r));
  r.handle = 4711;
  say("probe read-unknown %d", ops.read(&r));
  SyncPositionMap map = {handle, NULL, 0, 0};
  say("probe map-closed %d", ops.map(&map));
  say("probe read-null %d", ops.read(NULL));
  say("probe open-card-1 %d", ops.open(info.name, 1, sync_mode_read, &handle));
  char long_name[40];
  memset(long_name, 'x', sizeof long_name);
  say("probe open-unterminated %d", ops.open(long_name, 0, sync_mode_read, &handle));
  SyncCreateRequest request;
  memset(&request, 0, sizeof request);
  memcpy(request.name, info.name, sizeof request.name);
  say("probe create-existing %d", ops.create(&request, &handle));
  strcpy(request.name, "probe new");
  if (ops.create(&request, &handle) != sync_ok) return;
  static unsigned char big[sync_max_record_size + 1];
  SyncRecord w = {handle, 0, big, sizeof big, 0, 0, 0};
  say("probe write-too-big %d", ops.write(&w));
  w.buffer_size = 4;
  w.unique_id = 7;
  ops.write(&w);
  say("probe write-same-id %d", ops.write(&w));
  w.unique_id = 0x1000000;
  say("probe write-wide-id %d", ops.write(&w));
  say("probe delete-open %d", ops.remove("probe new", 0));
  say("probe close-created %d", ops.close(handle));
}

static int32_t run(const char* script) {
  FILE* file = fopen(script, "r");
  if (file == NULL) {
    say("no script %s", script);
    return 0;
  }
  char line[1024];
  char a[512];
  char b[512];
  int32_t result = 0;
  while (fgets(line, sizeof line, file) != NULL) {
    line[strcspn(line, "\n")] = '\0';
    if (strncmp(line, "log ", 4) == 0) {
      ops.log(line + 4);
    } else if (sscanf(line, "list %4s %4s", a, b) == 2) {
      SyncDatabaseInfo info;
      int32_t code;
      for (code = ops.find(1, a, b, &info); code == sync_ok; code = ops.find(0, a, b, &info))
        say("found %s %u", info.name, info.record_count);
      say("list end %d", code);
    } else if (sscanf(line, "copy %511[^\t] %511s", a, b) == 2) {
      copy(a, b);
    } else if (sscanf(line, "install %511s", a) == 1) {
      install(a, 0);
    } else if (sscanf(line, "unfinished %511s", a) == 1) {
      install(a, 1);
    } else if (sscanf(line, "killed %511s", a) == 1) {
      install(a, 2);
    } else if (strncmp(line, "delete ", 7) == 0) {
      say("delete %s %d", line + 7, ops.remove(line + 7, 0));
    } else if (strcmp(line, "probe") == 0) {
      probe();
    } else if (strcmp(line, "resolve") == 0) {
      say("resolved %d of 11", resolve());
    } else if (strcmp(line, "clock") == 0) {
      SyncDateTime now;
      int32_t code = ops.clock(&now);
      say("clock %u %d", now.palm_seconds, code);
    } else if (strcmp(line, "hang") == 0) {
      for (;;) usleep(10000);
    } else if (sscanf(line, "return %d", &result) == 1) {
      break;
    }
  }
  fclose(file);
  return result;
}

static void script_path(const char creator[4], char* path, size_t size) {
  const char* folder = getenv("ECHO_CONDUIT_SCRIPTS");
  snprintf(path, size, "%s/%.4s.script", folder != NULL ? folder : ".", creator);
}

uint32_t GetConduitVersion(void) {
  return 0x102;
}

int32_t GetConduitInfo(int32_t kind, const void* request, void* out, uint32_t* out_size) {
  (void)request;
  if (out == NULL || out_size == NULL || kind != conduit_info_name) return -1;
  snprintf(out, *out_size, "Echo");
  return 0;
}

int32_t OpenConduit(SyncProgressCallback progress, ConduitProperties* properties) {
  if (resolve() != 11) return 99;
  if (progress != NULL) {
    SyncProgress step = {sizeof step, 0, 1, "echo"};
    progress(&step);
  }
  char path[1024];
  script_path(properties->creator, path, sizeof path);
  return run(path);
}

int32_t CfgConduit(int32_t kind, SyncConfiguration* info, uint32_t* info_size) {
  if (kind != 0 || info == NULL || info_size == NULL || *info_size != 352) return 4218;
  char path[1024];
  char line[128];
  int32_t result = 0;
  script_path(info->creator, path, sizeof path);
  FILE* file = fopen(path, "r");
  while (file != NULL && fgets(line, sizeof line, file) != NULL)
    sscanf(line, "cfg-result %d", &result);
  if (file != NULL) fclose(file);
  return result;
}
