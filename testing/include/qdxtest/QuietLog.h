// A settings file of the test's own, and a runner that writes no log file.
//
//   qdx::test::TempDir dir;
//   qdx::test::ScopedSettings settings(dir, "[SYS]\nRollValues=6\n");   // WriteLog=NO added
//
//   // once per runner, at namespace scope: every test finds the log file switched off
//   const auto* const g_quietLog = ::testing::AddGlobalTestEnvironment(new qdx::test::QuietLog);
//
// Header only: it calls the library through whichever qdx the runner links (the static core for
// the library's own tests, libqdx.so for the application's), so both see one settings path.
#pragma once

#include <qdx/Settings.h>
#include <qdxtest/TempDir.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>

namespace qdx::test {

// The settings the log writer reads to stay silent; ScopedSettings adds them to every file.
inline constexpr std::string_view kNoLogFile = "[RELEASE]\nWriteLog=NO\n";

// Makes <dir>/<name> the process's settings file while it lives, holding `text` and, unless
// `text` has a [RELEASE] section of its own, kNoLogFile after it. Tests may run in parallel:
// each gets a file of its own.
class ScopedSettings {
public:
    explicit ScopedSettings(const TempDir& dir, std::string_view text = "", std::string_view name = "test.ini")
        : m_path(dir.File(name))
    {
        std::string all(text);
        if (all.find("[RELEASE]") == std::string::npos)
            all += kNoLogFile;
        WriteFile(m_path, all);
        SetIniPath(m_path.c_str());
    }
    ~ScopedSettings() { SetIniPath(nullptr); }
    ScopedSettings(const ScopedSettings&) = delete;
    ScopedSettings& operator=(const ScopedSettings&) = delete;

    const std::string& Path() const { return m_path; }
    // The file as it is now.
    std::string Text() const { return ReadFile(m_path); }

private:
    std::string m_path;
};

// A runner-wide settings file that switches the log file off, so no test leaves a logs folder
// behind; messages still reach the last-message sink, where tests read them.
class QuietLog : public ::testing::Environment {
public:
    void SetUp() override
    {
        m_dir = std::make_unique<TempDir>("qdx-quiet-log");
        m_settings = std::make_unique<ScopedSettings>(*m_dir);
    }
    void TearDown() override
    {
        m_settings.reset();
        m_dir.reset();
    }

private:
    std::unique_ptr<TempDir> m_dir;
    std::unique_ptr<ScopedSettings> m_settings;
};

} // namespace qdx::test
