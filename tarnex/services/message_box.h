// The one seam where a person is asked. Every message box of the installer
// and the "Замена файла" dialog go through it, each as the question it puts
// (services/question.h); tests and the quiet run install an answerer that sees the
// question and chooses the button instead of a person.
#pragma once

#include <windows.h>

#include <cstdarg>
#include <functional>
#include <string>

#include "resources/string_ids.h"
#include "services/question.h"

namespace tarnex {

struct ReplaceQuestion;  // services/replace_question.h: the two files of the replace question

struct MessageRequest {
    Question question;
    HWND owner;
    std::wstring text;     // the existing file's path for the replace dialog
    std::wstring caption;
    UINT type;             // MB_* flags as for MessageBoxW; 0 for the replace dialog
    const ReplaceQuestion* replace = nullptr;  // set for Question::kReplaceFile
};

// Returns the button pressed (IDOK, IDYES, IDNO, ...), or for the replace
// dialog a ReplaceAnswer.
using MessageAnswerer = std::function<int(const MessageRequest&)>;

// Installs the answerer and returns the one it replaces; an empty one
// restores the person.
MessageAnswerer SetMessageAnswerer(MessageAnswerer answerer);

// Puts the request to the answerer, or to the person through showToPerson.
int PutToPerson(const MessageRequest& request, const std::function<int()>& showToPerson);

// What a layer below the one that talks to the person could not do: the
// notice that tells it (a question with one button) and the texts its
// message names, in order. The layer that talks to the person tells it.
struct Failure {
    Question question;
    std::wstring first;
    std::wstring second;
};

// Tells the failure through the seam, as Ask does.
void Tell(HWND owner, const Failure& failure);

// Asks the question in its own text, formatted printf-style with the
// arguments ("%s" takes a const wchar_t*), titled with the program caption
// (App().Caption).
int Ask(HWND owner, Question question, ...);

// Asks the question in the words given (a check program's own message).
int AskInWords(HWND owner, Question question, const std::wstring& text);

// Asks the question in the words given under an explicit title (the guard's
// message names the caption it was given, which is the program caption in
// the installer).
int AskCaptioned(Question question, const std::wstring& text, const std::wstring& caption);

// Formats a loaded text printf-style ("%s" takes a const wchar_t*).
std::wstring FormatMessageText(const wchar_t* format, ...);

// Loads a string of the program's string table ("" when missing).
std::wstring LoadText(TextId id);

// Loads the text and formats it printf-style with the arguments ("%s" takes
// a const wchar_t*).
std::wstring FormatText(TextId id, ...);
std::wstring FormatTextV(const std::wstring& format, va_list args);

}  // namespace tarnex
