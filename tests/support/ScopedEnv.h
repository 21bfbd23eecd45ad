// Sets or unsets an environment variable for one scope (POSIX).
#pragma once

#if !defined(_WIN32)

#include <cstdlib>
#include <optional>
#include <string>

namespace cu::test {

class ScopedEnv {
public:
    // value nullptr unsets the variable.
    ScopedEnv(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name)) m_old = old;
        Set(value);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;
    ~ScopedEnv() { Set(m_old ? m_old->c_str() : nullptr); }

private:
    void Set(const char* value) { value != nullptr ? setenv(m_name.c_str(), value, 1) : unsetenv(m_name.c_str()); }

    std::string m_name;
    std::optional<std::string> m_old;
};

}  // namespace cu::test

#endif
