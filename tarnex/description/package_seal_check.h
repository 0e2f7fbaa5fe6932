// The installer's check of its package against the seal its own program
// carries (portable/package_seal.h): before the description is read, the
// program's signature, the seal and the description; once the description
// is read, every other file the seal names. A file that differs is named
// in the log with the SHA-256 expected and found, and the run is refused
// before anything on the system is changed.
#pragma once

#include <cstdint>
#include <string>

#include "description/setup_description.h"
#include "portable/package_seal.h"

namespace tarnex {

// The message of a refused package, naming its file.

// The signed program's signature still matches its bytes (the log names
// the signer; whether its chain is trusted is the system's question). False:
// refused, refusedFile names the running program.
bool SignatureMatchesBytes(const std::wstring& program, std::wstring& refusedFile);

// Reads the seal at the end of the program's own file. When the program is
// signed, its signature must still match its bytes (the log names the
// signer). A sealed program must read the description its seal names, and
// that description must be the sealed one. A program without a seal goes on
// without checks, and the log says so. False: refused, refusedFile names the
// file at fault.
bool OpenPackageSeal(std::wstring& refusedFile);

// Every other file the seal names is the sealed one; a missing file is
// refused. The installed copy's run (installedCopy: maintenance, removal,
// continuation after a restart) checks what it reads from its folder, the
// INF copies and the installer's own files that are there: the cabinets and
// the licence stay in the package.
//
// The cabinets step 3 reads are hashed as it reads them (CabinetMatchesSeal):
// here only their presence and size are checked.
bool CheckSealedFiles(const SetupDescription& description, bool installedCopy, std::wstring& refusedFile);

// Step 2, before the first program it starts: the cabinets step 3 will
// read, hashed now (those not there are step 3's to report). A run whose
// step 2 starts nothing reads them once, in step 3.
bool CheckCabinetsBeforeCopy(const SetupDescription& description, std::wstring& refusedFile);

// Whether a cabinet (its full path) as step 3 read it (readable: read to its end; its size
// and SHA-256) is the one the seal names; without a seal any is. A cabinet
// the seal does not name, or other bytes, is logged and refused.
bool PackageIsSealed();
bool CabinetMatchesSeal(const std::wstring& path, bool readable, std::uint64_t size, const Sha256& digest);

}  // namespace tarnex
