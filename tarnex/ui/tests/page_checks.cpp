#include "page_checks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "tree_view_driver.h"
#include "ui/component_page_ids.h"
#include "ui/wizard_ids.h"
#include "ui_driver.h"
#include "vrel/text_convert.h"
#include "vrel/unique_handle.h"

namespace wizardtest {

using namespace tarnex::uidriver;

namespace {

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    ::GetClassNameW(window, name, 64);
    return name;
}

std::string Describe(HWND control) {
    return "control " + std::to_string(::GetDlgCtrlID(control)) + " \"" + vrel::ToNarrow(WindowText(control), CP_UTF8) +
           "\"";
}

LONG Style(HWND window) { return ::GetWindowLongW(window, GWL_STYLE); }

std::vector<HWND> VisibleChildren(HWND parent) {
    std::vector<HWND> children;
    for (HWND child = ::GetWindow(parent, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT))
        if (::IsWindowVisible(child)) children.push_back(child);
    return children;
}

// The window's rectangle in the client coordinates of parent.
RECT RectIn(HWND window, HWND parent) {
    RECT rect{};
    ::GetWindowRect(window, &rect);
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

bool Inside(const RECT& inner, const RECT& outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

bool Overlap(const RECT& a, const RECT& b) {
    RECT both{};
    return ::IntersectRect(&both, &a, &b) != 0;
}

bool IsButton(HWND control) { return ClassOf(control) == L"Button"; }

bool IsPushButton(HWND control) {
    const LONG type = Style(control) & BS_TYPEMASK;
    return IsButton(control) && (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON);
}

bool IsTextStatic(HWND control) {
    if (ClassOf(control) != L"Static") return false;
    const LONG type = Style(control) & SS_TYPEMASK;
    return type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT || type == SS_LEFTNOWORDWRAP || type == SS_SIMPLE;
}

// The font the dialog manager makes from the templates' "MS Sans Serif" 8
// at dpi, and the pages' own variants of it: bold labels, titles bold and
// half as high again.
vrel::unique_gdiobj FontOf(int controlId, UINT dpi) {
    LOGFONTW font{};
    font.lfHeight = -::MulDiv(8, static_cast<int>(dpi), 72);
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfQuality = PROOF_QUALITY;
    ::lstrcpynW(font.lfFaceName, L"MS Sans Serif", LF_FACESIZE);
    if (controlId == IDC_WELCOME_TITLE || controlId == IDC_FINISH_TITLE) {
        font.lfHeight = static_cast<LONG>(font.lfHeight * 1.5);
        font.lfWeight = FW_BOLD;
    } else if (controlId == IDC_DESCRIPTION_LABEL || controlId == IDC_SIZE_LABEL) {
        font.lfWeight = FW_BOLD;
    }
    return vrel::unique_gdiobj(::CreateFontIndirectW(&font));
}

// Measures texts in a screen-compatible device context.
class Measure {
public:
    Measure() : dc_(::CreateCompatibleDC(nullptr)) {}
    ~Measure() {
        if (previous_ != nullptr) ::SelectObject(dc_.get(), previous_);
    }
    Measure(const Measure&) = delete;
    Measure& operator=(const Measure&) = delete;

    void Use(HGDIOBJ font) {
        const HGDIOBJ old = ::SelectObject(dc_.get(), font);
        if (previous_ == nullptr) previous_ = old;
    }
    // The rectangle the text takes, wrapped at width (0: one line).
    RECT Text(const std::wstring& text, int width, bool prefix) {
        RECT rect{0, 0, width, 0};
        UINT flags = DT_CALCRECT | DT_EXPANDTABS | (width > 0 ? DT_WORDBREAK : DT_SINGLELINE);
        if (!prefix) flags |= DT_NOPREFIX;
        ::DrawTextW(dc_.get(), text.c_str(), -1, &rect, flags);
        return rect;
    }
    // The dialog base units of the font, as the dialog manager takes them.
    SIZE BaseUnits() {
        SIZE alphabet{};
        const wchar_t letters[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
        ::GetTextExtentPoint32W(dc_.get(), letters, 52, &alphabet);
        TEXTMETRICW metrics{};
        ::GetTextMetricsW(dc_.get(), &metrics);
        return {(alphabet.cx / 26 + 1) / 2, metrics.tmHeight};
    }

private:
    vrel::unique_hdc dc_;
    HGDIOBJ previous_ = nullptr;
};

// The text fits its control, measured with the control's font.
void ExpectTextFits(HWND control, UINT dpi) {
    const std::wstring text = WindowText(control);
    if (text.empty()) return;
    const bool staticText = IsTextStatic(control);
    // Disabled statics are the rules of em dashes, cut to their length on purpose.
    if (staticText && (Style(control) & WS_DISABLED) != 0) return;
    if (!staticText && !IsButton(control)) return;
    RECT client{};
    ::GetClientRect(control, &client);
    vrel::unique_gdiobj font = FontOf(::GetDlgCtrlID(control), dpi);
    Measure measure;
    measure.Use(font.get());
    if (staticText) {
        const RECT need = measure.Text(text, client.right, (Style(control) & SS_NOPREFIX) == 0);
        EXPECT_LE(need.right, client.right) << Describe(control) << " is cut off at its right";
        EXPECT_LE(need.bottom, client.bottom) << Describe(control) << " needs " << need.bottom << " pixels, has "
                                              << client.bottom;
        return;
    }
    const RECT need = measure.Text(text, 0, true);
    // A push button's frame, or a radio button's circle and the gap after it.
    const int beside = IsPushButton(control) ? ::MulDiv(6, static_cast<int>(dpi), 96)
                                             : ::MulDiv(16, static_cast<int>(dpi), 96) + 4;
    EXPECT_LE(need.right + beside, client.right) << Describe(control) << " is cut off";
    EXPECT_LE(need.bottom, client.bottom) << Describe(control) << " is cut off at its foot";
}

// The letter after a single '&', lower case; 0 when there is none.
wchar_t MnemonicOf(const std::wstring& text) {
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != L'&') continue;
        if (text[i + 1] == L'&') {
            ++i;
            continue;
        }
        wchar_t letter[2] = {text[i + 1], 0};
        ::CharLowerW(letter);
        return letter[0];
    }
    return 0;
}

std::vector<HWND> FrameButtons(HWND frame) {
    return {::GetDlgItem(frame, IDC_BACK), ::GetDlgItem(frame, IDC_NEXT), ::GetDlgItem(frame, IDCANCEL)};
}

}  // namespace

UINT MakeTestProcessDpiAware() {
    using SetContext = BOOL(WINAPI*)(HANDLE);
    const auto set = reinterpret_cast<SetContext>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "SetProcessDpiAwarenessContext")));
    // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2; refused a second time, which is no failure.
    if (set != nullptr) set(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4)));
    HDC screen = ::GetDC(nullptr);
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
    ::ReleaseDC(nullptr, screen);
    return static_cast<UINT>(dpi);
}

