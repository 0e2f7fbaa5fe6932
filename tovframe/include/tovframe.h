/*
 * TovFrame: request building and reply analysis for BM100 level gauges.
 *
 * The host loads TovFrame.dll, initialises the one frame descriptor of the
 * process, builds a request in the descriptor's 256-byte buffer, sends it,
 * receives the reply into the same buffer and analyses it. The host owns the
 * transport and serialises its calls.
 *
 * Every export is cdecl and returns one of the TOV_* result codes. The
 * exports carry the decorated names below, so a C++ host built with the
 * Microsoft compiler (or clang for an *-windows-msvc target) binds them
 * through the declarations in this header and TovFrame.lib, the import
 * library of the DLL of its bitness; any other host looks them up by name
 * (see TOV_EXPORT_* and the Tov*Fn types).
 *
 * Multi-byte cell values are handed over exactly as the gauge sent them; the
 * library converts nothing.
 */
#ifndef TOVFRAME_H
#define TOVFRAME_H

/* Result codes of every export. */
#define TOV_OK 0UL              /* success */
#define TOV_E_STATE 1UL         /* descriptor not initialised, already initialised, or no buffer */
#define TOV_E_FRAME 2UL         /* reply frame invalid: length, ETX, STX, packet code or data length */
#define TOV_E_CHECKSUM 3UL      /* reply frame checksum mismatch */
#define TOV_E_POINTER 4UL       /* a required pointer is null (or the reserved data pointer is not) */
#define TOV_E_INDEX 5UL         /* wrong descriptor handle, or packet or cell index out of range */

/* Device types served. */
enum FRSPDDEVTYPE { FRSPDDEVTYPE_BM100 = 176 };
/* Protocol versions served. */
enum FRSPDDEVVER { FRSPDDEVVER_2 = 2 };

/* OLE VARTYPE values a cell can have (same numbers as <wtypes.h>). */
#define TOV_VT_I2 2UL    /* 16-bit signed integer */
#define TOV_VT_R4 4UL    /* 32-bit IEEE float */
#define TOV_VT_BSTR 8UL  /* fixed-length character field of `size` bytes */
#define TOV_VT_BOOL 11UL /* one bit (`bit`) of the field of `size` bytes */
#define TOV_VT_UI1 17UL  /* 8-bit unsigned integer */

/* One served protocol. */
typedef struct tagTovProtoInfo {
    enum FRSPDDEVTYPE type;
    enum FRSPDDEVVER version;
} TovProtoInfo;

/* One data cell inside a packet's reply data. */
typedef struct tagSpdCellDsc {
    unsigned long nameId;  /* string identifier of the cell's name */
    unsigned char size;    /* bytes */
    unsigned char offset;  /* of the first byte in the reply data */
    unsigned char bit;     /* VT_BOOL: bit inside the field; otherwise 0 */
    unsigned long varType; /* TOV_VT_* */
} SpdCellDsc;

/* One packet: one kind of request/reply exchange. */
typedef struct tagSpdPackDsc {
    unsigned char code;       /* sent in the request, found in the reply */
    unsigned char dataLength; /* data bytes of a full reply */
    unsigned long nameId;
    unsigned char cellCount;
    const struct tagSpdCellDsc* cells;
} SpdPackDsc;

/* The device description: static data of the library, never freed. */
typedef struct tagSpdDevDsc {
    enum FRSPDDEVTYPE type;
    unsigned long reserved; /* 12 for the BM100; not read by the library */
    unsigned long nameId;
    unsigned long packCount;
    const struct tagSpdPackDsc* packs;
} SpdDevDsc;

/* The frame descriptor filled by TovFrameInitialize. */
typedef struct tagFrameDsc {
    unsigned char* buffer;             /* owned by the library until TovFrameUninitialize */
    unsigned long size;                /* 256 */
    unsigned long handle;              /* passed as the first argument of later calls; 1 */
    const struct tagSpdDevDsc* device; /* the served device's description */
} FrameDsc;

/* Exported names, for hosts that bind at run time with GetProcAddress. They
   are the names the Microsoft compiler gives the declarations below, and
   differ by bitness: pointers decorate as "PA" in 32-bit code and "PEA" in
   64-bit code. */
