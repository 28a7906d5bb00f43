#include "platform/RetiredFiles.h"

#include "platform/Temporaries.h"
#include "platform/TemporaryLocks.h"

#include <utility>

void RetiredFiles::Add(const WriteTarget& where, const std::string& name, const struct stat& st) {
    // Files come in list order, folder after folder: one record of a folder
    // serves all its files, so a batch of many files holds little per file.
    if (folders_.empty() || folders_.back().folderDevice != where.folderDevice ||
        folders_.back().folderInode != where.folderInode) {
        RetainTemporaryFolder(where.folderDevice, where.folderInode);
        WriteTarget folder;
        folder.folderPath = where.folderPath;
        folder.folderDevice = where.folderDevice;
        folder.folderInode = where.folderInode;
        folder.beneath = where.beneath;
        folder.root = where.root;
        folder.relFolder = where.relFolder;
        folders_.push_back(std::move(folder));
    }
    files_.push_back({folders_.size() - 1, name, st.st_dev, st.st_ino});
    bytes_ += static_cast<std::size_t>(st.st_blocks) * 512;
}

void RetiredFiles::DeleteAll() noexcept {
    SharedFd folder;
    dev_t folderDevice = 0;
    ino_t folderInode = 0;
    for (const Retired& r : files_) {
        WriteTarget& where = folders_[r.folder];
        if (!folder.Valid() || folderDevice != where.folderDevice ||
            folderInode != where.folderInode) {
            if (ReopenFolder(where) != 0) {
                folder.Reset();
                continue;
            }
            folder = std::move(where.folder);
            folderDevice = where.folderDevice;
            folderInode = where.folderInode;
        }
        RemoveIfSameFile(folder.Get(), r.name, r.device, r.inode);
    }
    for (const WriteTarget& where : folders_)
        ReleaseTemporaryFolder(where.folderDevice, where.folderInode);
    files_.clear();
    folders_.clear();
    bytes_ = 0;
}
