#include "platform/runtime/Error.h"

#include <cerrno>
#include <cstring>

namespace pellora {

Error::Error(int number, QString description)
    : number_(number), description_(std::move(description)),
      what_(QStringLiteral("%1: %2").arg(number_).arg(description_).toStdString()) {}

Error ErrorFromErrno(int err, const QString& action, const QString& path) {
    int number = ErrorNumber::PathFileAccess;
    switch (err) {
    case ENOENT: number = ErrorNumber::PathNotFound; break;
    case EACCES:
    case EPERM:
    case EROFS: number = ErrorNumber::PermissionDenied; break;
#ifdef EDQUOT
    case EDQUOT:
#endif
    case ENOSPC: number = ErrorNumber::DiskFull; break;
    case EEXIST: number = ErrorNumber::FileAlreadyExists; break;
    case ENAMETOOLONG: number = ErrorNumber::BadFileName; break;
    default: break;
    }
    return Error(number, QStringLiteral("%1 %2: %3").arg(action, path, QString::fromLocal8Bit(std::strerror(err))));
}

} // namespace pellora
