// A tree view of another process, read and worked as a person would: its
// items with their check images, the caret moved, a key pressed, a mouse
// click at a point of it. Tree view messages carry pointers, so their
// structures are handed over through memory of the tree's process.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

namespace tarnex::uidriver {

struct TreeItemView {
    HTREEITEM Handle = nullptr;
    std::wstring Text;
    int Depth = 0;
    int CheckImage = 0;  // the state image index
    int Overlay = 0;     // the overlay image index (0: none)
};

// Every item, expanded or not, in the order the tree shows them when all is
// expanded.
std::vector<TreeItemView> ReadTree(HWND tree);

// The item with this text; a default TreeItemView when there is none.
TreeItemView FindTreeItem(HWND tree, const std::wstring& text);

// Makes the item the caret (selected) item, as the arrow keys would.
bool SelectTreeItem(HWND tree, HTREEITEM item);
HTREEITEM SelectedTreeItem(HWND tree);

// The item's text rectangle in the tree's client coordinates; empty when the
// item is not shown (a collapsed parent).
RECT TreeItemTextRect(HWND tree, HTREEITEM item);

// A key pressed and released on the window (posted, as typed).
void PressKey(HWND window, WORD virtualKey);

// A left click at a point of the window's client area, through the mouse:
// the cursor moved there, the button pressed and released.
void ClickAt(HWND window, POINT client);

// The window that has the keyboard focus in the thread that owns window.
HWND FocusOf(HWND window);

// The keyboard, as a person uses it on a dialog of another process: the key
// goes to the control that has the focus in the window's thread and passes
// the program's dialog manager as a typed key does (the window itself when
// nothing has the focus).
void TypeKey(HWND window, WORD virtualKey);
// Alt and a letter: the mnemonic of a label or button.
void TypeMnemonic(HWND window, wchar_t letter);
// Waits until the focus in the window's thread is elsewhere than before;
// the new focus (before again after timeoutMs).
HWND WaitForFocusChange(HWND window, HWND before, DWORD timeoutMs = 5000);

}  // namespace tarnex::uidriver
