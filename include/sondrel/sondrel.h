/*
 * Sondrel: remote scanning for a host security product.
 *
 * The host loads libsondrel in place of its local scanning engine and drives it through six
 * functions:
 *
 *   SondrelObject* sondrel = CoreNew();                   once per process
 *   CoreInit(sondrel, &context, engineDirectory);         once per scanning thread
 *   CoreScan(sondrel, &callbacks, &request, context);     any number, one at a time per context
 *   CoreDisinfect(sondrel, &callbacks, &disinfect, context);
 *   CoreUninit(sondrel, context, 0);                      for every context but the last
 *   CoreUninit(sondrel, context, SONDREL_UNINIT_FINAL);   the last one shuts the client down
 *   CoreFree(sondrel);
 *
 * Every call other than CoreFree trusts its object pointer. The library never takes ownership
 * of the host's records or buffers: they only need to stay valid for the duration of the call
 * that receives them. All functions, including the host's callbacks, use the C calling
 * convention.
 *
 * Threads:
 *   - CoreInit and CoreUninit may be called from any thread; the library serialises them.
 *   - CoreScan and CoreDisinfect may run on many threads at once, each with its own context.
 *     A context serves one call at a time: never pass it to two calls that overlap. Any thread
 *     may use a context once the previous call on it has returned.
 *   - The final CoreUninit and CoreFree must not overlap any other call on the same object:
 *     the host lets every scan return first.
 *   - The host's callbacks run only on the thread that called CoreScan or CoreDisinfect, inside
 *     that call and never after it returns. They may block (the server waits for them), but must
 *     not call back into the library with the same context.
 *   - The library runs threads of its own (one for the server pool, one per server session);
 *     they never call the host.
 */
#ifndef SONDREL_SONDREL_H_
#define SONDREL_SONDREL_H_

#include <stddef.h>
#include <stdint.h>

/* The version of this header. The shared library keeps its ABI for every version with the same
 * major number (its SONAME is libsondrel.so.<major>). Compare with SONDREL_VERSION_NUM, for
 * example: #if SONDREL_VERSION_NUM >= 0x000100 (0.1.0 or later). */
#define SONDREL_VERSION_MAJOR 0
#define SONDREL_VERSION_MINOR 1
#define SONDREL_VERSION_PATCH 0
#define SONDREL_VERSION "0.1.0"
#define SONDREL_VERSION_NUM \
  ((SONDREL_VERSION_MAJOR << 16) | (SONDREL_VERSION_MINOR << 8) | SONDREL_VERSION_PATCH)

#if defined(__GNUC__)
#define SONDREL_API __attribute__((visibility("default")))
#else
#define SONDREL_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Status values returned by the functions (int32). */

/* The call succeeded. For CoreScan and CoreDisinfect: the request was handled and the verdict
 * is in the request's out-fields. */
#define SONDREL_STATUS_SUCCESS 0
/* The file was not scanned remotely: no request record, remote scanning not possible right
 * now, or the servers are overloaded and local scanning is preferred. Scan the file with the
 * local engine as the request's flag word says. */
#define SONDREL_STATUS_NOT_SCANNED ((int32_t)0xC0000000u)
/* CoreInit: the connection manager could not be created. CoreInit may be called again. Any
 * other non-zero status is the failure code of the connection manager's start (CoreInit) or of
 * the exchange with the server (CoreScan, CoreDisinfect). */
#define SONDREL_STATUS_COMM_CLIENT_FAILED 1627

/* Bits of the flag word that the host passes in ScanRequest.flags (read them after CoreScan
 * returns; a null flag word receives nothing). */

/* Scan the file locally: set when the settings ask for local scanning after errors, and when
 * the servers are overloaded and local scanning is preferred. */
#define SONDREL_FLAG_SCAN_LOCALLY 0x1
/* Remote scanning is switched off in the settings; the file was not scanned and CoreScan
 * returned SONDREL_STATUS_SUCCESS. */
#define SONDREL_FLAG_SCAN_DISABLED 0x2

/* Bits of the flag word in DisinfectRequest.flags. */

/* In: ask for the extended cleaning action rather than plain disinfection (ignored when the
 * settings allow disinfection only). */
