#include "tests/support/outside_change.h"

#include <vector>

namespace qmtest {

fw::unique_handle StartRegFromAnotherProcess(const RegistrySandbox& sandbox,
                                             const std::string& verb, const std::string& path,
                                             const std::string& rest) {
    const std::string command =
        "reg.exe " + verb + " \"HKCU\\" + sandbox.Path() + "\\" + path + "\" " + rest + " /f";
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

fw::unique_handle StartDeleteFromAnotherProcess(const RegistrySandbox& sandbox,
                                                const std::string& path) {
    return StartRegFromAnotherProcess(sandbox, "delete", path, "");
}

bool DeleteKeyFromAnotherProcess(const RegistrySandbox& sandbox, const std::string& path) {
    return FinishOutsideDelete(StartDeleteFromAnotherProcess(sandbox, path));
}

bool SetTextFromAnotherProcess(const RegistrySandbox& sandbox, const std::string& keyPath,
                               const std::string& name, const std::string& text) {
    return FinishOutsideDelete(StartRegFromAnotherProcess(
        sandbox, "add", keyPath, "/v \"" + name + "\" /t REG_EXPAND_SZ /d \"" + text + "\""));
}

} // namespace qmtest