void ExpectLaidOut(HWND frame, HWND page, UINT dpi, int stripHeight) {
    RECT client{};
    ::GetClientRect(frame, &client);
    const RECT pageRect = RectIn(page, frame);
    EXPECT_EQ(pageRect.left, 0);
    EXPECT_EQ(pageRect.top, stripHeight + 1) << "the page starts right below the strip";
    EXPECT_TRUE(Inside(pageRect, client)) << "the page inside the frame";

    // The page as large as its template, 396 x 192 dialog units of the font.
    vrel::unique_gdiobj font = FontOf(0, dpi);
    Measure measure;
    measure.Use(font.get());
    const SIZE units = measure.BaseUnits();
    EXPECT_EQ(pageRect.right - pageRect.left, ::MulDiv(396, units.cx, 4)) << "base units " << units.cx;
    EXPECT_EQ(pageRect.bottom - pageRect.top, ::MulDiv(192, units.cy, 8)) << "base units " << units.cy;

    RECT pageClient{};
    ::GetClientRect(page, &pageClient);
    const std::vector<HWND> controls = VisibleChildren(page);
    for (std::size_t i = 0; i < controls.size(); ++i) {
        const RECT rect = RectIn(controls[i], page);
        EXPECT_TRUE(Inside(rect, pageClient)) << Describe(controls[i]) << " reaches out of its page";
        for (std::size_t j = i + 1; j < controls.size(); ++j)
            EXPECT_FALSE(Overlap(rect, RectIn(controls[j], page)))
                << Describe(controls[i]) << " lies over " << Describe(controls[j]);
        ExpectTextFits(controls[i], dpi);
    }
    std::vector<HWND> own;
    for (HWND control : VisibleChildren(frame))
        if (ClassOf(control) != L"#32770") own.push_back(control);
    for (std::size_t i = 0; i < own.size(); ++i) {
        const RECT rect = RectIn(own[i], frame);
        EXPECT_TRUE(Inside(rect, client)) << Describe(own[i]) << " reaches out of the frame";
        EXPECT_FALSE(Overlap(rect, pageRect)) << Describe(own[i]) << " lies over the page";
        for (std::size_t j = i + 1; j < own.size(); ++j)
            EXPECT_FALSE(Overlap(rect, RectIn(own[j], frame))) << Describe(own[i]) << " lies over " << Describe(own[j]);
        ExpectTextFits(own[i], dpi);
    }
}

