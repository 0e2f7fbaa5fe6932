// ui_driver: the test suite's hand on the installer's windows.
//
//   ui_driver wait  [--pid N] [--caption TEXT] [--class NAME] [--timeout MS]
//       waits for a window and prints it (handle, caption, text, buttons)
//   ui_driver read  HWND
//   ui_driver press HWND BUTTON      (ok, cancel, yes, no, ... or a number)
//   ui_driver list  [--pid N] [--class NAME]
//
// Handles are printed and read in hexadecimal. Output is UTF-8, one field a
// line: line breaks inside a text are written as \n and \r. Exit code 0
// on success, 1 when nothing was found or pressed, 2 for a usage error.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "ui_driver.h"
#include "vrel/text_convert.h"

namespace ud = tarnex::uidriver;

namespace {

void Print(const std::wstring& text) {
    const std::string utf8 = vrel::ToNarrow(text, CP_UTF8);
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
}

std::wstring OneLine(const std::wstring& text) {
    std::wstring out;
    for (wchar_t c : text) {
        if (c == L'\n') out += L"\\n";
        else if (c == L'\r') out += L"\\r";
        else out += c;
    }
    return out;
}

void PrintBox(HWND window) {
    const ud::BoxContent box = ud::ReadBox(window);
    wchar_t handle[32];
    std::swprintf(handle, 32, L"%llx", static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(window)));
    Print(L"window: " + std::wstring(handle) + L"\ncaption: " + OneLine(box.Caption) + L"\ntext: " + OneLine(box.Text) +
          L"\n");
    for (std::size_t i = 0; i < box.Buttons.size(); ++i)
        Print(L"button " + std::to_wstring(box.ButtonIds[i]) + L": " + OneLine(box.Buttons[i]) + L"\n");
    std::fflush(stdout);
}

HWND ParseHandle(const wchar_t* text) {
    return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(std::wcstoull(text, nullptr, 16)));
}

int Usage() {
    Print(L"usage: ui_driver wait|list [--pid N] [--caption TEXT] [--class NAME] [--timeout MS]\n"
          L"       ui_driver read HWND\n       ui_driver press HWND BUTTON\n");
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    if (argc < 2) return Usage();
    const std::wstring command = argv[1];
    if (command == L"read" && argc == 3) {
        HWND window = ParseHandle(argv[2]);
        if (!::IsWindow(window)) return 1;
        PrintBox(window);
        return 0;
    }
    if (command == L"press" && argc == 4) {
        return ud::PressButton(ParseHandle(argv[2]), ud::ButtonIdFromName(argv[3])) ? 0 : 1;
    }
    if (command != L"wait" && command != L"list") return Usage();

    ud::WindowQuery query;
    DWORD timeout = 10000;
    for (int i = 2; i + 1 < argc; i += 2) {
        const std::wstring option = argv[i];
        if (option == L"--pid") query.ProcessId = static_cast<DWORD>(std::wcstoul(argv[i + 1], nullptr, 10));
        else if (option == L"--caption") query.Caption = argv[i + 1];
        else if (option == L"--class") query.ClassName = argv[i + 1];
        else if (option == L"--timeout") timeout = static_cast<DWORD>(std::wcstoul(argv[i + 1], nullptr, 10));
        else return Usage();
    }
    if (command == L"list") {
        for (HWND window : ud::FindWindows(query)) PrintBox(window);
        return 0;
    }
    HWND window = ud::WaitForWindow(query, timeout);
    if (!window) return 1;
    PrintBox(window);
    return 0;
}
