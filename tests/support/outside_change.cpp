#include "tests/support/outside_change.h"

#include <vector>

namespace qmtest {

fw::unique_handle StartDeleteFromAnotherProcess(const RegistrySandbox& sandbox,
                                                const std::string& path) {
    const std::string command = "reg.exe delete \"HKCU\\" + sandbox.Path() + "\\" + path + "\" /f";
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &startup, &info))
        return fw::unique_handle();
    fw::unique_handle thread(info.hThread);
    return fw::unique_handle(info.hProcess);
}

bool FinishOutsideDelete(fw::unique_handle process) {
    if (!process || WaitForSingleObject(process.get(), 60000) != WAIT_OBJECT_0)
        return false;
    DWORD code = 1;
    return GetExitCodeProcess(process.get(), &code) && code == 0;
}

bool DeleteKeyFromAnotherProcess(const RegistrySandbox& sandbox, const std::string& path) {
    return FinishOutsideDelete(StartDeleteFromAnotherProcess(sandbox, path));
}

} // namespace qmtest
