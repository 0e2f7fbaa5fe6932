#include "services/message_box.h"

#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <mutex>
#include <vector>

#include "services/app_context.h"

namespace tarnex {
namespace {

std::mutex answererLock;
MessageAnswerer& Answerer() {
    static MessageAnswerer answerer;
    return answerer;
}

int ShowBox(const MessageRequest& request) {
    return PutToPerson(request, [&request] {
        return ::MessageBoxW(request.owner, request.text.c_str(), request.caption.c_str(), request.type);
    });
}

}  // namespace

MessageAnswerer SetMessageAnswerer(MessageAnswerer answerer) {
    std::lock_guard<std::mutex> hold(answererLock);
    std::swap(Answerer(), answerer);
    return answerer;
}

int PutToPerson(const MessageRequest& request, const std::function<int()>& showToPerson) {
    MessageAnswerer answerer;
    {
        std::lock_guard<std::mutex> hold(answererLock);
        answerer = Answerer();
    }
    return answerer ? answerer(request) : showToPerson();
}

int Ask(HWND owner, Question question, ...) {
    const QuestionForm form = FormOf(question);
    va_list args;
    va_start(args, question);
    std::wstring text = FormatTextV(LoadText(form.text), args);
    va_end(args);
    return ShowBox({question, owner, std::move(text), App().Caption, form.type});
}

void Tell(HWND owner, const Failure& failure) {
    Ask(owner, failure.question, failure.first.c_str(), failure.second.c_str());
}

int AskInWords(HWND owner, Question question, const std::wstring& text) {
    return ShowBox({question, owner, text, App().Caption, FormOf(question).type});
}

int AskCaptioned(Question question, const std::wstring& text, const std::wstring& caption) {
    return ShowBox({question, nullptr, text, caption, FormOf(question).type});
}

std::wstring LoadText(TextId id) {
    // A zero length asks for a read-only pointer into the resource itself.
    const wchar_t* resource = nullptr;
    const int n = ::LoadStringW(App().Instance, static_cast<UINT>(id), reinterpret_cast<LPWSTR>(&resource), 0);
    if (n <= 0 || resource == nullptr) return {};
    return std::wstring(resource, static_cast<std::size_t>(n));
}

// The msvcrt formatters, not the C99 ones: in the program's wide formats
// "%s" is a wide text, as the string table's texts expect.
std::wstring FormatTextV(const std::wstring& format, va_list args) {
    va_list measure;
    va_copy(measure, args);
    const int n = ::_vscwprintf(format.c_str(), measure);
    va_end(measure);
    if (n <= 0) return {};
    std::vector<wchar_t> buffer(static_cast<std::size_t>(n) + 1);
    ::_vsnwprintf(buffer.data(), buffer.size(), format.c_str(), args);
    return std::wstring(buffer.data(), static_cast<std::size_t>(n));
}

std::wstring FormatMessageText(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    std::wstring out = FormatTextV(format ? format : L"", args);
    va_end(args);
    return out;
}

std::wstring FormatText(TextId id, ...) {
    va_list args;
    va_start(args, id);
    std::wstring out = FormatTextV(LoadText(id), args);
    va_end(args);
    return out;
}

}  // namespace tarnex
