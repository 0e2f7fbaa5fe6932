// The text rules of environment-variable lists ("a;b;c"): splitting an
// entry's value into pieces, adding a piece to a list and taking it back.
// The callers lower-case both texts first (with the system's case rules).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tarnex {

// The pieces of an entry's value up to the first empty one: "a;b" gives a and
// b, "a;;b" gives a, ";a" gives nothing.
std::vector<std::wstring> SplitEnvPieces(const std::wstring& value);

// One trailing backslash removed ("C:\Tools\" gives "C:\Tools").
std::wstring StripOneTrailingBackslash(std::wstring piece);

// True when piece occurs in list followed by ";" or by the end of the list
// (what comes before it is not looked at: "c:\bin" is in "x:\c:\bin").
bool EnvPiecePresent(const std::wstring& list, const std::wstring& piece);

// The list with piece added: "" when it is already present (nothing to
// write), else list + ";" (unless list ends with one) + piece.
std::wstring AppendEnvPiece(const std::wstring& list, const std::wstring& piece);

// The list without the first occurrence of piece that is a whole element
// (at the start or after ";", and followed by ";" or the end); nullopt when
// there is none (nothing to write). Taking the only element gives "".
std::optional<std::wstring> RemoveEnvPiece(const std::wstring& list, const std::wstring& piece);

}  // namespace tarnex
