/*
 * Busvault: an in-process COM server that keeps serial (RS485) links by
 * handle and runs timed request/reply exchanges on them.
 *
 * A client creates one BusvaultStore (by CLSID_BusvaultStore or by the ProgID
 * "Vrel.BusvaultStore"), opens links through IBusvaultStore::CreateLink, sets
 * each link's port up through IBusvaultLinkSetup and its time-outs through
 * IBusvaultLink, and then calls IBusvaultStore::Exchange by handle.
 *
 * IBusvaultStore, IBusvaultLink, IBusvaultLinkSetup and IBusvaultLinkHistory
 * are described by no type library: the declarations below give their vtable
 * slot order. The interface pointers of a link are not reference-counted;
 * they stay valid until the link is deleted or the store is released.
 *
 * Automation clients (script engines, VBA/VB6, .NET, Python) use the same
 * store through IBusvaultAutomation, a dual interface that the type library
 * "BusvaultLib" (LIBID_BusvaultLib, version 1.0, embedded in Busvault.dll
 * and registered with it) describes; its enums BusvaultStatus,
 * BusvaultPortState and BusvaultStatistic carry the constants below.
 */
#ifndef BUSVAULT_H
#define BUSVAULT_H

#include <windows.h>
#include <unknwn.h>
#include <oaidl.h>

/* Link kind accepted by CreateLink: a serial port. */
#define BUSVAULT_KIND_SERIAL 10UL

/* Exchange status codes (the result of Exchange, not HRESULTs). */
#define BUSVAULT_STATUS_OK 0xFFFF0000UL            /* request written and, when attempts were asked for, a reply read */
#define BUSVAULT_STATUS_BAD_HANDLE 0xFFFF0001UL    /* handle out of range or not in use */
#define BUSVAULT_STATUS_NO_REPLY 0xFFFF0002UL      /* the last read timed out */
#define BUSVAULT_STATUS_NOT_OPEN 0xFFFF0003UL      /* the link's port is not open */
#define BUSVAULT_STATUS_WRITE_TIMEOUT 2UL          /* the write timed out */

/* Port states returned by IBusvaultLink::GetState. */
#define BUSVAULT_PORT_READY 0UL          /* open; the last operation completed */
#define BUSVAULT_PORT_READ_TIMEOUT 1UL   /* the last read did not complete within the wait time */
#define BUSVAULT_PORT_WRITE_TIMEOUT 2UL  /* the last write did not complete within the wait time */
#define BUSVAULT_PORT_REOPENED 3UL       /* OpenPort was called on an open port */
#define BUSVAULT_PORT_NOT_OPEN 0xFFFFUL  /* never opened, or closed after its device went away */

#define BUSVAULT_PROGID "Vrel.BusvaultStore.1"
#define BUSVAULT_PROGID_INDEPENDENT "Vrel.BusvaultStore"

/* Statistics of the last exchange on a link (24 bytes). */
typedef struct ExchangeStats {
    DWORD bytesWritten;  /* by the last write of the exchange */
    DWORD writeMs;       /* duration of that write */
    DWORD bytesRead;     /* by the last read of the exchange */
    DWORD readMs;        /* duration of that read */
    DWORD totalMs;       /* all writes and reads of the exchange (not the drain of stale input) */
    DWORD attempts;      /* read attempts made */
} ExchangeStats;

#ifdef __cplusplus

