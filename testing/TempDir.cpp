#include <qdxtest/TempDir.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include <stdlib.h>

namespace fs = std::filesystem;

namespace qdx::test {

TempDir::TempDir(std::string_view prefix)
{
    std::string pattern = (fs::temp_directory_path() / std::string(prefix)).string() + "-XXXXXX";
    if (!mkdtemp(pattern.data()))
        throw std::system_error(errno, std::generic_category(), "mkdtemp " + pattern);
    m_path = pattern;
}

TempDir::~TempDir()
{
    std::error_code error;
    fs::remove_all(m_path, error);
    if (error)
        std::fprintf(stderr, "could not remove %s: %s\n", m_path.c_str(), error.message().c_str());
}

std::string TempDir::File(std::string_view name) const
{
    return m_path + "/" + std::string(name);
}

std::string TempDir::Write(std::string_view name, std::string_view bytes) const
{
    std::string path = File(name);
    if (!WriteFile(path, bytes))
        ADD_FAILURE() << "could not write " << path;
    return path;
}

std::vector<std::string> TempDir::Entries() const
{
    std::vector<std::string> names;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(m_path, error))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TempFile::TempFile(std::string_view bytes, std::string_view name)
    : m_dir("qdx-file"), m_path(m_dir.Write(name, bytes))
{
}

std::string TempFile::Text() const
{
    return ReadFile(m_path);
}

void TempFile::Write(std::string_view bytes) const
{
    m_dir.Write(m_path.substr(m_dir.Path().size() + 1), bytes);
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteFile(const std::string& path, std::string_view bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out.flush());
}

bool Exists(const std::string& path)
{
    std::error_code error;
    return fs::symlink_status(path, error).type() != fs::file_type::not_found && !error;
}

} // namespace qdx::test
