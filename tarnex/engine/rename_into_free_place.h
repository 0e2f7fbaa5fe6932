// Step 9's common case made cheap: a temporary copy renamed into a place
// that nothing holds. Under Wine MoveFileW costs four trips through the
// server (an open, a query, the rename, the close); a rename through the
// handle of one open costs three, and the look at the place before it none.
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

QuickRename RenameIntoFreePlace(const std::wstring& temporaryPath, const std::wstring& finalPath);

}  // namespace tarnex
