/*
 * Orbisk host interface.
 *
 * A host loads orbisk.so (orbisk.dll on Windows) and drives it through five
 * entry points, always from one thread:
 *
 *   Open   once, first; returns the description text "RAYCAP.QM Support"
 *   Start  / Stop / Setup, in any order; Start while running and Stop while
 *          stopped do nothing
 *   Close  last
 *
 * Keys reach the host as synchronous messages sent from the plug-in's engine
 * thread: message ORBISK_KEY_MESSAGE, wparam the address of the plug-in's
 * OrbiskKeyEventRecord, lparam ORBISK_KEY_PRESS (0), the n-th auto-repeat n
 * (1, 2, ...) or ORBISK_KEY_RELEASE (-1).  The record may be read only while
 * the message is handled.
 *
 * On Windows the host window is an HWND and the message is a SendMessageA to
 * it, handled by the window procedure on the thread that owns the window.
 * Stop, called on that thread, keeps serving sent messages while it waits for
 * the engine thread, so a key message in flight completes.
 *
 * Elsewhere the host passes an OrbiskHostWindow and the message is a call of
 * its send on the engine thread.  Stop, Close or Setup called inside send
 * return without waiting for the engine, which ends once send returns and
 * is joined by the next call.  What a host must not do inside send: wait for
 * the thread that may call Stop.
 *
 * Either way, once Stop has begun no further key message is started.
 */
#ifndef ORBISK_HOST_H
#define ORBISK_HOST_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define ORBISK_DESCRIPTION "RAYCAP.QM Support"

/* Messages.  1025 goes to the host; 1024 and 1025 are also the notices that
 * the engine posts to the setup dialog while it is open. */
#define ORBISK_KEY_MESSAGE 1025u
#define ORBISK_KEY_DOWN_NOTICE 1024u
#define ORBISK_KEY_UP_NOTICE 1025u

#define ORBISK_KEY_PRESS ((intptr_t)0)
#define ORBISK_KEY_RELEASE ((intptr_t)-1)

#ifdef _WIN32
/* The host window: OrbiskHostWindow * is HWND (windows.h's STRICT handles). */
struct HWND__;
typedef struct HWND__ OrbiskHostWindow;
/* Open is __stdcall: it removes its three 32-bit arguments itself. */
#define ORBISK_OPEN_CALL __stdcall
#else
/* Where Windows has a window handle, a Linux host passes one of these.  The
 * host may embed it as the first member of its own object and recover that
 * object from self.  A null window sends key messages nowhere. */
typedef struct OrbiskHostWindow {
    intptr_t (*send)(struct OrbiskHostWindow *self, uint32_t message, uintptr_t wparam,
                     intptr_t lparam);
} OrbiskHostWindow;
#define ORBISK_OPEN_CALL
#endif

/* The host information record passed to Open.  Only HostVersion is read:
 * version a.b.c is (a << 24) | (b << 16) | (c << 8); accepted are 2.7.12 and
 * every later 2.7.x. */
#define ORBISK_HOST_VERSION_OFFSET 28
#define ORBISK_HOST_VERSION(a, b, c) \
    ((((uint32_t)(a)) << 24) | (((uint32_t)(b)) << 16) | (((uint32_t)(c)) << 8))

/* The version word of a host information record, little-endian at offset 28. */
static inline uint32_t OrbiskHostVersion(const void *hostInfo) {
    const unsigned char *b = (const unsigned char *)hostInfo + ORBISK_HOST_VERSION_OFFSET;
    return (uint32_t)b[0] | (uint32_t)b[1] << 8 | (uint32_t)b[2] << 16 | (uint32_t)b[3] << 24;
}

static inline void OrbiskSetHostVersion(void *hostInfo, uint32_t version) {
    unsigned char *b = (unsigned char *)hostInfo + ORBISK_HOST_VERSION_OFFSET;
    b[0] = (unsigned char)version;
    b[1] = (unsigned char)(version >> 8);
    b[2] = (unsigned char)(version >> 16);
    b[3] = (unsigned char)(version >> 24);
}

