// What a person needs of a wizard page at any scale, checked on the real
// program's windows from outside: every control inside its page and none
// over another, no text cut off, the strip of the right height, a mnemonic
// on every button and no two alike, and Tab reaching every control in
// reading order.
#pragma once

#include <windows.h>

namespace wizardtest {

// Declares the test process per-monitor aware, so that it measures the
// wizard's windows in the screen's own pixels; the DPI it then sees.
UINT MakeTestProcessDpiAware();

// The page's and the frame's controls laid out for dpi: the page right below
// a strip stripHeight pixels high, as large as its template at the dialog
// font for dpi, every visible control inside it and none over another, the
// frame's controls clear of the page, and every text measured with its
// control's font fitting its control.
void ExpectLaidOut(HWND frame, HWND page, UINT dpi, int stripHeight);

// The strip, stripHeight rows of the page's picture (one colour) over the
// frame's own colour, once it is painted (waited for up to 5 s).
void ExpectStripHeight(HWND frame, int stripHeight, COLORREF picture);

// Every button of the page and the frame has a mnemonic, and no two of
// them and the page's labels share one.
void ExpectDistinctMnemonics(HWND frame, HWND page);

// Tab, pressed from where the focus is, walks the page's tab stops in their
// reading order, then the frame's enabled buttons, and comes back.
void ExpectTabWalksEverything(HWND frame, HWND page);

}  // namespace wizardtest
