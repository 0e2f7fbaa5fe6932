// SHA-256 of a file's bytes through the system's CryptoAPI (advapi32, the
// RSA/AES provider), read in 1 MB pieces; and the reading loop itself, for
// other hashes.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "vrel/crypt_handles.h"
#include "vrel/unique_handle.h"

namespace vrel {

class Sha256Hash {
public:
    Sha256Hash() {
        // A failed CryptCreateHash leaves no hash to destroy.
        if (::CryptAcquireContextW(provider_.put(), nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT) &&
            !::CryptCreateHash(provider_.get(), CALG_SHA_256, 0, 0, hash_.put()))
            hash_.release();
    }

    bool Add(const void* bytes, DWORD size) {
        return hash_ && ::CryptHashData(hash_.get(), static_cast<const BYTE*>(bytes), size, 0) != FALSE;
    }
    bool Finish(std::array<std::uint8_t, 32>& digest) {
        DWORD size = static_cast<DWORD>(digest.size());
        return hash_ && ::CryptGetHashParam(hash_.get(), HP_HASHVAL, digest.data(), &size, 0) && size == digest.size();
    }

private:
    unique_hcryptprov provider_;
    unique_hcrypthash hash_;  // destroyed before its provider
};

// Reads the file in 1 MB pieces and gives each to take(bytes, size); size
// is then the bytes read. False when it cannot be opened or read. The file
// is opened for reading with others allowed to read only, so it cannot
// change while it is read.
template <class Take>
bool ReadFileInPieces(const std::wstring& path, std::uint64_t& size, Take take) {
    unique_hfile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return false;
    std::vector<char> buffer(1 << 20);
    size = 0;
    for (;;) {
        DWORD read = 0;
        if (!::ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr)) return false;
        if (read == 0) return true;
        if (!take(buffer.data(), read)) return false;
        size += read;
    }
}

// The file's size and SHA-256 through the CryptoAPI; false when it cannot
// be opened or read.
inline bool DigestFile(const std::wstring& path, std::uint64_t& size, std::array<std::uint8_t, 32>& digest) {
    Sha256Hash hash;
    return ReadFileInPieces(path, size, [&](const char* bytes, DWORD read) { return hash.Add(bytes, read); }) &&
           hash.Finish(digest);
}

}  // namespace vrel
