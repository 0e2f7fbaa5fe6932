// The server's registration script: a small line format carried as a
// resource and applied under HKEY_CLASSES_ROOT by the server's own registrar.
//
//   [replace] [shared] [remove] key PATH [= DEFAULT]
//   value PATH NAME = DATA
//
// "replace" deletes the key with its tree before registering; "remove" makes
// unregistering delete the key with its tree. "shared" marks a key that both
// registry views of a 64-bit Windows share (a ProgID): the 32-bit and the
// 64-bit build write the same one, and only the last build unregistered
// removes it. Every value is a string;
// "%MODULE%" in a value stands for the server's full path. Lines starting
// with "#" and blank lines are ignored. Portable: no Windows header.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace busvault {

struct ScriptEntry {
    bool isValue = false;      // "value" line; otherwise "key"
    bool replace = false;      // key: delete its tree before registering
    bool remove = false;       // key: delete its tree when unregistering
    bool shared = false;       // key: shared by both registry views
    std::string path;          // relative to HKEY_CLASSES_ROOT, '\'-separated
    std::string name;          // value name; empty for a key's default value
    std::optional<std::string> data;  // absent: a key without a default value
};

// The entries in script order; nothing when a line is malformed (the
// registrar then changes nothing).
std::optional<std::vector<ScriptEntry>> ParseRegistrationScript(std::string_view text);

// Every "%MODULE%" replaced by the module's path.
std::string SubstituteModule(std::string_view data, std::string_view modulePath);

}  // namespace busvault
