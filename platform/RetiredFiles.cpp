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
    int at = -1;
    dev_t folderDevice = 0;
    ino_t folderInode = 0;
    for (const Retired& r : files_) {
        WriteTarget& where = folders_[r.folder];
        if (at < 0 || folderDevice != where.folderDevice || folderInode != where.folderInode) {
            folderDevice = where.folderDevice;
            folderInode = where.folderInode;
            // The folder's lock, held until these are deleted, is taken through a
            // descriptor of that very folder: each file is deleted there only
            // where its name still holds it. Where the file system takes no lock,
            // the folder is opened again by the walk's rules.
            folder.Reset();
            at = HeldFolderDescriptor(folderDevice, folderInode);
            if (at < 0 && ReopenFolder(where) == 0) {
                folder = std::move(where.folder);
                at = folder.Get();
            }
            if (at < 0)
                continue;
        }
        RemoveIfSameFile(at, r.name, r.device, r.inode);
    }
    for (const WriteTarget& where : folders_)
        ReleaseTemporaryFolder(where.folderDevice, where.folderInode);
    files_.clear();
    folders_.clear();
    bytes_ = 0;
}
