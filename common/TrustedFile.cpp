#include "common/TrustedFile.h"

#include "common/SystemErrorText.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace cto {

namespace {

std::string permissionsOf(mode_t mode) {
    char octal[8];
    std::snprintf(octal, sizeof octal, "%04o", static_cast<unsigned>(mode & 07777));
    return octal;
}

std::string ownerName(uid_t uid) {
    const passwd* entry = ::getpwuid(uid);
    const std::string number = "uid " + std::to_string(uid);
    return entry && entry->pw_name ? std::string(entry->pw_name) + " (" + number + ")" : number;
}

bool ownedByUserOrRoot(const struct stat& info) {
    return info.st_uid == 0 || info.st_uid == ::geteuid();
}

// What is wrong with the file itself; empty when nothing is.
std::string fileFault(const std::string& name, const struct stat& info) {
    if (!S_ISREG(info.st_mode))
        return "«" + name + "» no es un fichero normal";
    if (!ownedByUserOrRoot(info))
        return "el fichero «" + name + "» es de otro usuario, " + ownerName(info.st_uid) +
               ", que podría modificarlo";
    if (info.st_mode & (S_IWGRP | S_IWOTH))
        return "otros usuarios pueden modificar el fichero «" + name + "» (permisos " +
               permissionsOf(info.st_mode) + ")";
    return {};
}

// What is wrong with a folder above the file; empty when nothing is.
std::string folderFault(const std::string& name, const std::string& folder, const struct stat& info) {
    if (!ownedByUserOrRoot(info))
        return "otros usuarios pueden sustituir el fichero «" + name + "», porque su carpeta «" + folder +
               "» es de otro usuario, " + ownerName(info.st_uid);
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) && !(info.st_mode & S_ISVTX))
        return "otros usuarios pueden sustituir el fichero «" + name +
               "», porque pueden escribir en su carpeta «" + folder + "» (permisos " +
               permissionsOf(info.st_mode) + ")";
    return {};
}

} // namespace

TrustedFile::TrustedFile(const std::string& path) {
    // The folders that matter are those of the file the links lead to.
    const std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr), &std::free);
    if (!resolved) {
        openError_ = errno;
        refusal_ = "no se puede abrir el fichero «" + path + "»: " + systemErrorText(openError_);
        return;
    }
    const std::string real = resolved.get();
    const int fd = ::open(real.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) {
        openError_ = errno;
        refusal_ = "no se puede abrir el fichero «" + path + "»: " + systemErrorText(openError_);
        return;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        refusal_ = "no se puede examinar el fichero «" + path + "»: " + systemErrorText(errno);
        ::close(fd);
        return;
    }
    refusal_ = fileFault(path, info);
    // Every folder up to the root: a folder that others can write lets them
    // rename anything inside it, and so replace this file or a folder on its way.
    for (std::string folder = real; refusal_.empty() && folder != "/";) {
        const auto slash = folder.find_last_of('/');
        folder = slash == 0 ? std::string("/") : folder.substr(0, slash);
        struct stat folderInfo {};
        if (::lstat(folder.c_str(), &folderInfo) != 0)
            refusal_ = "no se puede examinar la carpeta «" + folder + "»: " + systemErrorText(errno);
        else
            refusal_ = folderFault(path, folder, folderInfo);
    }
    if (!refusal_.empty()) {
        ::close(fd);
        return;
    }
    fd_ = fd;
}

TrustedFile::~TrustedFile() {
    if (fd_ >= 0)
        ::close(fd_);
}

TrustedFile::TrustedFile(TrustedFile&& other) noexcept
    : fd_(other.fd_), openError_(other.openError_), refusal_(std::move(other.refusal_)) {
    other.fd_ = -1;
}

int TrustedFile::release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

std::string TrustedFile::procPath() const {
    return "/proc/self/fd/" + std::to_string(fd_);
}

} // namespace cto
