// The one seam where a person is asked. Every message box of the installer
// goes through ShowMessage; tests install an answerer that sees the box and
// chooses the button instead of a person.
#pragma once

#include <windows.h>

#include <cstdarg>
#include <functional>
#include <string>

#include "resources/string_ids.h"

namespace tarnex {

struct MessageRequest {
    HWND owner;
    std::wstring text;
    std::wstring caption;
    UINT type;  // MB_* flags as for MessageBoxW
};

// Returns the button pressed (IDOK, IDYES, IDNO, ...).
using MessageAnswerer = std::function<int(const MessageRequest&)>;

// Replaces the answerer; an empty one restores the real message box.
void SetMessageAnswerer(MessageAnswerer answerer);

// Shows text titled with the program caption (App().Caption).
int ShowMessage(HWND owner, const std::wstring& text, UINT type);

// Shows text with an explicit title (the guard's message names the caption
// it was given, which is the program caption in the installer).
int ShowMessageCaptioned(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type);

// Formats a loaded text printf-style ("%s" takes a const wchar_t*).
std::wstring FormatMessageText(const wchar_t* format, ...);

// Loads a string of the program's string table ("" when missing).
std::wstring LoadText(TextId id);

// Loads string `id` and formats it printf-style with the arguments ("%s"
// takes a const wchar_t*).
std::wstring FormatText(TextId id, ...);
std::wstring FormatTextV(const std::wstring& format, va_list args);

// The message kinds of the installer: errors, warnings and Yes/No questions.
inline constexpr UINT kErrorBox = MB_OK | MB_ICONERROR;
inline constexpr UINT kWarningBox = MB_OK | MB_ICONEXCLAMATION;
inline constexpr UINT kQuestionBox = MB_YESNO | MB_ICONQUESTION;

}  // namespace tarnex
