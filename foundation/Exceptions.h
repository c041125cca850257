#pragma once
// The program's exception family. Building one logs it, so every failure is in the log
// even when a catcher swallows it; copying logs nothing.

#include <exception>
#include <string>

namespace exception {

class Base : public std::exception {
public:
    Base(const std::wstring& message, const std::wstring& description);
    Base(const Base&) = default;
    Base& operator=(const Base&) = default;
    ~Base() override = default;
    // message + " / " + description in the "Russian" code page.
    const char* what() const noexcept override { return narrowText_.c_str(); }

private:
    std::string narrowText_;

public:
    std::wstring description;
    std::wstring message;
};

class ExternalError : public Base {
public:
    ExternalError(const std::wstring& message, const std::wstring& description) : Base(message, description) {}
};

class UserError : public ExternalError {
public:
    UserError(const std::wstring& message, const std::wstring& description) : ExternalError(message, description) {}
};

class IncorrectFormat : public UserError {
public:
    explicit IncorrectFormat(const std::wstring& description);
};

class DeviceReason : public ExternalError {
public:
    DeviceReason(const std::wstring& message, const std::wstring& description);
    DeviceReason(const DeviceReason&) = default;

protected:
    struct Quiet {};
    // For derived classes that log the device line themselves, after their own set-up.
    DeviceReason(const std::wstring& message, const std::wstring& description, Quiet)
        : ExternalError(message, description) {}
    void reportDeviceFailure() const;
};

class UnexpectedResponseOfDevice : public DeviceReason {
public:
    explicit UnexpectedResponseOfDevice(const std::string& reply);
    UnexpectedResponseOfDevice(const UnexpectedResponseOfDevice&) = default;

    std::string response;
};

// A refusal to be told to the operator; `message` holds its code ("internalPlaying").
class UserResponse : public ExternalError {
public:
    UserResponse(const std::wstring& code, const std::wstring& description) : ExternalError(code, description) {}
};

class Offline : public UserResponse {
public:
    Offline() : UserResponse(L"offline", L"") {}
};

class UnsupportedByDevice : public UserResponse {
public:
    explicit UnsupportedByDevice(const std::wstring& description) : UserResponse(L"unsupported", description) {}
};

class UnknownVersionOfAudioMemory : public ExternalError {
public:
    UnknownVersionOfAudioMemory();
};

class InternalError : public Base {
public:
    explicit InternalError(const std::wstring& description);
    InternalError(const InternalError&) = default;

protected:
    InternalError(const std::wstring& message, const std::wstring& description);
};

class ServerError : public InternalError {
public:
    ServerError();
};

class NotImplemented : public InternalError {
public:
    NotImplemented();
};

// An unrecoverable internal fault: the application's main-loop handler ends the program.
class StopProgram : public Base {
public:
    StopProgram() : Base(L"Stop program", L"") {}
};

// The text of any exception for a log line or a box: the program's own ("message / description",
// and a system error of os::errorCategory, whose text is the program's narrow text) as the program
// wrote it, any other as the library that made it wrote it (base::fromSystem).
std::wstring textOf(const std::exception& error);

}  // namespace exception
