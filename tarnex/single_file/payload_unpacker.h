// The single file's own check and its unpacking. The program's own file is
// opened once, for reading with others allowed to read only, and held to
// the end of the run: no one can change it between the check and the last
// byte read. The payload (portable/single_file_payload.h) is found after the
// program image, the signature is checked when there is one, the index is
// laid out, and then every file is streamed into the unpacking folder in
// pieces read by their offsets (a package of a gigabyte never has to fit in
// the 32-bit program's address space), each hashed as it is written and
// held against the index before anything uses it.
#pragma once

#include <cstdint>
#include <string>

#include "portable/single_file_payload.h"
#include "vrel/unique_handle.h"

namespace tarnex {

class UnpackProgress;

enum class UnpackEnd { Done, Refused, Cancelled };

class PayloadUnpacker {
public:
    // Opens program (a full path) and looks for a payload after its image.
    explicit PayloadUnpacker(const std::wstring& program);

    // The program ends in a payload's trailer: it is a single-file package
    // (nothing of it is checked yet).
    bool Carried() const { return carried_; }

    // The program's signature, when it has one, still matches its bytes,
    // and the index reads and accounts for every byte of the payload.
    // False: refused and logged, refusedFile names the file at fault.
    bool CheckIndex(std::wstring& refusedFile);

    // The index read by CheckIndex, and the bytes of all its files.
    const PackageSeal& Index() const { return payload_.index; }
    std::uint64_t TotalSize() const;

    // Writes every file of the index into folder (a full path with a
    // backslash), each checked against its size and SHA-256, telling
    // progress after each piece. Refused: logged (the file, the SHA-256
    // expected and found), refusedFile names it. Whatever the end, what was
    // written is the folder owner's to remove.
    UnpackEnd UnpackInto(const std::wstring& folder, UnpackProgress& progress, std::wstring& refusedFile);

private:
    bool ReadAt(std::uint64_t offset, void* bytes, std::uint32_t size) const;
    UnpackEnd UnpackFile(std::size_t index, const std::wstring& folder, UnpackProgress& progress,
                         std::uint64_t& unpacked);

    std::wstring program_;
    vrel::unique_hfile file_;
    bool carried_ = false;
    bool hasSignature_ = false;
    PayloadSpan span_;
    Payload payload_;
};

}  // namespace tarnex
