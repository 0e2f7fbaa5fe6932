// The progress page as the install engine sees it: two texts, two bars, the
// three wizard buttons and the owner of the engine's message boxes. The
// wizard's progress page (template 109) implements it; the continuation of a
// removal runs with the page-less view, tests with a recording one. The
// worker thread calls it directly.
#pragma once

#include <windows.h>

#include <string>

namespace tarnex {

enum class PageButton { Back, Next, Cancel };

class ProgressView {
public:
    virtual ~ProgressView() = default;

    // Owner of the engine's message boxes; nullptr shows them without one.
    virtual HWND Owner() = 0;
    // The window that receives one WM_USER + 5 per file of step 3 (the
    // current bar); nullptr when there is none.
    virtual HWND FileProgressTarget() = 0;

    virtual void SetOverallText(const std::wstring& text) = 0;  // "Шаг k из 15..."
    virtual void SetCurrentText(const std::wstring& text) = 0;  // the step's text

    // Range 0..count, step 1, position 0.
    virtual void SetCurrentRange(int count) = 0;
    virtual void AdvanceCurrent() = 0;
    virtual void SetOverallRange(int count) = 0;
    virtual void AdvanceOverall() = 0;

    virtual void EnableButton(PageButton button, bool enabled) = 0;
    virtual void SetDefaultButton(PageButton button, bool isDefault) = 0;
    // Gives the button the focus (its place in the Tab order stays).
    virtual void FocusButton(PageButton button) = 0;
    virtual void SetButtonText(PageButton button, const std::wstring& text) = 0;

    // The end of the run: the current text shows text; the bars, the
    // overall text and the step labels are hidden.
    virtual void ShowFinalText(const std::wstring& text) = 0;
};

// No page at all: the continuation of a removal after a restart.
class NoPageView final : public ProgressView {
public:
    HWND Owner() override { return nullptr; }
    HWND FileProgressTarget() override { return nullptr; }
    void SetOverallText(const std::wstring&) override {}
    void SetCurrentText(const std::wstring&) override {}
    void SetCurrentRange(int) override {}
    void AdvanceCurrent() override {}
    void SetOverallRange(int) override {}
    void AdvanceOverall() override {}
    void EnableButton(PageButton, bool) override {}
    void SetDefaultButton(PageButton, bool) override {}
    void FocusButton(PageButton) override {}
    void SetButtonText(PageButton, const std::wstring&) override {}
    void ShowFinalText(const std::wstring&) override {}
};

}  // namespace tarnex
