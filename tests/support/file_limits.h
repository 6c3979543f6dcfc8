#pragma once
// Places a save cannot simply write to, made in ways that also hold for a test run as root (root ignores the
// permission bits): a file size limit stands in for a full disk, and a folder that takes no new file is made
// with the permission bits where they count and with the immutable flag of the file system where they do not.

#include <QDir>
#include <QFile>
#include <QString>

#include <csignal>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <unistd.h>

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

// While it lives, the folder takes no new file, while the files already in it can still be written.
class FolderRefusingNewFiles
{
public:
    explicit FolderRefusingNewFiles(const QString &folder) : path(folder)
    {
        if (geteuid() != 0) {
            byMode = QFile::setPermissions(path, QFile::ReadOwner | QFile::ExeOwner);
        } else {
            const int handle = open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY);
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
    ~FolderRefusingNewFiles()
    {
        if (byMode)
            QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        if (byFlag) {
            const int handle = open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY);
            int flags = 0;
            if (handle >= 0 && ioctl(handle, FS_IOC_GETFLAGS, &flags) == 0) {
                flags &= ~FS_IMMUTABLE_FL;
                ioctl(handle, FS_IOC_SETFLAGS, &flags);
            }
            if (handle >= 0)
                close(handle);
        }
    }
    // Whether the folder really refuses a new file now.
    bool Refuses() const
    {
        QFile probe(QDir(path).filePath("probe"));
        if (!probe.open(QIODevice::WriteOnly))
            return true;
        probe.remove();
        return false;
    }

private:
    QString path;
    bool byMode = false;
    bool byFlag = false;
};
