// The wait for the package's installer. A person's run of it may end in a
// restart of Windows, which ends this program too before it could remove
// its folder (a program without a window hears nothing of the session's
// end): a hidden window hears it, and what the folder holds is left to the
// next start of Windows to delete.
#pragma once

#include <windows.h>

namespace tarnex {

class UnpackFolder;

// The hidden window's class, for finding it.
inline constexpr wchar_t kInstallerWaitWindowClass[] = L"TarnexSingleFileWait";

// Returns once process (any waitable handle) is signalled, answering the
// window messages of this thread meanwhile; should the session end first,
// the folder is left to the next start of Windows.
void WaitForInstaller(HANDLE process, UnpackFolder& folder);

}  // namespace tarnex