#define SONDREL_DISINFECT_FLAG_EXTENDED 0x1
/* Out: the disinfection completes only after a reboot. */
#define SONDREL_DISINFECT_FLAG_REBOOT_REQUIRED 0x4

/* Verdict bit written by CoreDisinfect: a reboot is required to complete the disinfection. */
#define SONDREL_VERDICT_REBOOT_REQUIRED 0x40000000

/* The flag word of CoreUninit: a non-zero low byte shuts the client down. */
#define SONDREL_UNINIT_FINAL 1

/* CoreScan and CoreDisinfect ask GetProperty for these ids. */
#define SONDREL_PROPERTY_PROFILE 2 /* a 44-byte record */
#define SONDREL_PROPERTY_TEXT 3    /* a text of up to 256 characters */

/* CoreScan asks Query whether traces of malware are to be cleaned; answer 1 for yes. */
#define SONDREL_QUERY_CLEAN_MALWARE_TRACES 107

/* Where the library looks for its files. By default it reads the settings file
 * "settings/qxcore.xml" beside the host executable (or one or two directories higher) and its
 * logging configuration from the host executable's directory, which is also where it writes its
 * log file when no configuration names one. A host that is not installed beside its settings
 * can name them in the environment before it loads the library (the variables are read when the
 * library first needs them: the logging directory at the first CoreNew, the settings file at
 * every read of the settings):
 *   SONDREL_SETTINGS_FILE     the settings file itself, read instead of the search;
 *   SONDREL_LOG_CONFIG_DIR    the directory that takes the executable directory's place for the
 *                             logging configuration files and the default log file.
 * An unset or empty variable leaves the default lookup exactly as it is. */
#define SONDREL_ENV_SETTINGS_FILE "SONDREL_SETTINGS_FILE"
#define SONDREL_ENV_LOG_CONFIG_DIR "SONDREL_LOG_CONFIG_DIR"

/* The client object and the per-thread scan context: opaque handles. */
typedef struct SondrelObject SondrelObject;
typedef struct SondrelScanContext SondrelScanContext;

/* A range of the file for Read and Write. */
typedef struct HostFileRange {
  uint64_t offset;
  uint32_t count;
} HostFileRange;

/* The host's option list for GetOptions. The library first calls with a zeroed record to learn
 * byteSize, then again with entries pointing to byteSize bytes of its own. */
typedef struct HostOptionList {
  uint32_t wordA;
  uint32_t wordB;
  uint32_t byteSize;
  void* entries;
} HostOptionList;

/* The buffer GetProperty fills: its address as a 64-bit value and its size in bytes. */
typedef struct HostPropertyBuffer {
  uint64_t address;
  uint32_t size;
  uint32_t reserved; /* 0 */
} HostPropertyBuffer;

/* The host's functions. Each returns 0 for success unless stated otherwise and receives the
 * table's user value as its last argument. A failure is passed on to the server (or logged) and
 * the request goes on: the server decides what becomes of it. */

/* The file's size in two 32-bit halves. Called at the start of every request and before a
 * result is stored in the local cache; must give the same size each time. */
typedef int32_t (*HostGetSizeFn)(uint32_t* sizeLow, uint32_t* sizeHigh, void* user);
/* Reads range->count bytes at range->offset into buffer and stores the number of bytes read
 * (never more than range->count; fewer only at the end of the file). Called for the file's
 * first bytes and for every range the server asks for, in any order; a request may ask for more
 * than 1 MiB at once. */
typedef int32_t (*HostReadFn)(void* buffer, const HostFileRange* range, uint32_t* bytesRead,
                              void* user);
/* Data that the server sends for the host during a scan; valid only during the call. */
typedef int32_t (*HostDataNotifyFn)(const void* data, uint32_t length, void* user);
/* Called once per request after the request is built, with its extra-data handle and length
 * (both 0 in this library). */
typedef int32_t (*HostReleaseFn)(void* handle, uint32_t length, void* user);
/* Disinfection: writes range->count bytes from source at range->offset and stores the number
 * of bytes written. The result goes back to the server. */
typedef int32_t (*HostWriteFn)(const void* source, const HostFileRange* range,
                               uint32_t* bytesWritten, void* user);
