#pragma once

#include <QString>

#include <exception>
#include <string>

namespace pellora {

// Error numbers the program reports, in the runtime's own numbering.
namespace ErrorNumber {
constexpr int InvalidProcedureCall = 5;
constexpr int Overflow = 6;
constexpr int TypeMismatch = 13;
constexpr int Internal = 51;
constexpr int BadFileName = 52;
constexpr int FileNotFound = 53;
constexpr int FileAlreadyExists = 58;
constexpr int DiskFull = 61;
constexpr int PermissionDenied = 70;
constexpr int PathFileAccess = 75;
constexpr int PathNotFound = 76;
} // namespace ErrorNumber

// The one error type of the program: a failing platform or component call throws it.
class Error : public std::exception {
public:
    Error(int number, QString description);

    int number() const noexcept { return number_; }
    const QString& description() const noexcept { return description_; }
    const char* what() const noexcept override { return what_.c_str(); }

private:
    int number_;
    QString description_;
    std::string what_;
};

// Builds an error from the C library's errno value, with the path it concerns.
Error ErrorFromErrno(int err, const QString& action, const QString& path);

} // namespace pellora
