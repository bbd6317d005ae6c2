#pragma once

#include <string>
#include <vector>

namespace qmtest {

// Files of one test in the temporary folder, named after the test process
// so that parallel runs do not meet, and removed when this goes.
class ScratchFiles {
public:
    ScratchFiles() = default;
    ~ScratchFiles();
    ScratchFiles(const ScratchFiles&) = delete;
    ScratchFiles& operator=(const ScratchFiles&) = delete;

    // A path for `name`, where no file is; none is made.
    std::string Path(const std::string& name);
    // Writes `bytes` to the file `name` and returns its path.
    std::string Write(const std::string& name, const std::string& bytes);
    // A whole file's bytes; empty when it cannot be read.
    static std::string Read(const std::string& path);

private:
    std::vector<std::string> m_paths;
};

inline bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

} // namespace qmtest