/* Disinfection: a 64-bit value from the server in two halves, with which the server resizes
 * the file; the result goes back to the server. */
typedef int32_t (*HostValueFn)(uint32_t valueLow, uint32_t valueHigh, void* user);
/* A value for the request header; *processInfo is 0 on entry. */
typedef int32_t (*HostGetProcInfoFn)(int32_t* processInfo, void* user);
/* A callback request from the server: dataLength bytes at the buffer's address, which has room
 * for capacity bytes. Returns the length of the answer written into the same buffer (0 to
 * capacity; anything outside is clamped). */
typedef int32_t (*HostCallbackFn)(uint64_t buffer, uint32_t dataLength, uint32_t capacity,
                                  void* user);
/* A question identified by code (SONDREL_QUERY_...); the answer goes to *answer, which is 0 on
 * entry. The result is not examined. */
typedef int32_t (*HostQueryFn)(int32_t code, int32_t* answer, void* user);
/* The host's option list (see HostOptionList). Both calls must report the same byteSize. */
typedef int32_t (*HostGetOptionsFn)(HostOptionList* list, void* user);
/* Fills buffer with the property id (SONDREL_PROPERTY_...), at most buffer->size bytes; kind is
 * always 2. */
typedef int32_t (*HostGetPropertyFn)(int32_t id, HostPropertyBuffer* buffer, int32_t kind,
                                     void* user);

/* The host's table of functions, passed with every CoreScan and CoreDisinfect. Functions the
 * host does not offer are null; reserved fields are ignored. */
typedef struct HostCallbacks {
  HostGetSizeFn getSize;
  HostReadFn read;
  void* reserved8;
  HostDataNotifyFn dataNotify;
  HostReleaseFn release;
  HostWriteFn write;
  HostValueFn value;
  HostGetProcInfoFn getProcInfo;
  HostCallbackFn callback;
  void* reserved36;
  void* user; /* passed as the last argument of every function */
  HostQueryFn query;
  HostGetOptionsFn getOptions;
  HostGetPropertyFn getProperty;
} HostCallbacks;

/* One file to scan. */
typedef struct ScanRequest {
  const char* path;            /* the file's path (narrow text), for log lines and exclusions */
  const char* displayName;     /* sent to the server; null sends the path */
  int32_t* verdict;            /* out: the verdict after a successful remote exchange */
  char* threatName;            /* out: the threat name after a successful remote exchange */
  uint32_t threatNameCapacity; /* bytes of threatName, terminating NUL included */
  uint32_t reserved20;
  uint8_t cacheAllowed;   /* 0 forbids every cache for this request */
  int32_t* flags;         /* may be null; SONDREL_FLAG_... bits, see above */
  int32_t disinfectFlags; /* out: the disinfect flags the server sent, 0 when none */
} ScanRequest;

/* One file to disinfect. */
typedef struct DisinfectRequest {
  int32_t* verdict; /* out: always written; the verdict of the exchange, or 0 */
  const char* path;
  const char* displayName;
  int32_t* flags; /* may be null; SONDREL_DISINFECT_FLAG_... bits */
} DisinfectRequest;

/* Creates the client; null when memory runs out. Nothing is read, loaded or connected yet. */
SONDREL_API SondrelObject* CoreNew(void);
/* Destroys the client (null is ignored). Call CoreUninit with SONDREL_UNINIT_FINAL first. */
SONDREL_API void CoreFree(SondrelObject* sondrel);
/* Brings the client up on its first call and stores a new scan context in *context.
 * engineDirectory (UTF-8, may be null) holds the engine version marker. Returns a status. */
SONDREL_API int32_t CoreInit(SondrelObject* sondrel, SondrelScanContext** context,
                             const char* engineDirectory);
/* Scans one file; the context is the calling thread's own. Returns a status. */
SONDREL_API int32_t CoreScan(SondrelObject* sondrel, const HostCallbacks* callbacks,
                             ScanRequest* request, SondrelScanContext* context);
/* Gives a context back (null allowed); with SONDREL_UNINIT_FINAL also shuts the client down.
 * Always returns 0. */
