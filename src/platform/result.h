#pragma once

#include <cerrno>
#include <string>
#include <utility>
#include <variant>

namespace platform {

// A failure as the platform layer reports it: the errno-style code and a sentence naming what
// was attempted on which file, with the system's own reason.
struct Error {
    int code = 0;
    std::string message;
};

// Builds an Error from errno (read at the call, before anything else can change it).
Error errnoError(const std::string& what);
Error makeError(int code, std::string message);

// Success, or an Error.
class [[nodiscard]] Status {
public:
    Status() = default;
    Status(Error error) : m_error(std::move(error)), m_failed(true) {}
    static Status success() { return Status(); }

    bool ok() const { return !m_failed; }
    explicit operator bool() const { return ok(); }
    const Error& error() const { return m_error; }

private:
    Error m_error;
    bool m_failed = false;
};

// A value, or an Error.
template <class T> class [[nodiscard]] Result {
public:
    Result(T value) : m_data(std::move(value)) {}
    Result(Error error) : m_data(std::move(error)) {}

    bool ok() const { return m_data.index() == 0; }
    explicit operator bool() const { return ok(); }
    T& value() { return std::get<0>(m_data); }
    const T& value() const { return std::get<0>(m_data); }
    T& operator*() { return value(); }
    const T& operator*() const { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    const Error& error() const { return std::get<1>(m_data); }
    Status status() const { return ok() ? Status() : Status(error()); }

private:
    std::variant<T, Error> m_data;
};

} // namespace platform