/* {6EEB7D78-9DF9-11d5-8999-00E0293CC7F3} */
static const CLSID CLSID_BusvaultStore = {0x6EEB7D78, 0x9DF9, 0x11D5, {0x89, 0x99, 0x00, 0xE0, 0x29, 0x3C, 0xC7, 0xF3}};
/* {F98336D6-A062-11D5-899A-00E0293CC7F3} */
static const IID IID_IBusvaultStore = {0xF98336D6, 0xA062, 0x11D5, {0x89, 0x9A, 0x00, 0xE0, 0x29, 0x3C, 0xC7, 0xF3}};
/* {6EEB7D7B-9DF9-11D5-8999-00E0293CC7F3} */
static const IID IID_IBusvaultLink = {0x6EEB7D7B, 0x9DF9, 0x11D5, {0x89, 0x99, 0x00, 0xE0, 0x29, 0x3C, 0xC7, 0xF3}};
/* {6EEB7D7E-9DF9-11D5-8999-00E0293CC7F3} */
static const IID IID_IBusvaultLinkSetup = {0x6EEB7D7E, 0x9DF9, 0x11D5, {0x89, 0x99, 0x00, 0xE0, 0x29, 0x3C, 0xC7, 0xF3}};
/* {2C31F3DC-616E-43B8-8F6A-E27FCA69512A} */
static const IID IID_IBusvaultLinkHistory = {0x2C31F3DC, 0x616E, 0x43B8, {0x8F, 0x6A, 0xE2, 0x7F, 0xCA, 0x69, 0x51, 0x2A}};

/* The store: link slots addressed by handle 1 to 255 (the first link gets 255). */
class IBusvaultStore : public IUnknown {
public:
    /* kind: BUSVAULT_KIND_SERIAL; iid: IID_IBusvaultLinkSetup or IID_IBusvaultLink. */
    virtual HRESULT STDMETHODCALLTYPE CreateLink(DWORD kind, REFIID iid, DWORD* handle, void** link) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteLink(DWORD handle) = 0;
    /* Read attempts per exchange, rounded up to a multiple of 3 by Exchange. */
    virtual HRESULT STDMETHODCALLTYPE SetAttempts(DWORD handle, DWORD attempts) = 0;
    /* Writes the request, reads the reply; returns a BUSVAULT_STATUS_* code.
       replyLength: in, the reply buffer's capacity; out, the bytes received.
       stats may be null. */
    virtual DWORD STDMETHODCALLTYPE Exchange(DWORD handle, BYTE* request, BYTE* reply, DWORD* requestLength,
                                             DWORD* replyLength, ExchangeStats* stats) = 0;
};

/* {8A3B02CB-ED3F-442B-B585-D7DA40196E81}: the type library, version 1.0. */
static const GUID LIBID_BusvaultLib = {0x8A3B02CB, 0xED3F, 0x442B, {0xB5, 0x85, 0xD7, 0xDA, 0x40, 0x19, 0x6E, 0x81}};
/* {0680D460-9BA0-4D10-A73C-CC5F341A9F55} */
static const IID IID_IBusvaultAutomation = {0x0680D460, 0x9BA0, 0x4D10, {0xA7, 0x3C, 0xCC, 0x5F, 0x34, 0x1A, 0x9F, 0x55}};

/* Items of IBusvaultAutomation::Statistic: the last exchange's, in the order
   of ExchangeStats, then the link's line history (IBusvaultLinkHistory). */
enum BusvaultStatistic {
    BUSVAULT_STAT_BYTES_WRITTEN = 0,
    BUSVAULT_STAT_WRITE_MS = 1,
    BUSVAULT_STAT_BYTES_READ = 2,
    BUSVAULT_STAT_READ_MS = 3,
    BUSVAULT_STAT_TOTAL_MS = 4,
    BUSVAULT_STAT_ATTEMPTS = 5,
    BUSVAULT_STAT_TIMES_LOST = 6,
    BUSVAULT_STAT_TIMES_REOPENED = 7,
    BUSVAULT_STAT_LOSS_ERROR = 8
};

/* The automation face of the store (dual: also reachable through IDispatch).
   Links are addressed by handle as on IBusvaultStore; a handle that is not
   in use fails with E_HANDLE. Failures carry an English text (IErrorInfo).
   Status codes are the BUSVAULT_STATUS_* values as signed 32-bit numbers. */
