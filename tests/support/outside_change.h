#pragma once

#include "framework/unique_handle.h"
#include "tests/support/registry_sandbox.h"

#include <string>

namespace qmtest {

// Deletes the key at `path` below the sandbox's HKEY_LOCAL_MACHINE, with all
// it holds, from a second process (Wine's reg.exe), as another program on the
// machine would. The redirection of HKEY_LOCAL_MACHINE belongs to this process
// alone, so the other process is given the sandbox's real place. True when
// that process ended reporting success.
bool DeleteKeyFromAnotherProcess(const RegistrySandbox& sandbox, const std::string& path);

// The same, started and left running, so that this process can go on
// meanwhile; FinishOutsideDelete waits for it and gives its success.
fw::unique_handle StartDeleteFromAnotherProcess(const RegistrySandbox& sandbox,
                                                const std::string& path);
bool FinishOutsideDelete(fw::unique_handle process);

// Any reg.exe command on a key below the sandbox's HKEY_LOCAL_MACHINE, from
// a second process: `reg.exe verb "path" rest /f`.
fw::unique_handle StartRegFromAnotherProcess(const RegistrySandbox& sandbox,
                                             const std::string& verb, const std::string& path,
                                             const std::string& rest);
// Sets a text value (REG_EXPAND_SZ, as the program stores its texts; the key
// is made when it is missing) from a second process.
bool SetTextFromAnotherProcess(const RegistrySandbox& sandbox, const std::string& keyPath,
                               const std::string& name, const std::string& text);

} // namespace qmtest
