#include "tree_view_driver.h"

#include "vrel/unique_handle.h"

namespace tarnex::uidriver {

namespace {

constexpr UINT kAnswerTimeoutMs = 5000;
constexpr int kTextCapacity = 260;

LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    if (!::SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kAnswerTimeoutMs, &result)) return 0;
    return static_cast<LRESULT>(result);
}

// Memory in the process that owns a window, for the structures its
// messages point to.
class RemoteBuffer {
public:
    RemoteBuffer(HWND window, SIZE_T size) {
        DWORD processId = 0;
        ::GetWindowThreadProcessId(window, &processId);
        process_.reset(::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId));
        if (process_)
            address_ = static_cast<char*>(
                ::VirtualAllocEx(process_.get(), nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    }
    ~RemoteBuffer() {
        if (address_ != nullptr) ::VirtualFreeEx(process_.get(), address_, 0, MEM_RELEASE);
    }
    RemoteBuffer(const RemoteBuffer&) = delete;
    RemoteBuffer& operator=(const RemoteBuffer&) = delete;

    explicit operator bool() const { return address_ != nullptr; }
    char* At(SIZE_T offset = 0) const { return address_ + offset; }
    LPARAM Param() const { return reinterpret_cast<LPARAM>(address_); }
    bool Write(const void* data, SIZE_T size, SIZE_T offset = 0) const {
        return ::WriteProcessMemory(process_.get(), address_ + offset, data, size, nullptr) != 0;
    }
    bool Read(void* data, SIZE_T size, SIZE_T offset = 0) const {
        return ::ReadProcessMemory(process_.get(), address_ + offset, data, size, nullptr) != 0;
    }

private:
    vrel::unique_handle process_;
    char* address_ = nullptr;
};

HTREEITEM Next(HWND tree, HTREEITEM item, UINT how) {
    return reinterpret_cast<HTREEITEM>(Send(tree, TVM_GETNEXTITEM, how, reinterpret_cast<LPARAM>(item)));
}

void ReadBranch(HWND tree, const RemoteBuffer& buffer, HTREEITEM first, int depth, std::vector<TreeItemView>& items) {
    for (HTREEITEM handle = first; handle != nullptr; handle = Next(tree, handle, TVGN_NEXT)) {
        TVITEMW item{};
        item.mask = TVIF_HANDLE | TVIF_TEXT | TVIF_STATE;
        item.hItem = handle;
        item.stateMask = TVIS_STATEIMAGEMASK | TVIS_OVERLAYMASK;
        item.pszText = reinterpret_cast<wchar_t*>(buffer.At(sizeof item));
        item.cchTextMax = kTextCapacity;
        wchar_t text[kTextCapacity] = {};
        TreeItemView view;
        view.Handle = handle;
        view.Depth = depth;
        if (buffer.Write(&item, sizeof item) && Send(tree, TVM_GETITEMW, 0, buffer.Param()) &&
            buffer.Read(&item, sizeof item) && buffer.Read(text, sizeof text, sizeof item)) {
            text[kTextCapacity - 1] = L'\0';
            view.Text = text;
            view.CheckImage = static_cast<int>((item.state & TVIS_STATEIMAGEMASK) >> 12);
            view.Overlay = static_cast<int>((item.state & TVIS_OVERLAYMASK) >> 8);
        }
        items.push_back(view);
        ReadBranch(tree, buffer, Next(tree, handle, TVGN_CHILD), depth + 1, items);
    }
}

}  // namespace

std::vector<TreeItemView> ReadTree(HWND tree) {
    std::vector<TreeItemView> items;
    RemoteBuffer buffer(tree, sizeof(TVITEMW) + kTextCapacity * sizeof(wchar_t));
    if (buffer) ReadBranch(tree, buffer, Next(tree, nullptr, TVGN_ROOT), 0, items);
    return items;
}

TreeItemView FindTreeItem(HWND tree, const std::wstring& text) {
    for (const TreeItemView& item : ReadTree(tree))
        if (item.Text == text) return item;
    return {};
}

bool SelectTreeItem(HWND tree, HTREEITEM item) {
    return Send(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item)) != 0;
}

HTREEITEM SelectedTreeItem(HWND tree) { return Next(tree, nullptr, TVGN_CARET); }

RECT TreeItemTextRect(HWND tree, HTREEITEM item) {
    // TVM_GETITEMRECT takes the item in the rectangle it fills.
    RECT rect{};
    RemoteBuffer buffer(tree, sizeof rect);
    if (!buffer || !buffer.Write(&item, sizeof item) || !Send(tree, TVM_GETITEMRECT, TRUE, buffer.Param()) ||
        !buffer.Read(&rect, sizeof rect))
        return {};
    return rect;
}

void PressKey(HWND window, WORD virtualKey) {
    const UINT scan = ::MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC);
    ::PostMessageW(window, WM_KEYDOWN, virtualKey, static_cast<LPARAM>(1 | (scan << 16)));
    ::PostMessageW(window, WM_KEYUP, virtualKey, static_cast<LPARAM>(1 | (scan << 16) | (3u << 30)));
}

void ClickAt(HWND window, POINT client) {
    ::ClientToScreen(window, &client);
    ::SetCursorPos(client.x, client.y);
    INPUT clicks[2] = {};
    clicks[0].type = clicks[1].type = INPUT_MOUSE;
    clicks[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    clicks[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    ::SendInput(2, clicks, sizeof clicks[0]);
}

HWND FocusOf(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return ::GetGUIThreadInfo(::GetWindowThreadProcessId(window, nullptr), &info) ? info.hwndFocus : nullptr;
}

void TypeKey(HWND window, WORD virtualKey) {
    HWND focus = FocusOf(window);
    PressKey(focus != nullptr ? focus : window, virtualKey);
}

void TypeMnemonic(HWND window, wchar_t letter) {
    HWND focus = FocusOf(window);
    // Bit 29: the Alt key is down.
    ::PostMessageW(focus != nullptr ? focus : window, WM_SYSCHAR, letter, static_cast<LPARAM>(1 | (1u << 29)));
}

HWND WaitForFocusChange(HWND window, HWND before, DWORD timeoutMs) {
    const ULONGLONG end = ::GetTickCount64() + timeoutMs;
    HWND now = FocusOf(window);
    while (now == before && ::GetTickCount64() < end) {
        ::Sleep(20);
        now = FocusOf(window);
    }
    return now;
}

}  // namespace tarnex::uidriver
