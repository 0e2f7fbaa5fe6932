// A host as a Visual Studio project builds it: the Microsoft C++ ABI (clang
// for an *-windows-msvc target), tovframe.h's declarations, and TovFrame.lib,
// the import library of the DLL of its bitness, linked by lld-link. If the
// DLL's exports are not the names the Microsoft compiler gives those
// declarations, the loader stops the program before it starts.
//
// It also looks up the header's TOV_EXPORT_* names, as a host that binds at
// run time does, and finds the functions it was linked with.
//
// No C run-time and no SDK header: its own entry point, the few kernel32
// functions it needs declared here. It prints each check that fails and
// exits with the number of failures.
#include "tovframe.h"

extern "C" {
__declspec(dllimport) void* __stdcall GetStdHandle(unsigned long which);
__declspec(dllimport) int __stdcall WriteFile(void* file, const void* data, unsigned long size,
                                              unsigned long* written, void* overlapped);
__declspec(dllimport) __declspec(noreturn) void __stdcall ExitProcess(unsigned int code);
__declspec(dllimport) void* __stdcall GetModuleHandleA(const char* name);
__declspec(dllimport) void* __stdcall GetProcAddress(void* module, const char* name);

// The compiler may turn loops and zeroed records into calls of these.
void* memset(void* to, int value, decltype(sizeof 0) size) {
    auto* p = static_cast<volatile unsigned char*>(to);
    while (size--) *p++ = static_cast<unsigned char>(value);
    return to;
}
void* memcpy(void* to, const void* from, decltype(sizeof 0) size) {
    auto* p = static_cast<volatile unsigned char*>(to);
    const auto* q = static_cast<const unsigned char*>(from);
    while (size--) *p++ = *q++;
    return to;
}
}