void ExpectStripHeight(HWND frame, int stripHeight, COLORREF picture) {
    RECT client{};
    ::GetClientRect(frame, &client);
    HDC screen = ::GetDC(nullptr);
    const auto at = [&](int y) {
        POINT point{client.right / 2, y};
        ::ClientToScreen(frame, &point);
        return ::GetPixel(screen, point.x, point.y);
    };
    const auto matches = [&](COLORREF colour) {
        return std::abs(GetRValue(colour) - GetRValue(picture)) <= 8 &&
               std::abs(GetGValue(colour) - GetGValue(picture)) <= 8 &&
               std::abs(GetBValue(colour) - GetBValue(picture)) <= 8;
    };
    // The strip is painted a moment after the page shows: waited for.
    const ULONGLONG deadline = ::GetTickCount64() + 5000;
    while (!(matches(at(0)) && matches(at(stripHeight - 1))) && ::GetTickCount64() < deadline) ::Sleep(20);
    EXPECT_TRUE(matches(at(0))) << std::hex << at(0);
    EXPECT_TRUE(matches(at(stripHeight - 1))) << "row " << stripHeight - 1 << ": " << std::hex << at(stripHeight - 1);
    EXPECT_FALSE(matches(at(stripHeight))) << "row " << stripHeight << " is the strip's still";
    ::ReleaseDC(nullptr, screen);
}

void ExpectDistinctMnemonics(HWND frame, HWND page) {
    std::map<wchar_t, std::vector<std::string>> owners;
    std::vector<HWND> controls = VisibleChildren(page);
    for (HWND button : FrameButtons(frame)) controls.push_back(button);
    for (HWND control : controls) {
        const bool label = IsTextStatic(control) && (Style(control) & SS_NOPREFIX) == 0;
        if (!label && !IsButton(control)) continue;
        const wchar_t letter = MnemonicOf(WindowText(control));
        if (IsButton(control)) {
            EXPECT_NE(letter, 0) << Describe(control) << " has no mnemonic";
        }
        if (letter != 0) owners[letter].push_back(Describe(control));
    }
    for (const auto& [letter, named] : owners) {
        std::string all;
        for (const std::string& one : named) all += one + "; ";
        EXPECT_EQ(named.size(), 1u) << "one mnemonic for " << all;
    }
}

void ExpectTabWalksEverything(HWND frame, HWND page) {
    std::vector<HWND> stops;
    for (HWND control : VisibleChildren(page))
        if ((Style(control) & (WS_TABSTOP | WS_DISABLED)) == WS_TABSTOP) stops.push_back(control);
    for (HWND button : FrameButtons(frame))
        if (::IsWindowEnabled(button)) stops.push_back(button);
    const HWND start = FocusOf(frame);
    const auto first = std::find(stops.begin(), stops.end(), start);
    ASSERT_NE(first, stops.end()) << "the focus is on no tab stop: " << Describe(start);
    std::rotate(stops.begin(), first, stops.end());
    std::vector<HWND> walked{start};
    HWND focus = start;
    for (std::size_t i = 0; i < stops.size(); ++i) {
        TypeKey(frame, VK_TAB);
        focus = WaitForFocusChange(frame, focus);
        if (focus == start) break;
        walked.push_back(focus);
    }
    EXPECT_EQ(focus, start) << "Tab comes back where it started";
    std::string expected, seen;
    for (HWND control : stops) expected += Describe(control) + "; ";
    for (HWND control : walked) seen += Describe(control) + "; ";
    EXPECT_EQ(seen, expected);
}

}  // namespace wizardtest
