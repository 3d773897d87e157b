/* The change-report device's binary interface: what the program and the
   device object (varnoke.vxd, a shared object) exchange. Plain C, so that
   either side can be built apart from the other. */
#ifndef VARNOKE_PLATFORM_DEVICE_ABI_H
#define VARNOKE_PLATFORM_DEVICE_ABI_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Control codes. */
#define MONITOR_IOCTL_REGISTER 0x8100u /* in: the callback's address, or 0 to unregister */
#define MONITOR_IOCTL_ACK 0x8101u      /* in: the address of the report just handled */
/* in: uint32. Before registering, 1: the program's tree was loaded from its
   file, not scanned, so it may differ from the disk: every directory of the
   fixed drives is listed once, from the registration on, and each listing is
   reported whole (VXD_CODE_LISTING) for the program to compare with its
   tree. After registering, 0: the comparison is called off; the rest of
   the walk reports nothing. */
#define MONITOR_IOCTL_CATCH_UP 0x8102u
/* Beyond the program's protocol, for tests and benchmarks of the device. */
#define VXD_IOCTL_SELECT_SOURCE 0x8180u /* in: uint32 VXD_SOURCE_*; before registering */
#define VXD_IOCTL_PAUSE_READING 0x8181u /* in: uint32 1 to stop reading the kernel, 0 to go on */
#define VXD_IOCTL_QUERY_SOURCE 0x8182u  /* out: uint32 VXD_SOURCE_* in use after registering */
/* in: uint32 ms to wait at most; out: uint32 0 once every change made
   before the call has been reported and every report handled (applied and
   acknowledged), otherwise how much is still pending when the time is up */
#define VXD_IOCTL_WAIT_SETTLED 0x8183u
#define VXD_IOCTL_LIMIT_WATCHES \
  0x8185u /* in: uint32 most inotify watches (0: no limit); before registering */
#define VXD_IOCTL_RELIST_PERIOD \
  0x8186u /* in: uint32 ms between relistings of unwatched directories; before registering */
/* out: uint32 directories of the fixed drives that have no watch because
   the kernel's limit of inotify watches is reached; they are listed again
   now and then instead */
#define VXD_IOCTL_QUERY_UNWATCHED 0x8184u

#define VXD_SOURCE_AUTOMATIC 0u
#define VXD_SOURCE_INOTIFY 1u
#define VXD_SOURCE_FANOTIFY 2u

/* Report codes. */
#define VXD_CODE_DELETE 31u    /* a file was deleted; Path may hold * and ? */
#define VXD_CODE_DIRECTORY 32u /* Info 0: a directory was created, otherwise removed */
#define VXD_CODE_CREATE 36u    /* a file was created */
#define VXD_CODE_RENAME 37u    /* Path was renamed to NewPath; Info has 0x10 for a directory */
/* The catch-up walk's listings (see MONITOR_IOCTL_CATCH_UP). NewPath points
   to names, each ended by a NUL, the list ended by an empty name; a
   directory's name ends with "\". Info says what the report stands for, at
   its place among the reports: */
#define VXD_CODE_LISTING 44u
/* The directory Path (ending with "\") holds exactly the entries named. */
#define VXD_LISTING_ENTRIES 0u
/* Nothing has changed the subdirectories of the directories named (drive
   form, each listed earlier) since their listings: those the listings had
   not are gone. Path is empty. */
#define VXD_LISTING_UNCHANGED 1u
/* The walk is over. Path is empty, and so is the list. */
#define VXD_LISTING_END 2u

/* One report; it stays valid until it is acknowledged. */
typedef struct TChangeEvent {
  const char* Path;
  const char* NewPath;
  uint32_t Info;
  uint32_t Code;
} TChangeEvent;

/* What the program lends the device: the queues of asynchronous procedure
   calls of its threads. */
typedef struct TVxdHost {
  uint32_t Size; /* sizeof(TVxdHost) */
  /* A reference to the calling thread's queue, to be released. */
  void* (*CurrentThread)(void);
  void (*ReleaseThread)(void* thread);
  /* Queues routine(argument) to run on the thread in its alertable wait. */
  int (*QueueApc)(void* thread, void (*routine)(uintptr_t), uintptr_t argument);
} TVxdHost;

/* The entry points the device object exports. */
typedef void* (*TVxdOpen)(const TVxdHost* host);
typedef int (*TVxdDeviceIoControl)(void* device, uint32_t code, const void* in, uint32_t inSize,
                                   void* out, uint32_t outSize, uint32_t* bytesReturned);
typedef void (*TVxdClose)(void* device);

#define VXD_OPEN_SYMBOL "VxdOpen"
#define VXD_IOCTL_SYMBOL "VxdDeviceIoControl"
#define VXD_CLOSE_SYMBOL "VxdClose"

#ifdef __cplusplus
}
#endif

#endif
