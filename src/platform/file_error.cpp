#include "platform/file_error.h"

#include <cerrno>

#include "platform/replace_all.h"

std::string FileErrorMessage(const std::string& path, int error_number) {
    const char* text = "An unexpected file error occurred while accessing %1.";
    switch (error_number) {
        case ENOENT:
            text = "%1 was not found.";
            break;
        case ENOTDIR:
        case ENAMETOOLONG:
        case ELOOP:
        case EINVAL:
            text = "%1 contains an invalid path.";
            break;
        case EMFILE:
        case ENFILE:
            text = "%1 could not be opened because there are too many open files.";
            break;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
        case ENOTEMPTY:
            text = "Access to %1 was denied.";
            break;
        case EBUSY:
        case ETXTBSY:
            text = "A sharing violation occurred while accessing %1.";
            break;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            text = "Disk full while accessing %1.";
            break;
        case EIO:
            text = "A hardware I/O error was reported while accessing %1.";
            break;
        default:
            break;
    }
    std::string message = text;
    ReplaceAll(message, "%1", path);
    return message;
}
