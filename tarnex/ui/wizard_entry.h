// The program run's hand-over to the user interface: the background window
// and the wizard.
#pragma once

namespace tarnex {

// Creates the full-screen background window (with its picture when
// showPicture is set, and the text); 1 on success.
int CreateBackgroundWindow(int showPicture, const wchar_t* text);

// Runs the wizard in the current run mode; 1 when the work was carried out
// to its end.
int RunWizard();

}  // namespace tarnex
