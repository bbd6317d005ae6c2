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

} // namespace qmtest
