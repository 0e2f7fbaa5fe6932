#include "env_pieces.h"

namespace tarnex {
namespace {

bool EndsElement(const std::wstring& list, std::size_t end) { return end == list.size() || list[end] == L';'; }

}  // namespace

std::vector<std::wstring> SplitEnvPieces(const std::wstring& value) {
    std::vector<std::wstring> pieces;
    std::size_t start = 0;
    while (start < value.size()) {
        const std::size_t semi = value.find(L';', start);
        const std::size_t end = semi == std::wstring::npos ? value.size() : semi;
        if (end == start) break;
        pieces.push_back(value.substr(start, end - start));
        if (semi == std::wstring::npos) break;
        start = semi + 1;
    }
    return pieces;
}

std::wstring StripOneTrailingBackslash(std::wstring piece) {
    if (!piece.empty() && piece.back() == L'\\') piece.pop_back();
    return piece;
}

bool EnvPiecePresent(const std::wstring& list, const std::wstring& piece) {
    if (piece.empty()) return false;
    for (std::size_t at = list.find(piece); at != std::wstring::npos; at = list.find(piece, at + 1)) {
        if (EndsElement(list, at + piece.size())) return true;
    }
    return false;
}

std::wstring AppendEnvPiece(const std::wstring& list, const std::wstring& piece) {
    if (list.empty()) return piece;
    if (EnvPiecePresent(list, piece)) return std::wstring();
    std::wstring out = list;
    if (out.back() != L';') out += L';';
    return out + piece;
}

std::optional<std::wstring> RemoveEnvPiece(const std::wstring& list, const std::wstring& piece) {
    if (piece.empty()) return std::nullopt;
    for (std::size_t at = list.find(piece); at != std::wstring::npos; at = list.find(piece, at + 1)) {
        const std::size_t end = at + piece.size();
        if (!EndsElement(list, end)) continue;
        // Only a whole element: a piece that merely ends another element
        // ("a" in "xa;b") is not the one that was added.
        if (at != 0 && list[at - 1] != L';') continue;
        if (at == 0) return end == list.size() ? std::wstring() : list.substr(end + 1);
        return list.substr(0, at - 1) + list.substr(end);
    }
    return std::nullopt;
}

}  // namespace tarnex
