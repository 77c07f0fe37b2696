#pragma once
// A fresh folder under the system's temporary folder, removed with
// everything in it when the test ends.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace orbisk::test {

class TempDir {
public:
    TempDir() {
        // create_directory is false for a folder that exists: try names
        // until one is new, as mkdtemp would (which Windows lacks).
        std::random_device seed;
        std::mt19937 random(seed());
        std::error_code ec;
        const auto base = std::filesystem::temp_directory_path(ec);
        for (int attempt = 0; attempt < 100 && !ec; ++attempt) {
            const auto candidate = base / ("orbisk-test-" + std::to_string(random()));
            if (std::filesystem::create_directory(candidate, ec)) {
                path_ = candidate.string();
                return;
            }
        }
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// ASCII text as a UTF-16 little-endian file with its byte-order mark, as
// Notepad saves "Unicode".
inline std::string Utf16File(const std::string& ascii) {
    std::string bytes = "\xFF\xFE";
    for (const char c : ascii) bytes += {c, '\0'};
    return bytes;
}

}  // namespace orbisk::test
