#include "SafeFile.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace safefile {

namespace {

bool Fail(std::string* error, const std::string& what, int err = 0) {
    if (error)
        *error = err ? what + ": " + std::strerror(err) : what;
    return false;
}

bool WriteAll(int fd, const char* p, std::size_t n, off_t offset) {
    while (n > 0) {
        const ssize_t w = ::pwrite(fd, p, n, offset);
        if (w < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += w;
        n -= static_cast<std::size_t>(w);
        offset += w;
    }
    return true;
}

// The umask without changing it (umask() itself would, for a moment, for every thread).
mode_t ProcessUmask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("Umask:", 0) == 0)
            return static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8) & 0777);
    return 022;
}

class TFd {
public:
    explicit TFd(int fd) : FFd(fd) {}
    ~TFd() {
        if (FFd >= 0)
            ::close(FFd);
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int Get() const { return FFd; }
    int Release() { return std::exchange(FFd, -1); }

private:
    int FFd;
};

// Whether a file name is exactly one of Save's temporary names.
bool IsTemporaryName(const std::string& name) {
    // Exactly what mkstemp makes of TempPrefix + "XXXXXX": six letters or digits.
    const std::size_t prefix = std::char_traits<char>::length(TempPrefix);
    return name.size() == prefix + 6 && name.compare(0, prefix, TempPrefix) == 0 &&
           std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix), name.end(),
                       [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; });
}

} // namespace

bool ReadRegular(const std::string& path, std::size_t maxBytes, std::string& data,
                 std::string* error) {
    data.clear();
    TFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd.Get() < 0)
        return Fail(error, "cannot open", errno);
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0)
        return Fail(error, "cannot examine", errno);
    if (!S_ISREG(st.st_mode))
        return Fail(error, "not a regular file");
    if (static_cast<unsigned long long>(st.st_size) > maxBytes)
        return Fail(error, "larger than " + std::to_string(maxBytes) + " bytes");
    // Read up to one byte more than allowed, in case the file grows meanwhile.
    std::vector<char> buffer(maxBytes + 1 > 65536 ? 65536 : maxBytes + 1);
    for (;;) {
        const ssize_t r = ::read(fd.Get(), buffer.data(), buffer.size());
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return Fail(error, "cannot read", errno);
        }
        if (r == 0)
            break;
        data.append(buffer.data(), static_cast<std::size_t>(r));
        if (data.size() > maxBytes) {
            data.clear();
            return Fail(error, "larger than " + std::to_string(maxBytes) + " bytes");
        }
    }
    return true;
}

bool WriteInPlace(const std::string& path, const std::string& data, std::string* error) {
    TFd fd(::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC));
    if (fd.Get() < 0)
        return Fail(error, "cannot open for writing", errno);
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode))
        return Fail(error, "not a regular file");
    std::string padded = data;
    if (static_cast<off_t>(padded.size()) < st.st_size)
        padded.append(static_cast<std::size_t>(st.st_size) - padded.size(), '\n');
    if (!WriteAll(fd.Get(), padded.data(), padded.size(), 0))
        return Fail(error, "cannot write", errno);
    if (::fsync(fd.Get()) != 0)
        return Fail(error, "cannot write", errno);
    if (::ftruncate(fd.Get(), static_cast<off_t>(data.size())) != 0)
        return Fail(error, "cannot write", errno);
    if (::close(fd.Release()) != 0)
        return Fail(error, "cannot write", errno);
    return true;
}

bool Save(const std::string& linkOrPath, const std::string& data, std::string* error) {
    // A link stays a link: the file it points to is replaced, beside itself,
    // as an editor saves through a link.
    std::string path = linkOrPath;
    struct stat link {};
    if (::lstat(linkOrPath.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
        char* target = ::realpath(linkOrPath.c_str(), nullptr);
        if (!target)
            return Fail(error, "a link to nothing", errno);
        path = target;
        std::free(target);
    }
    struct stat old {};
    const bool exists = ::stat(path.c_str(), &old) == 0;
    if (exists) {
        if (!S_ISREG(old.st_mode))
            return Fail(error, "not a regular file");
        // Whoever made the file read-only meant it; root would not be stopped.
        if ((old.st_mode & 0222) == 0)
            return Fail(error, "the file is read-only");
    }
    const std::size_t slash = path.rfind('/');
    std::string temp = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) +
                       TempPrefix + "XXXXXX";
    TFd fd(::mkstemp(temp.data()));
    if (fd.Get() < 0) {
        const int err = errno;
        if (exists && (err == EACCES || err == EPERM) && ::access(path.c_str(), W_OK) == 0)
            return WriteInPlace(path, data, error);
        return Fail(error, "cannot create a temporary file beside it", err);
    }
    auto abandon = [&](const char* what, int err) {
        ::unlink(temp.c_str());
        return Fail(error, what, err);
    };
    if (!WriteAll(fd.Get(), data.data(), data.size(), 0))
        return abandon("cannot write", errno);
    // mkstemp makes the file 0600: give it the old file's mode and owner, or
    // the mode a newly created file would get.
    const mode_t mode = exists ? (old.st_mode & 07777) : (0666 & ~ProcessUmask());
    if (::fchmod(fd.Get(), mode) != 0)
        return abandon("cannot set the mode", errno);
    if (exists && (old.st_uid != ::geteuid() || old.st_gid != ::getegid())) {
        if (::fchown(fd.Get(), old.st_uid, old.st_gid) != 0) {
            // Only root may give a file away; otherwise it becomes ours, as any save would.
        }
    }
    if (::fsync(fd.Get()) != 0)
        return abandon("cannot write", errno);
    if (::close(fd.Release()) != 0)
        return abandon("cannot write", errno);
    if (::rename(temp.c_str(), path.c_str()) != 0)
        return abandon("cannot replace the file", errno);
    return true;
}

std::vector<std::string> RemoveStaleTemporaries(const std::string& folder, int minAgeSeconds) {
    std::vector<std::string> removed;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return removed;
    const std::time_t now = std::time(nullptr);
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (!IsTemporaryName(name))
            continue;
        const std::string path = folder + "/" + name;
        struct stat st {};
        if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            now - st.st_mtime >= minAgeSeconds && ::unlink(path.c_str()) == 0)
            removed.push_back(name);
    }
    ::closedir(dir);
    return removed;
}

} // namespace safefile