#if defined(_WIN64)
#define TOV_EXPORT_GETINFO "?TovGetInfo@@YAKPEAUtagTovProtoInfo@@PEAK@Z"
#define TOV_EXPORT_FRAMEINITIALIZE "?TovFrameInitialize@@YAKPEAUtagFrameDsc@@W4FRSPDDEVTYPE@@W4FRSPDDEVVER@@@Z"
#define TOV_EXPORT_FRAMEUNINITIALIZE "?TovFrameUninitialize@@YAKK@Z"
#define TOV_EXPORT_GETSPDDEVNAME "?TovGetSpdDevName@@YAKW4FRSPDDEVTYPE@@PEADPEAK@Z"
#define TOV_EXPORT_GETSPDPACKNAME "?TovGetSpdPackName@@YAKKKPEADPEAK@Z"
#define TOV_EXPORT_GETSPDCELLNAME "?TovGetSpdCellName@@YAKKKKPEADPEAK@Z"
#define TOV_EXPORT_SETFRAMEDATA "?TovSetFrameData@@YAKKEKHPEAEPEAK@Z"
#define TOV_EXPORT_FRAMEANALIZE "?TovFrameAnalize@@YAKKPEAEPEAKHPEAPEAE1@Z"
#else
#define TOV_EXPORT_GETINFO "?TovGetInfo@@YAKPAUtagTovProtoInfo@@PAK@Z"
#define TOV_EXPORT_FRAMEINITIALIZE "?TovFrameInitialize@@YAKPAUtagFrameDsc@@W4FRSPDDEVTYPE@@W4FRSPDDEVVER@@@Z"
#define TOV_EXPORT_FRAMEUNINITIALIZE "?TovFrameUninitialize@@YAKK@Z"
#define TOV_EXPORT_GETSPDDEVNAME "?TovGetSpdDevName@@YAKW4FRSPDDEVTYPE@@PADPAK@Z"
#define TOV_EXPORT_GETSPDPACKNAME "?TovGetSpdPackName@@YAKKKPADPAK@Z"
#define TOV_EXPORT_GETSPDCELLNAME "?TovGetSpdCellName@@YAKKKKPADPAK@Z"
#define TOV_EXPORT_SETFRAMEDATA "?TovSetFrameData@@YAKKEKHPAEPAK@Z"
#define TOV_EXPORT_FRAMEANALIZE "?TovFrameAnalize@@YAKKPAEPAKHPAPAE1@Z"
#endif

#if defined(_WIN32) && !defined(_WIN64)
#define TOV_CALL __cdecl
#else
#define TOV_CALL
#endif

typedef unsigned long(TOV_CALL* TovGetInfoFn)(struct tagTovProtoInfo* info, unsigned long* count);
typedef unsigned long(TOV_CALL* TovFrameInitializeFn)(struct tagFrameDsc* dsc, enum FRSPDDEVTYPE type,
                                                      enum FRSPDDEVVER version);
typedef unsigned long(TOV_CALL* TovFrameUninitializeFn)(unsigned long handle);
typedef unsigned long(TOV_CALL* TovGetSpdDevNameFn)(enum FRSPDDEVTYPE type, char* buffer, unsigned long* length);
typedef unsigned long(TOV_CALL* TovGetSpdPackNameFn)(unsigned long handle, unsigned long pack, char* buffer,
                                                     unsigned long* length);
typedef unsigned long(TOV_CALL* TovGetSpdCellNameFn)(unsigned long handle, unsigned long pack, unsigned long cell,
                                                     char* buffer, unsigned long* length);
typedef unsigned long(TOV_CALL* TovSetFrameDataFn)(unsigned long handle, unsigned char address, unsigned long pack,
                                                   int addressed, unsigned char* data, unsigned long* frameLength);
typedef unsigned long(TOV_CALL* TovFrameAnalizeFn)(unsigned long handle, unsigned char* address,
                                                   unsigned long* pack, int addressed, unsigned char** data,
                                                   unsigned long* length);

#if defined(_MSC_VER) && defined(__cplusplus)
/* Link-time binding for Microsoft C++ hosts: these declarations decorate to
   the exported names. */
__declspec(dllimport) unsigned long __cdecl TovGetInfo(tagTovProtoInfo* info, unsigned long* count);
__declspec(dllimport) unsigned long __cdecl TovFrameInitialize(tagFrameDsc* dsc, FRSPDDEVTYPE type,
                                                               FRSPDDEVVER version);
__declspec(dllimport) unsigned long __cdecl TovFrameUninitialize(unsigned long handle);
__declspec(dllimport) unsigned long __cdecl TovGetSpdDevName(FRSPDDEVTYPE type, char* buffer, unsigned long* length);
__declspec(dllimport) unsigned long __cdecl TovGetSpdPackName(unsigned long handle, unsigned long pack, char* buffer,
                                                              unsigned long* length);
__declspec(dllimport) unsigned long __cdecl TovGetSpdCellName(unsigned long handle, unsigned long pack,
                                                              unsigned long cell, char* buffer,
                                                              unsigned long* length);
__declspec(dllimport) unsigned long __cdecl TovSetFrameData(unsigned long handle, unsigned char address,
                                                            unsigned long pack, int addressed, unsigned char* data,
                                                            unsigned long* frameLength);
__declspec(dllimport) unsigned long __cdecl TovFrameAnalize(unsigned long handle, unsigned char* address,
                                                            unsigned long* pack, int addressed,
                                                            unsigned char** data, unsigned long* length);
#endif

#endif /* TOVFRAME_H */