/*
 * The key event record.  Bytes 0 to 227 are the 32-bit layout on every
 * platform (little-endian, single-byte NUL-terminated texts):
 *
 *   0   SourceName[60]   the name given to Open, or "REMOTE"
 *   60  SourceTag[4]     "UNI"
 *   64  KeyName[124]     key name, or the code text of an unknown code
 *   188 ExtTag[4]        "EXT"
 *   192 ExtWords[3]      2, 0, 0
 *   204, 208             reserved, 0
 *   212 CodeTextRef      32-bit address of the code text (7 or 8 hex digits)
 *   216 RemoteNameRef    32-bit address of the remote-control name, or
 *                        "<undefined>" for an unknown code
 *   220, 224             reserved, 0
 *
 * A 32-bit build is exactly 228 bytes.  Where pointers are 64 bits wide the
 * two 32-bit address fields hold 0 and the record grows to 244 bytes: the
 * addresses follow as native 8-byte pointers at offset 228 (CodeText) and 236
 * (RemoteNameText).  Both are 4-byte aligned only; read them through this
 * struct or with memcpy.  They stay valid while send runs.
 */
#pragma pack(push, 4)
typedef struct OrbiskKeyEventRecord {
    char SourceName[60];
    char SourceTag[4];
    char KeyName[124];
    char ExtTag[4];
    int32_t ExtWords[3];
    uint32_t Reserved204;
    uint32_t Reserved208;
    uint32_t CodeTextRef;
    uint32_t RemoteNameRef;
    uint32_t Reserved220;
    uint32_t Reserved224;
#if UINTPTR_MAX > 0xFFFFFFFFu
    const char *CodeText;
    const char *RemoteNameText;
#endif
} OrbiskKeyEventRecord;
#pragma pack(pop)

#define ORBISK_RECORD_BASE_SIZE 228

#if UINTPTR_MAX == 0xFFFFFFFFu
/* The host reads the record by offset: size and address fields are fixed. */
#ifdef __cplusplus
static_assert(sizeof(OrbiskKeyEventRecord) == ORBISK_RECORD_BASE_SIZE, "record size");
static_assert(offsetof(OrbiskKeyEventRecord, CodeTextRef) == 212, "CodeTextRef offset");
static_assert(offsetof(OrbiskKeyEventRecord, RemoteNameRef) == 216, "RemoteNameRef offset");
#else
_Static_assert(sizeof(OrbiskKeyEventRecord) == ORBISK_RECORD_BASE_SIZE, "record size");
_Static_assert(offsetof(OrbiskKeyEventRecord, CodeTextRef) == 212, "CodeTextRef offset");
_Static_assert(offsetof(OrbiskKeyEventRecord, RemoteNameRef) == 216, "RemoteNameRef offset");
#endif
#endif

/* The texts the record points to, on any pointer width.  Valid only while
 * send runs. */
static inline const char *OrbiskRecordCodeText(const OrbiskKeyEventRecord *record) {
#if UINTPTR_MAX > 0xFFFFFFFFu
    return record->CodeText;
#else
    return (const char *)(uintptr_t)record->CodeTextRef;
#endif
}

static inline const char *OrbiskRecordRemoteName(const OrbiskKeyEventRecord *record) {
#if UINTPTR_MAX > 0xFFFFFFFFu
    return record->RemoteNameText;
#else
    return (const char *)(uintptr_t)record->RemoteNameRef;
#endif
}

/* Entry points, exported with C linkage and these plain names. */
typedef const char *(ORBISK_OPEN_CALL *OrbiskOpenFn)(const char *name, OrbiskHostWindow *window,
                                                    const void *hostInfo);
typedef void (*OrbiskVoidFn)(void);

#ifdef __cplusplus
}
#endif

#endif
