#pragma once
// A file that cannot be opened for writing, by root as well: the immutable attribute where
// the file system and our capabilities allow it, else (not root) the mode 0444, else a folder
// standing where the file would be. Undone when the object goes.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace tvr::testing {

class ReadOnlyFile {
public:
    // Writes `content` to `path` first, unless it must become a folder.
    ReadOnlyFile(std::filesystem::path path, const std::string& content) : path_(std::move(path)) {
        { std::ofstream(path_, std::ios::binary) << content; }
        if (setImmutable(true)) {
            how_ = How::Immutable;
        } else if (::geteuid() != 0) {
            std::filesystem::permissions(path_, std::filesystem::perms::owner_read |
                                                    std::filesystem::perms::group_read |
                                                    std::filesystem::perms::others_read);
            how_ = How::Mode;
        } else {
            std::filesystem::remove(path_);
            std::filesystem::create_directory(path_);
            how_ = How::Folder;
        }
    }
    ~ReadOnlyFile() {
        if (how_ == How::Immutable) setImmutable(false);
        if (how_ == How::Mode)
            std::filesystem::permissions(path_, std::filesystem::perms::owner_write,
                                         std::filesystem::perm_options::add);
    }
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    // Whether the content is still there to compare (not so for a folder).
    bool holdsContent() const { return how_ != How::Folder; }

private:
    enum class How { Immutable, Mode, Folder };
    bool setImmutable(bool on) {
        const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return false;
        int flags = 0;
        bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        if (done) {
            flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
            done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        }
        ::close(fd);
        // Immutable but still writable would mean a file system that ignores the flag.
        if (done && on) {
            const int probe = ::open(path_.c_str(), O_WRONLY | O_CLOEXEC);
            if (probe >= 0) {
                ::close(probe);
                return false;
            }
        }
        return done;
    }

    std::filesystem::path path_;
    How how_ = How::Folder;
};

}  // namespace tvr::testing