namespace {

// The Microsoft compiler's layout of the records, which the DLL's must match.
static_assert(sizeof(tagFrameDsc) == (sizeof(void*) == 8 ? 24 : 16), "tagFrameDsc");
static_assert(sizeof(tagSpdPackDsc) == (sizeof(void*) == 8 ? 24 : 16), "tagSpdPackDsc");
static_assert(sizeof(tagSpdCellDsc) == 12, "tagSpdCellDsc");

constexpr unsigned long kStdOut = static_cast<unsigned long>(-11);
unsigned failures = 0;

unsigned long Length(const char* text) {
    unsigned long n = 0;
    while (text[n]) ++n;
    return n;
}

void Print(const char* text) {
    unsigned long written = 0;
    WriteFile(GetStdHandle(kStdOut), text, Length(text), &written, nullptr);
}

bool Same(const char* a, const char* b) {
    while (*a && *a == *b) ++a, ++b;
    return *a == *b;
}

void Check(bool good, const char* what) {
    Print(good ? "ok:     " : "FAILED: ");
    Print(what);
    Print("\r\n");
    if (!good) ++failures;
}

// A level reply (packet 0x01, eight data bytes) from the gauge at address 5:
// preamble, STX, device type, address, command, code, data, checksum, ETX;
// bytes after STX that are STX, ETX, DLE or SYN follow a DLE.
unsigned long LevelReply(unsigned char* frame) {
    const unsigned char body[] = {0x02, 0xB0, 0x05, 0x02, 0x01, 0x11, 0x22, 0x33, 0x44, 0x10, 0x66, 0x77, 0x88};
    unsigned char sum = 0;
    for (unsigned char b : body) sum = static_cast<unsigned char>(sum + b + 1);
    unsigned long n = 0;
    frame[n++] = 0x16;
    frame[n++] = 0x16;
    frame[n++] = 0x02;
    auto put = [&](unsigned char b) {
        if (b == 0x02 || b == 0x03 || b == 0x10 || b == 0x16) frame[n++] = 0x10;
        frame[n++] = b;
    };
    for (unsigned i = 1; i < sizeof body; ++i) put(body[i]);
    put(sum);
    frame[n++] = 0x03;
    return n;
}

void CheckExportName(const char* name, void* linked) {
    void* const found = GetProcAddress(GetModuleHandleA("TovFrame.dll"), name);
    Print(found == linked ? "ok:     " : "FAILED: ");
    Print("TOV_EXPORT_* name ");
    Print(name);
    Print(found == linked ? " is the linked function\r\n" : " is not the linked function\r\n");
    if (found != linked) ++failures;
}

void Run() {
    CheckExportName(TOV_EXPORT_GETINFO, reinterpret_cast<void*>(&TovGetInfo));
    CheckExportName(TOV_EXPORT_FRAMEINITIALIZE, reinterpret_cast<void*>(&TovFrameInitialize));
    CheckExportName(TOV_EXPORT_FRAMEUNINITIALIZE, reinterpret_cast<void*>(&TovFrameUninitialize));
    CheckExportName(TOV_EXPORT_GETSPDDEVNAME, reinterpret_cast<void*>(&TovGetSpdDevName));
    CheckExportName(TOV_EXPORT_GETSPDPACKNAME, reinterpret_cast<void*>(&TovGetSpdPackName));
    CheckExportName(TOV_EXPORT_GETSPDCELLNAME, reinterpret_cast<void*>(&TovGetSpdCellName));
    CheckExportName(TOV_EXPORT_SETFRAMEDATA, reinterpret_cast<void*>(&TovSetFrameData));
    CheckExportName(TOV_EXPORT_FRAMEANALIZE, reinterpret_cast<void*>(&TovFrameAnalize));

    tagTovProtoInfo info{};
    unsigned long count = 0;
    Check(TovGetInfo(&info, &count) == TOV_OK && count == 1 && info.type == FRSPDDEVTYPE_BM100 && info.version == 2,
          "TovGetInfo serves the BM100, version 2");

    char name[32] = {};
    unsigned long length = sizeof name;
    Check(TovGetSpdDevName(FRSPDDEVTYPE_BM100, name, &length) == TOV_OK && Same(name, "BM100") && length == 6,
          "TovGetSpdDevName names it BM100");

    tagFrameDsc dsc{};
    Check(TovFrameInitialize(&dsc, FRSPDDEVTYPE_BM100, FRSPDDEVVER_2) == TOV_OK && dsc.buffer && dsc.size == 256 &&
              dsc.handle == 1 && dsc.device && dsc.device->packCount == 7,
          "TovFrameInitialize fills the descriptor");
    if (!dsc.buffer || !dsc.device) return;

    length = sizeof name;
    Check(TovGetSpdCellName(dsc.handle, 6, 25, name, &length) == TOV_OK && Same(name, "End_Automatic"),
          "TovGetSpdCellName names cell 25 of packet 6");
    length = sizeof name;
    Check(TovGetSpdPackName(dsc.handle, 7, name, &length) == TOV_E_INDEX, "TovGetSpdPackName refuses packet 7");

    unsigned long frameLength = 0;
    Check(TovSetFrameData(dsc.handle, 5, 1, 1, nullptr, &frameLength) == TOV_OK && frameLength > 0 &&
              dsc.buffer[frameLength - 1] == 0x03,
          "TovSetFrameData builds the level request");

    unsigned long received = LevelReply(dsc.buffer);
    unsigned char address = 0;
    unsigned long pack = 99;
    unsigned char* data = nullptr;
    Check(TovFrameAnalize(dsc.handle, &address, &pack, 1, &data, &received) == TOV_OK && address == 5 && pack == 1 &&
              received == 8 && data && data[0] == 0x11 && data[4] == 0x10 && data[7] == 0x88,
          "TovFrameAnalize finds the level data");

    Check(TovFrameUninitialize(2) == TOV_E_INDEX, "TovFrameUninitialize refuses handle 2");
    Check(TovFrameUninitialize(dsc.handle) == TOV_OK, "TovFrameUninitialize releases the descriptor");
}

}  // namespace

extern "C" void mainCRTStartup() {
    Print(sizeof(void*) == 8 ? "64-bit host, Microsoft ABI\r\n" : "32-bit host, Microsoft ABI\r\n");
    Run();
    ExitProcess(failures);
}
