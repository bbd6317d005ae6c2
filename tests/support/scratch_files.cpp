#include "tests/support/scratch_files.h"

#include <windows.h>

#include <fstream>
#include <sstream>

namespace qmtest {

ScratchFiles::~ScratchFiles() {
    for (const std::string& path : m_paths)
        DeleteFileA(path.c_str());
}

std::string ScratchFiles::Path(const std::string& name) {
    char folder[MAX_PATH] = "";
    GetTempPathA(sizeof folder, folder);
    m_paths.push_back(std::string(folder) + "quillmere-" + std::to_string(GetCurrentProcessId()) +
                      "-" + name);
    DeleteFileA(m_paths.back().c_str());
    return m_paths.back();
}

std::string ScratchFiles::Write(const std::string& name, const std::string& bytes) {
    const std::string path = Path(name);
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

std::string ScratchFiles::Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

} // namespace qmtest
