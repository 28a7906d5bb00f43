#include "platform/PendingWrite.h"

#include "platform/WriteState.h"

#include <unistd.h>

namespace {

const std::string& NoText() {
    static const std::string none;
    return none;
}

} // namespace

void WriteState::RemoveHold() noexcept {
    if (!InPlace())
        return;
    TemporaryFile& hold = Direct().hold;
    hold.fd.Reset();
    if (hold.name.empty() || Folder() != 0)
        return;
    // Only the file this process filled, should another have taken its name.
    RemoveIfSameFile(target.folder.Get(), hold.name, hold.device, hold.inode);
    hold.name.clear();
}

void WriteState::Discard() noexcept {
    if (InPlace()) {
        Direct().fd.Reset();
        RemoveHold();
        std::string().swap(Direct().data);
        std::string().swap(Direct().old);
    } else {
        TemporaryFile& temp = Replacement().temp;
        temp.fd.Reset();
        if (!committed && !temp.name.empty() && Folder() == 0)
            ::unlinkat(target.folder.Get(), temp.name.c_str(), 0);
        temp.name.clear();
    }
    folderUse.LetGo();
    target.folder.Reset();
}

void WriteState::CloseDescriptors() noexcept {
    if (InPlace()) {
        Direct().fd.Reset();
        Direct().hold.fd.Reset();
    } else {
        Replacement().temp.fd.Reset();
    }
    target.folder.Reset();
}

PendingWrite::PendingWrite() = default;
PendingWrite::PendingWrite(std::unique_ptr<WriteState> state) : state_(std::move(state)) {}
PendingWrite::PendingWrite(PendingWrite&& other) noexcept = default;
PendingWrite& PendingWrite::operator=(PendingWrite&& other) noexcept = default;
PendingWrite::~PendingWrite() = default;

const std::string& PendingWrite::Path() const {
    return state_ ? state_->path : NoText();
}

const std::string& PendingWrite::TargetFolder() const {
    return state_ ? state_->target.folderPath : NoText();
}

const std::string& PendingWrite::TargetName() const {
    return state_ ? state_->target.name : NoText();
}

const std::string& PendingWrite::TemporaryName() const {
    if (!state_ || state_->InPlace())
        return NoText();
    return state_->Replacement().temp.name;
}

std::string PendingWrite::TemporaryPath() const {
    const std::string& name = TemporaryName();
    return name.empty() ? std::string() : state_->target.folderPath + "/" + name;
}

bool PendingWrite::InPlace() const {
    return state_ && state_->InPlace();
}

bool PendingWrite::Committed() const {
    return state_ && state_->committed;
}

const FileStamp& PendingWrite::WrittenAs() const {
    static const FileStamp unknown;
    return state_ ? state_->writtenAs : unknown;
}

void PendingWrite::Discard() noexcept {
    if (state_)
        state_->Discard();
}

void PendingWrite::CloseDescriptor() noexcept {
    if (state_)
        state_->CloseDescriptors();
}
