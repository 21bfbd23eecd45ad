// Sets or unsets an environment variable for one scope (POSIX).
#pragma once

#if !defined(_WIN32)

#include <cstdlib>
#include <string>

namespace cu::test {

class ScopedEnv {
public:
    // value nullptr unsets the variable.
    ScopedEnv(const char* name, const char* value) : m_name(name) {
        const char* old = std::getenv(name);
        m_had = old != nullptr;
        if (m_had) m_old = old;
        if (value != nullptr)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;
    ~ScopedEnv() {
        if (m_had)
            setenv(m_name.c_str(), m_old.c_str(), 1);
        else
            unsetenv(m_name.c_str());
    }

private:
    std::string m_name;
    bool m_had = false;
    std::string m_old;
};

}  // namespace cu::test

#endif
