// Temporary folders and whole-file reads and writes for tests.
//
//   qdx::test::TempDir dir("qdx-log");           // /tmp/qdx-log-Ab12Cd, gone with `dir`
//   std::string path = dir.Write("in.txt", "a\nb\n");
//   EXPECT_EQ(qdx::test::ReadFile(path), "a\nb\n");
//
// A fixture that needs a folder derives from TempDirTest and finds it in `dir`.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace qdx::test {

// A fresh folder under the system's temporary folder ($TMPDIR, else /tmp), made with mkdtemp
// and removed with everything in it when the object goes. Throws std::system_error when the
// folder cannot be made, so a test never runs against a folder it does not own.
class TempDir {
public:
    explicit TempDir(std::string_view prefix = "qdx-test");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The folder's absolute path, without a final '/'.
    const std::string& Path() const { return m_path; }
    // Path() + "/" + name; the file need not exist.
    std::string File(std::string_view name) const;
    // Writes `bytes` to File(name), replacing what was there, and returns that path.
    std::string Write(std::string_view name, std::string_view bytes) const;
    // The names of the folder's entries (not "." and ".."), sorted.
    std::vector<std::string> Entries() const;

private:
    std::string m_path;
};

// One file with `bytes` in it, in a TempDir of its own. Path() is a C string, since the file is
// mostly handed to the library's functions (a settings path for CRollTally, say).
class TempFile {
public:
    explicit TempFile(std::string_view bytes = "", std::string_view name = "file");
    const char* Path() const { return m_path.c_str(); }
    // The file as it is now.
    std::string Text() const;
    // Replaces what the file holds.
    void Write(std::string_view bytes) const;

private:
    TempDir m_dir;
    std::string m_path;
};

// A TempDir for every test.
class TempDirTest : public ::testing::Test {
protected:
    TempDir dir;
};

// The whole file as bytes; empty when it cannot be read.
std::string ReadFile(const std::string& path);
// Writes `bytes` to `path`, replacing the file; false when it cannot be written.
bool WriteFile(const std::string& path, std::string_view bytes);
// True when something (file, folder, ...) exists at `path`.
bool Exists(const std::string& path);

} // namespace qdx::test
