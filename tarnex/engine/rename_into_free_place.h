// Step 9's common case made cheap: a temporary copy renamed into a place
// that nothing holds. Under Wine MoveFileW costs four trips through the
// server (an open, a query, the rename, the close); a rename through the
// handle of one open costs three, and the look at the place before it none
// (under Wine it is a read of the folder all the same, on the program's side).
// Anything else (a file in the place, a refusal, a path of another form)
// is left to the full replace with its deletion and deferral.
#pragma once

#include <string>

namespace tarnex {

enum class QuickRename {
    Done,      // the copy is in its place
    NoSource,  // there is no temporary copy: nothing to do
    NotTried,  // the full replace decides
};

// placeSeenFree: the place was seen free before (step 3's look at it), so it
// is not looked at again; the rename never replaces what came since.
QuickRename RenameIntoFreePlace(const std::wstring& temporaryPath, const std::wstring& finalPath,
                                bool placeSeenFree);

}  // namespace tarnex
