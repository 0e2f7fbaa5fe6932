// MSZIP cabinets written through the system's cabinet library (FCI in
// cabinet.dll), as the installer's cabinet transfer reads them.
#pragma once

#include <string>
#include <vector>

#include "portable/section_records.h"

namespace pack {

struct CabinetEntry {
    std::wstring sourcePath;
    std::string name;          // the name in the cabinet (plain ASCII)
    tarnex::FileStamp stamp;   // local time, even seconds
};

// Writes the cabinet; FCI's work files go into workFolder and are gone
// afterwards. False with what went wrong in error.
bool WriteCabinet(const std::wstring& cabinetPath, const std::wstring& workFolder,
                  const std::vector<CabinetEntry>& entries, unsigned short setId, std::wstring& error);

}  // namespace pack
