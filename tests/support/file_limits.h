#pragma once
// Places a save cannot simply write to, made in ways that also hold for a test run as root (root ignores the
// permission bits): a file size limit stands in for a full disk, and a folder that takes no new file (or a
// file that cannot be written) is made with the permission bits where they count and with the immutable flag
// of the file system where they do not.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <csignal>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace navix {

// While it lives, no file of this process can grow past bytes: the write that would is cut short.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &original);
        previousHandler = std::signal(SIGXFSZ, SIG_IGN); // a short write, not the end of the test
        rlimit limited = original;
        limited.rlim_cur = bytes;
        active = setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &original);
        std::signal(SIGXFSZ, previousHandler);
    }
    bool Active() const { return active; }

private:
    rlimit original{};
    void (*previousHandler)(int) = SIG_DFL;
    bool active = false;
};

// While it lives, a folder takes no new file (the files already in it can still be written), or a file cannot
// be written.
class WriteProtection
{
public:
    explicit WriteProtection(const QString &folderOrFile)
        : path(folderOrFile), folder(QFileInfo(path).isDir())
    {
        if (geteuid() != 0) {
            byMode =
                QFile::setPermissions(path, QFile::ReadOwner | (folder ? QFile::ExeOwner : QFile::ReadOwner));
        } else {
            const int handle = open(QFile::encodeName(path).constData(), O_RDONLY);
            if (handle >= 0) {
                int flags = 0;
                if (ioctl(handle, FS_IOC_GETFLAGS, &flags) == 0) {
                    flags |= FS_IMMUTABLE_FL;
                    byFlag = ioctl(handle, FS_IOC_SETFLAGS, &flags) == 0;
                }
                close(handle);
            }
        }
    }
    ~WriteProtection()
    {
        if (byMode)
            QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner |
                                            (folder ? QFile::ExeOwner : QFile::ReadOwner));
        if (byFlag) {
            const int handle = open(QFile::encodeName(path).constData(), O_RDONLY);
            int flags = 0;
            if (handle >= 0 && ioctl(handle, FS_IOC_GETFLAGS, &flags) == 0) {
                flags &= ~FS_IMMUTABLE_FL;
                ioctl(handle, FS_IOC_SETFLAGS, &flags);
            }
            if (handle >= 0)
                close(handle);
        }
    }
    // Whether the folder really refuses a new file now, or the file its writing.
    bool Refuses() const
    {
        if (!folder)
            return !QFile(path).open(QIODevice::WriteOnly | QIODevice::Append);
        QFile probe(QDir(path).filePath("probe"));
        if (!probe.open(QIODevice::WriteOnly))
            return true;
        probe.remove();
        return false;
    }

private:
    QString path;
    bool folder;
    bool byMode = false;
    bool byFlag = false;
};

} // namespace navix