SONDREL_API int32_t CoreUninit(SondrelObject* sondrel, SondrelScanContext* context, int32_t flags);
/* Asks a server to disinfect one file. Returns a status. */
SONDREL_API int32_t CoreDisinfect(SondrelObject* sondrel, const HostCallbacks* callbacks,
                                  const DisinfectRequest* request, SondrelScanContext* context);

#ifdef __cplusplus
} /* extern "C" */
#endif

/* On a 32-bit build the records have exactly the layout the host's records have. */
#if UINTPTR_MAX == 0xFFFFFFFFu
#ifdef __cplusplus
#define SONDREL_STATIC_ASSERT static_assert
#else
#define SONDREL_STATIC_ASSERT _Static_assert
#endif
SONDREL_STATIC_ASSERT(offsetof(HostCallbacks, read) == 4, "HostCallbacks.read");
SONDREL_STATIC_ASSERT(offsetof(HostCallbacks, reserved8) == 8, "HostCallbacks.reserved8");
SONDREL_STATIC_ASSERT(offsetof(HostCallbacks, dataNotify) == 12, "HostCallbacks.dataNotify");
SONDREL_STATIC_ASSERT(offsetof(HostCallbacks, release) == 16, "HostCallbacks.release");
SONDREL_STATIC_ASSERT(offsetof(HostCallbacks, write) == 20, "HostCallbacks.write");
SONDREL_STATIC_ASSERT(offsetof(HostCallbacks, value) == 24, "HostCallbacks.value");
SONDREL_STATIC_ASSERT(offsetof(HostCallbacks, getProcInfo) == 28, "HostCallbacks.getProcInfo");
SONDREL_STATIC_ASSERT(offsetof(HostCallbacks, callback) == 32, "HostCallbacks.callback");
SONDREL_STATIC_ASSERT(offsetof(HostCallbacks, reserved36) == 36, "HostCallbacks.reserved36");
SONDREL_STATIC_ASSERT(offsetof(HostCallbacks, user) == 40, "HostCallbacks.user");
SONDREL_STATIC_ASSERT(offsetof(HostCallbacks, query) == 44, "HostCallbacks.query");
SONDREL_STATIC_ASSERT(offsetof(HostCallbacks, getOptions) == 48, "HostCallbacks.getOptions");
SONDREL_STATIC_ASSERT(offsetof(HostCallbacks, getProperty) == 52, "HostCallbacks.getProperty");
SONDREL_STATIC_ASSERT(offsetof(ScanRequest, displayName) == 4, "ScanRequest.displayName");
SONDREL_STATIC_ASSERT(offsetof(ScanRequest, verdict) == 8, "ScanRequest.verdict");
SONDREL_STATIC_ASSERT(offsetof(ScanRequest, threatName) == 12, "ScanRequest.threatName");
SONDREL_STATIC_ASSERT(offsetof(ScanRequest, threatNameCapacity) == 16,
                      "ScanRequest.threatNameCapacity");
SONDREL_STATIC_ASSERT(offsetof(ScanRequest, reserved20) == 20, "ScanRequest.reserved20");
SONDREL_STATIC_ASSERT(offsetof(ScanRequest, cacheAllowed) == 24, "ScanRequest.cacheAllowed");
SONDREL_STATIC_ASSERT(offsetof(ScanRequest, flags) == 28, "ScanRequest.flags");
SONDREL_STATIC_ASSERT(offsetof(ScanRequest, disinfectFlags) == 32, "ScanRequest.disinfectFlags");
SONDREL_STATIC_ASSERT(offsetof(DisinfectRequest, path) == 4, "DisinfectRequest.path");
SONDREL_STATIC_ASSERT(offsetof(DisinfectRequest, displayName) == 8, "DisinfectRequest.displayName");
SONDREL_STATIC_ASSERT(offsetof(DisinfectRequest, flags) == 12, "DisinfectRequest.flags");
SONDREL_STATIC_ASSERT(sizeof(HostCallbacks) == 56, "sizeof(HostCallbacks)");
SONDREL_STATIC_ASSERT(sizeof(ScanRequest) == 36, "sizeof(ScanRequest)");
SONDREL_STATIC_ASSERT(sizeof(DisinfectRequest) == 16, "sizeof(DisinfectRequest)");
#undef SONDREL_STATIC_ASSERT
#endif

#endif /* SONDREL_SONDREL_H_ */
