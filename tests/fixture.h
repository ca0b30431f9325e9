// Real folders made by the tests, in the platform's own paths.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "listing.h"

namespace fixture {

namespace fs = std::filesystem;

inline std::string Join(const std::string& a, const std::string& b) { return a + PathSeparator() + b; }

// Creates the folder and every missing folder above it.
inline void MakeDir(const std::string& path) {
    std::error_code ec;
    fs::create_directories(fs::u8path(path), ec);
    ASSERT_FALSE(ec) << path << ": " << ec.message();
}

// A file of the given size; large sizes are sparse, so no disk is used.
inline void MakeFile(const std::string& path, uint64_t bytes) {
    std::error_code ec;
    fs::create_directories(fs::u8path(path).parent_path(), ec);
    {
        std::ofstream f(fs::u8path(path), std::ios::binary);
        ASSERT_TRUE(f.good()) << path;
        if (bytes > 0 && bytes <= 4096) {
            std::string data(static_cast<size_t>(bytes), 'x');
            f.write(data.data(), static_cast<std::streamsize>(data.size()));
        }
    }
    if (bytes > 4096) fs::resize_file(fs::u8path(path), bytes);
}

// A fresh folder for one test, removed with everything in it afterwards.
class TempDir {
public:
    TempDir() {
        static int counter = 0;
        const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
        std::string leaf = std::string("tf-") + (info ? info->name() : "x") + "-" + std::to_string(counter++);
        for (char& c : leaf) {
            if (c == '/' || c == '\\') c = '_';
        }
        path_ = (fs::temp_directory_path() / leaf).string();
        std::error_code ec;
        fs::remove_all(fs::u8path(path_), ec);
        fs::create_directories(fs::u8path(path_), ec);
        // No trailing separator: the scan's path shape.
        while (path_.size() > 3 && (path_.back() == '/' || path_.back() == '\\')) path_.pop_back();
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(fs::u8path(path_), ec);
    }
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& rel) const {
        std::string p = path_;
        std::string part;
        for (char c : rel) {
            if (c == '/') {
                p = Join(p, part);
                part.clear();
            } else {
                part += c;
            }
        }
        return part.empty() ? p : Join(p, part);
    }

private:
    std::string path_;
};

}  // namespace fixture
