// Where the installer's process looks for libraries loaded by name.
#pragma once

namespace tarnex {

// Called first in the program, before anything is loaded by name: libraries
// that the program or the system's own libraries load by bare name come from
// the system folder only, never from the program's folder (a downloads
// folder full of strangers' files) or the current folder. Windows without
// SetDefaultDllDirectories (before Windows 8 without update KB2533623) keeps
// the program's folder in the search but loses the current folder.
// Returns true when the search is restricted to the system folder.
bool RestrictLibrarySearch();

// True once RestrictLibrarySearch has restricted the search to the system
// folder: a library loaded by its full path then names the folders for its
// own imports with LOAD_LIBRARY_SEARCH_* flags.
bool LibrarySearchRestricted();

}  // namespace tarnex
