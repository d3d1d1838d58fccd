/* A minimal host: scans the files named on its command line through libsondrel and prints one
 * line per file. Exit code: 0 every file clean, 1 something found, 2 usage error or the client
 * did not start, 3 a file that could not be opened or was not scanned remotely. */
#define _FILE_OFFSET_BITS 64
#define _POSIX_C_SOURCE 200809L
#include <sondrel/sondrel.h>
#include <stdio.h>
#include <time.h>

/* How long to wait for a usable scan server; a real host scans locally instead. */
#define WAIT_SECONDS 3

static int32_t GetSize(uint32_t* low, uint32_t* high, void* user) {
  FILE* file = user;
  off_t size = fseeko(file, 0, SEEK_END) == 0 ? ftello(file) : -1;
  *low = (uint32_t)size;
  *high = (uint32_t)((uint64_t)size >> 32);
  return size < 0 ? -1 : 0;
}

static int32_t Read(void* buffer, const HostFileRange* range, uint32_t* bytesRead, void* user) {
  FILE* file = user;
  *bytesRead = 0;
  if (fseeko(file, (off_t)range->offset, SEEK_SET) != 0) {
    return -1;
  }
  *bytesRead = (uint32_t)fread(buffer, 1, range->count, file);
  return ferror(file) ? -1 : 0;
}

/* Scans one file; prints its line and returns what it adds to the exit code. */
static int Scan(SondrelObject* sondrel, SondrelScanContext* context, const char* path,
                time_t deadline) {
  FILE* file = fopen(path, "rb");
  if (file == NULL) {
    printf("%s: cannot be opened\n", path);
    return 3;
  }
  HostCallbacks callbacks = {.getSize = GetSize, .read = Read, .user = file};
  int32_t verdict = 0;
  int32_t flags = 0;
  char threat[256] = "";
  ScanRequest request = {.path = path,
                         .verdict = &verdict,
                         .threatName = threat,
                         .threatNameCapacity = sizeof threat,
                         .cacheAllowed = 1,
                         .flags = &flags};
  /* Until a scan server is usable, the library answers "not scanned". */
  int32_t status = CoreScan(sondrel, &callbacks, &request, context);
  while (status == SONDREL_STATUS_NOT_SCANNED && time(NULL) < deadline) {
    nanosleep(&(struct timespec){.tv_nsec = 100000000}, NULL);
    flags = 0;
    status = CoreScan(sondrel, &callbacks, &request, context);
  }
  fclose(file);

  if (status == SONDREL_STATUS_NOT_SCANNED) {
    const int locally = (flags & SONDREL_FLAG_SCAN_LOCALLY) != 0;
    printf("%s: not scanned%s\n", path, locally ? " (scan it locally)" : "");
    return 3;
  }
  if (status != SONDREL_STATUS_SUCCESS) {
    printf("%s: failed with status %ld\n", path, (long)status);
    return 3;
  }
  if ((flags & SONDREL_FLAG_SCAN_DISABLED) != 0) {
    printf("%s: not scanned (remote scanning is off)\n", path);
    return 3;
  }
  if (verdict == 1) {
    printf("%s: clean\n", path);
    return 0;
  }
  printf("%s: found %s (verdict 0x%lx)\n", path, threat, (unsigned long)(uint32_t)verdict);
  return 1;
}

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: %s FILE...\n", argv[0]);
    return 2;
  }
  printf("Sondrel %s\n", SONDREL_VERSION);
  SondrelObject* sondrel = CoreNew();
  SondrelScanContext* context = NULL;
  int exitCode = 0;
  if (sondrel == NULL || CoreInit(sondrel, &context, NULL) != SONDREL_STATUS_SUCCESS) {
    fprintf(stderr, "the Sondrel client did not start\n");
    exitCode = 2;
  } else {
    const time_t deadline = time(NULL) + WAIT_SECONDS;
    for (int i = 1; i < argc; ++i) {
      const int result = Scan(sondrel, context, argv[i], deadline);
      exitCode = result > exitCode ? result : exitCode;
    }
  }
  if (sondrel != NULL) {
    CoreUninit(sondrel, context, SONDREL_UNINIT_FINAL);
  }
  CoreFree(sondrel);
  return exitCode;
}
