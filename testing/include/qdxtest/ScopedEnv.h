// Environment variables changed for a while: each comes back as it was when the object goes.
//
//   qdx::test::ScopedEnv env{{"HOME", "/tmp/h"}, {"BROWSER", nullptr}};   // nullptr: removed
//   env.Set("XDG_CONFIG_HOME", dir.File("cfg").c_str());
//   qdx::test::NoProxy noProxy;   // the test's loopback servers are reached directly
//
// As a fixture member it lives from before SetUp to after TearDown.
#pragma once

#include <cstdlib>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qdx::test {

class ScopedEnv {
public:
    ScopedEnv() = default;
    ScopedEnv(std::initializer_list<std::pair<const char*, const char*>> values)
    {
        for (const auto& [name, value] : values)
            Set(name, value);
    }
    ~ScopedEnv()
    {
        for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) {
            if (it->second)
                setenv(it->first.c_str(), it->second->c_str(), 1);
            else
                unsetenv(it->first.c_str());
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

    // Sets `name` to `value`, or removes it when `value` is null; the value it had before the
    // first change is the one put back.
    void Set(const char* name, const char* value)
    {
        bool saved = false;
        for (const auto& entry : m_saved)
            saved = saved || entry.first == name;
        if (!saved) {
            const char* old = std::getenv(name);
            m_saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        }
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

// No proxy from the environment, so requests to the test's own servers go straight to them.
class NoProxy : public ScopedEnv {
public:
    NoProxy()
        : ScopedEnv{{"http_proxy", nullptr},  {"HTTP_PROXY", nullptr}, {"https_proxy", nullptr},
                    {"HTTPS_PROXY", nullptr}, {"all_proxy", nullptr},  {"ALL_PROXY", nullptr}}
    {
    }
};

} // namespace qdx::test