class IBusvaultAutomation : public IDispatch {
public:
    /* Creates a serial link, opens portName and applies the line settings
       (parity "N", "E", "O", "M" or "S"; stopBits 1, 1.5 or 2, or missing for 1). */
    virtual HRESULT STDMETHODCALLTYPE CreateLink(BSTR portName, LONG baudRate, LONG dataBits, BSTR parity,
                                                 VARIANT stopBits, LONG* handle) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetTimeouts(LONG handle, LONG waitMs, LONG intervalMs) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetAttempts(LONG handle, LONG attempts) = 0;
    /* request: an array of bytes or of numbers, a script array, or hexadecimal text. */
    virtual HRESULT STDMETHODCALLTYPE Exchange(LONG handle, VARIANT request, LONG* status) = 0;
    /* The last exchange's reply: VT_ARRAY|VT_UI1, VT_ARRAY|VT_VARIANT of VT_I4, or "16 16 02" text. */
    virtual HRESULT STDMETHODCALLTYPE Reply(LONG handle, VARIANT* reply) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReplyAsVariants(LONG handle, VARIANT* reply) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReplyHex(LONG handle, BSTR* reply) = 0;
    virtual HRESULT STDMETHODCALLTYPE Status(LONG handle, LONG* status) = 0;
    virtual HRESULT STDMETHODCALLTYPE Statistic(LONG handle, enum BusvaultStatistic item, LONG* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE Statistics(LONG handle, VARIANT* values) = 0;
    virtual HRESULT STDMETHODCALLTYPE PortState(LONG handle, LONG* state) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteLink(LONG handle) = 0;
};

/* A link's transfers and time-outs. AddRef and Release do nothing. */
class IBusvaultLink : public IUnknown {
public:
    /* length: in, bytes to send or capacity; out, bytes moved. */
    virtual HRESULT STDMETHODCALLTYPE WriteBytes(BYTE* buffer, DWORD* length) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReadBytes(BYTE* buffer, DWORD* length) = 0;
    /* wait: bound of every read and write; interval: the driver's gap between bytes that ends a read. */
    virtual HRESULT STDMETHODCALLTYPE SetTimeouts(DWORD waitMs, DWORD intervalMs) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTimeouts(DWORD* waitMs, DWORD* intervalMs) = 0;
    /* A BUSVAULT_PORT_* value. */
    virtual DWORD STDMETHODCALLTYPE GetState() = 0;
};

/* A link's port set-up. AddRef and Release do nothing. */
class IBusvaultLinkSetup : public IUnknown {
public:
    /* name: "COM1" and so on; opened as "\\.\" + name. */
    virtual HRESULT STDMETHODCALLTYPE OpenPort(const char* name) = 0;
    /* Sets fAbortOnError in the caller's block before applying it. */
    virtual HRESULT STDMETHODCALLTYPE SetState(DCB* dcb) = 0;
    /* A BuildCommDCB mode string, for example "9600,n,8,1". */
    virtual HRESULT STDMETHODCALLTYPE BuildState(const char* mode) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetupQueues(DWORD inputSize, DWORD outputSize) = 0;
};

/* What became of a link's line. When an exchange meets a device that has
   gone away (an adapter unplugged, a port server restarted), the link closes
   its port (state BUSVAULT_PORT_NOT_OPEN, status BUSVAULT_STATUS_NOT_OPEN);
   every later exchange first tries once to open the same name again with
   the settings the client applied, and goes on as usual once that works.
   Reached by QueryInterface from IBusvaultLink or IBusvaultLinkSetup.
   AddRef and Release do nothing. */
class IBusvaultLinkHistory : public IUnknown {
public:
    /* timesLost: how often the device went away; timesReopened: how often
       the port was opened again; lastLossError: the Windows error that took
       the line away the last time (0 while it never went away). */
    virtual HRESULT STDMETHODCALLTYPE GetLineHistory(DWORD* timesLost, DWORD* timesReopened, DWORD* lastLossError) = 0;
};

#endif /* __cplusplus */

#endif /* BUSVAULT_H */
